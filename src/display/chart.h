#pragma once

#include "channelmodel.h"

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QVector>
#include <QWidget>

#include <array>

// The live plot: a fixed grid and up to five curves over the newest 500
// samples, each scaled to the samples on screen. It draws the sample
// histories of the ChannelModel it holds, adds the per-channel display
// settings and announces every finished repaint with updateUi().
class Chart : public QWidget
{
    Q_OBJECT

public:
    explicit Chart(QWidget *parent = nullptr);
    ~Chart() override;

    static constexpr int ChannelCount = ChannelModel::ChannelCount;
    static constexpr int PlottedChannels = ChannelModel::PlottedChannels;

    ChannelModel &model() { return m_model; }
    const ChannelModel &model() const { return m_model; }

    // Builds the point list of one channel's curve into curvePoints() and
    // updates that channel's range. Channel 4 is drawn against channel 0's
    // last range, so that the ten-sample mean lies over the distance at the
    // same scale.
    void buildCurve(int channel);

    const QVector<QPointF> &curvePoints() const { return m_curvePoints; }
    int rangeMax(int channel) const { return m_rangeMax[size_t(channel)]; }
    int rangeMin(int channel) const { return m_rangeMin[size_t(channel)]; }

    std::array<QColor, ChannelCount> channelColors;
    std::array<bool, ChannelCount> channelVisible;
    std::array<int, PlottedChannels> channelMax; // kept for the settings file only
    std::array<int, PlottedChannels> channelMin;
    int gridColumns = 20;
    int gridRows = 20;
    quint8 lineWidth = 1; // the curve pen is one pixel wider

signals:
    void updateUi();

protected:
    void wheelEvent(QWheelEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    const QImage &gridImage(const QPen &gridPen);

    ChannelModel m_model;
    QVector<QPointF> m_curvePoints; // reused from curve to curve, never shrunk
    std::array<int, PlottedChannels> m_rangeMax {};
    std::array<int, PlottedChannels> m_rangeMin {};

    // The dashed, antialiased grid is a fifth of a repaint's cost and changes
    // only with the size, so it is drawn once onto a transparent image.
    QImage gridCache;
    int gridCacheColumns = 0;
    int gridCacheRows = 0;
};

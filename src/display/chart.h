#pragma once

#include "channelmodel.h"
#include "chartlook.h"
#include "chartoverlay.h"

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QVector>
#include <QWidget>

#include <array>

// The live plot: a fixed grid and up to five curves over the newest 500
// samples, each scaled to the samples on screen (or, with fixedRanges, to its
// channel's Min and Max). It draws the sample histories of the ChannelModel it
// holds as its ChartLook says and announces every finished repaint with
// updateUi(). Frozen, it keeps drawing the samples it held when it froze
// while the model goes on taking frames.
class Chart : public QWidget
{
    Q_OBJECT

public:
    explicit Chart(QWidget *parent = nullptr);
    ~Chart() override;

    static constexpr int ChannelSlots = ChannelModel::ChannelSlots;
    static constexpr int PlottedChannels = ChannelModel::PlottedChannels;

    ChannelModel &model() { return m_model; }
    const ChannelModel &model() const { return m_model; }
    // What the curves are drawn from: the model, or its copy while frozen.
    const ChannelModel &shownModel() const { return m_frozen ? m_frozenModel : m_model; }

    void setFrozen(bool frozen);
    bool isFrozen() const { return m_frozen; }
    // Forgets every sample and the ranges drawn so far, as at start-up.
    void clear();
    // True when a repaint would draw what the last one drew: no sample, no
    // display setting and no freeze has changed since.
    bool isUpToDate() const;

    // Builds the point list of one channel's curve into curvePoints() and
    // updates that channel's range. Channel 4 is drawn against channel 0's
    // last range, so that the ten-sample mean lies over the distance at the
    // same scale.
    void buildCurve(int channel);

    const QVector<QPointF> &curvePoints() const { return m_curvePoints; }
    // The texts of the last repaint over the corners, where they were placed.
    const QVector<ChartOverlay::Placed> &overlay() const { return m_overlay; }
    int rangeMax(int channel) const { return m_rangeMax[size_t(channel)]; }
    int rangeMin(int channel) const { return m_rangeMin[size_t(channel)]; }

    const ChartLook &look() const { return m_look; }
    // Repaints only when the look differs: the window sets the rate on every
    // tick.
    void setLook(const ChartLook &look);
    // setLook() of the current look as `change` leaves it.
    template<typename Change>
    void changeLook(Change change)
    {
        ChartLook look = m_look;
        change(look);
        setLook(look);
    }

signals:
    void updateUi();

protected:
    bool event(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // The values a scale's bottom and top edges stand for; `scale` is 0 for
    // the distance and its mean.
    struct Edges
    {
        int bottom = 0, top = 0;
    };
    bool isFixed(size_t scale) const;
    Edges edges(size_t scale, int rangeMin, int rangeMax) const;

    const QImage &gridImage(const QPen &gridPen);
    QVector<ChartOverlay::Item> overlayItems() const;

    ChannelModel m_model;
    ChannelModel m_frozenModel;
    quint64 m_resets = 0; // clear() starts a new model, whose revision starts again
    ChartLook m_look;
    // What the last repaint drew; with the size, which Qt watches, all it
    // depends on.
    ChartLook m_paintedLook;
    quint64 m_paintedRevision = 0;
    quint64 m_paintedResets = 0;
    bool m_paintedFrozen = false;
    bool m_everPainted = false;
    bool m_frozen = false;
    QVector<ChartOverlay::Placed> m_overlay;
    QVector<QPointF> m_curvePoints; // reused from curve to curve, never shrunk
    std::array<int, PlottedChannels> m_rangeMax {};
    std::array<int, PlottedChannels> m_rangeMin {};
    // The distance scale as this repaint drew it, which the scale values give.
    Edges m_distanceEdges;
    bool m_distanceDrawn = false;

    // The dashed, antialiased grid is a fifth of a repaint's cost and changes
    // only with the size, so it is drawn once onto a transparent image.
    QImage gridCache;
    int gridCacheColumns = 0;
    int gridCacheRows = 0;
};

#pragma once

#include "historystore.h"

#include <QColor>
#include <QDateTime>
#include <QLineF>
#include <QVector>

#include <qwt_plot_item.h>

#include <vector>

// What the time axis counts: seconds from the start of the run, or clock
// time as Qwt's date scales take it (milliseconds since the epoch).
struct HistoryTimeAxis
{
    bool clock = false;
    double originMs = 0; // clock time of the run's time 0

    double toAxis(qint64 timeUs) const
    {
        return clock ? originMs + double(timeUs) / 1e3 : double(timeUs) / 1e6;
    }
    qint64 toTimeUs(double value) const
    {
        return qint64(clock ? (value - originMs) * 1e3 : value * 1e6);
    }
};

// One channel of a HistoryStore, drawn as one vertical line per pixel column
// from the column's minimum to its maximum, joined to the next column. The
// store answers the columns from its summary, so a repaint costs the same
// whatever the length of the run.
class HistoryCurve : public QwtPlotItem
{
public:
    HistoryCurve(const QString &title, HistoryChannel channel, const HistoryTimeAxis *axis);

    void setStore(const HistoryStore *store) { m_store = store; }
    void setColour(const QColor &colour) { m_colour = colour; }
    HistoryChannel channel() const { return m_channel; }

    int rtti() const override { return Rtti_PlotUserItem + 1; }
    void draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
              const QRectF &canvasRect) const override;

private:
    const HistoryStore *m_store = nullptr;
    HistoryChannel m_channel;
    const HistoryTimeAxis *m_axis;
    QColor m_colour;
    // Reused from repaint to repaint.
    mutable std::vector<ColumnRange> m_columns;
    mutable QVector<QLineF> m_lines;
};

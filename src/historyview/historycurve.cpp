#include "historycurve.h"

#include <QPainter>

#include <qwt_scale_map.h>

#include <cmath>

namespace {
// Beyond this a column is narrower than any screen's pixel (an SVG of a
// huge size, say); the store is never asked for more.
constexpr int MaxColumns = 8192;
} // namespace

HistoryCurve::HistoryCurve(const QString &title, HistoryChannel channel,
                           const HistoryTimeAxis *axis)
    : QwtPlotItem(QwtText(title))
    , m_channel(channel)
    , m_axis(axis)
{
    setItemAttribute(QwtPlotItem::AutoScale, false);
    setItemAttribute(QwtPlotItem::Legend, false);
}

void HistoryCurve::draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                        const QRectF &canvasRect) const
{
    if (!m_store || m_store->size() == 0)
        return;
    const int columns = qBound(1, int(std::ceil(canvasRect.width())), MaxColumns);
    const qint64 t0 = m_axis->toTimeUs(xMap.s1());
    const qint64 t1 = m_axis->toTimeUs(xMap.s2());
    if (t1 <= t0)
        return;
    m_store->columns(m_channel, t0, t1, columns, &m_columns);

    // A column's line, and a join from the previous column's edge nearest to
    // this one; zoomed in far enough that a column holds one frame at most,
    // the joins alone make the polyline through the frames.
    m_lines.clear();
    const double step = canvasRect.width() / columns;
    bool havePrevious = false;
    double previousX = 0, previousLow = 0, previousHigh = 0;
    for (int i = 0; i < columns; ++i) {
        const ColumnRange &range = m_columns[size_t(i)];
        if (range.empty)
            continue;
        const double x = canvasRect.left() + (i + 0.5) * step;
        // Screen y grows downwards: the maximum is the upper end.
        const double high = yMap.transform(range.max);
        const double low = yMap.transform(range.min);
        if (havePrevious) {
            const double from = low < previousHigh ? previousHigh
                : high > previousLow               ? previousLow
                                                   : low;
            const double to = low < previousHigh ? low : high > previousLow ? high : low;
            m_lines.append(QLineF(previousX, from, x, to));
        }
        if (high != low)
            m_lines.append(QLineF(x, high, x, low));
        havePrevious = true;
        previousX = x;
        previousLow = low;
        previousHigh = high;
    }
    QPen pen(m_colour, 1);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->drawLines(m_lines);
}

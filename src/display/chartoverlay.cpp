#include "chartoverlay.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>

namespace ChartOverlay {

namespace {

// Around each text, on a dark backing that keeps it legible over a curve.
constexpr int Padding = 2;

int symbolSize(const QFontMetrics &metrics)
{
    return qMax(4, metrics.ascent() * 2 / 3);
}

int symbolWidth(const QFontMetrics &metrics, Symbol symbol)
{
    return symbol == NoSymbol ? 0
                              : symbolSize(metrics) + metrics.horizontalAdvance(QLatin1Char(' '));
}

QSize itemSize(const QFontMetrics &metrics, const Item &item)
{
    // The advance leaves out what a glyph may overhang; the ink's own box
    // holds it.
    const int text
        = qMax(metrics.horizontalAdvance(item.text), metrics.boundingRect(item.text).right() + 1);
    return QSize(symbolWidth(metrics, item.symbol) + text + 2 * Padding,
                 metrics.height() + 2 * Padding);
}

} // namespace

QVector<Placed> layout(const QFontMetrics &metrics, const QSize &size, const QVector<Item> &items)
{
    const QRect area(QPoint(0, 0), size);
    QVector<Placed> placed;
    for (const Item &item : items) {
        const bool left = item.corner == Qt::TopLeftCorner || item.corner == Qt::BottomLeftCorner;
        const bool top = item.corner == Qt::TopLeftCorner || item.corner == Qt::TopRightCorner;
        int stacked = 0; // height taken in this corner by texts placed before
        for (const Placed &p : placed)
            if (p.item.corner == item.corner)
                stacked += p.rect.height() + Margin;
        const QSize s = itemSize(metrics, item);
        const int x = left ? Margin : size.width() - Margin - s.width();
        const int y = top ? Margin + stacked : size.height() - Margin - stacked - s.height();
        const QRect rect(QPoint(x, y), s);
        bool fits = area.adjusted(Margin, Margin, -Margin, -Margin).contains(rect);
        for (const Placed &p : placed)
            fits = fits && !p.rect.intersects(rect);
        if (fits)
            placed.append({ item, rect });
    }
    return placed;
}

void draw(QPainter &painter, const QFontMetrics &metrics, const QVector<Placed> &placed)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const int symbol = symbolSize(metrics);
    for (const Placed &p : placed) {
        const QColor &colour = p.item.colour;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 170));
        painter.drawRoundedRect(QRectF(p.rect), Padding, Padding);
        const QRect inner = p.rect.adjusted(Padding, Padding, -Padding, -Padding);
        const QRectF mark(inner.left(), inner.top() + (inner.height() - symbol) / 2, symbol,
                          symbol);
        painter.setBrush(colour);
        if (p.item.symbol == Dot) {
            painter.drawEllipse(mark);
        } else if (p.item.symbol == Bars) {
            const qreal bar = symbol / 3.0;
            painter.drawRect(QRectF(mark.left(), mark.top(), bar, symbol));
            painter.drawRect(QRectF(mark.right() - bar, mark.top(), bar, symbol));
        }
        painter.setPen(colour);
        painter.drawText(QPoint(inner.left() + symbolWidth(metrics, p.item.symbol),
                                inner.top() + metrics.ascent()),
                         p.item.text);
    }
    painter.restore();
}

QString spanText(int samples, int rateHz, bool measured)
{
    if (rateHz <= 0)
        return QString();
    const double seconds = double(samples) / rateHz;
    // Two figures are plenty to judge what a curve's wiggle means in time.
    const QString shown
        = seconds >= 10 ? QString::number(qRound(seconds)) : QString::number(seconds, 'g', 2);
    const QString span
        = QCoreApplication::translate("Chart", "%1 samples ≈ %2 s").arg(samples).arg(shown);
    return measured ? QCoreApplication::translate("Chart", "%1 · %2 Hz").arg(span).arg(rateHz)
                    : span;
}

} // namespace ChartOverlay

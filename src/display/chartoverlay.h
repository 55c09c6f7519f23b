#pragma once

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

class QFontMetrics;
class QPainter;

// Texts over the chart's corners, each on a dark backing: the scale values
// and the marks that say the chart is recording or frozen. Texts sharing a corner stack towards the
// middle. One that would reach past the chart's edge or cover one placed
// before it is left out, so no text is ever cut off or drawn over another.
namespace ChartOverlay {

enum Symbol { NoSymbol, Dot, Bars };

struct Item
{
    QString text;
    Qt::Corner corner;
    QColor colour;
    Symbol symbol = NoSymbol;
};

struct Placed
{
    Item item;
    QRect rect; // symbol and text on their backing
};

constexpr int Margin = 3; // from the chart's edges, and between stacked texts

// Places the items in order, leaving out those that do not fit.
QVector<Placed> layout(const QFontMetrics &metrics, const QSize &size, const QVector<Item> &items);
void draw(QPainter &painter, const QFontMetrics &metrics, const QVector<Placed> &placed);
// How long `samples` frames take at rateHz: "500 samples ≈ 0.28 s", and with
// a measured rate the rate too: "500 samples ≈ 0.28 s · 1802 Hz". Empty
// without a rate.
QString spanText(int samples, int rateHz, bool measured = false);

} // namespace ChartOverlay

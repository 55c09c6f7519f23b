#include "chart.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <QPen>

#include <algorithm>

namespace {
constexpr int FirstRangeMin = 60000; // above any 16-bit distance worth drawing
constexpr int TopMargin = 20; // keeps the highest sample off the top edge
} // namespace

Chart::Chart(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    // Lets the style draw the form's style-sheet background behind the grid;
    // a plain QWidget subclass would otherwise show none.
    setAttribute(Qt::WA_StyledBackground);
    m_curvePoints.reserve(2 * ChannelModel::SeriesCapacity + 1);
}

Chart::~Chart() = default;

void Chart::setFrozen(bool frozen)
{
    if (frozen && !m_frozen)
        m_frozenModel = m_model;
    m_frozen = frozen;
    update();
}

void Chart::clear()
{
    m_model = ChannelModel();
    ++m_resets;
    m_rangeMax = {};
    m_rangeMin = {};
    update();
}

void Chart::setLook(const ChartLook &look)
{
    if (look == m_look)
        return;
    m_look = look;
    update();
}

bool Chart::isUpToDate() const
{
    return m_everPainted && m_paintedRevision == m_model.revision && m_paintedResets == m_resets
        && m_paintedFrozen == m_frozen && m_paintedLook == m_look;
}

void Chart::buildCurve(int channel)
{
    const ChannelModel &model = shownModel();
    const int n = int(model.sampleCount);
    int &rangeMax = m_rangeMax[size_t(channel)];
    int &rangeMin = m_rangeMin[size_t(channel)];
    rangeMax = 0;
    rangeMin = FirstRangeMin;
    if (n <= 0)
        return;

    constexpr int SeriesCapacity = ChannelModel::SeriesCapacity;
    const ChannelSeries &samples = model.series[size_t(channel)];
    // A series is never longer than the count of frames, but one may briefly
    // be shorter (channel 1 while a frame is being stored).
    const int m = qMin(qMin(n, SeriesCapacity), samples.size());

    for (int k = 0; k < m; ++k) {
        const float v = samples.at(k);
        if (v > float(rangeMax))
            rangeMax = int(v);
        if (v < float(rangeMin))
            rangeMin = int(v);
        m_rangeMax[ChannelModel::DistanceMean10] = m_rangeMax[ChannelModel::Distance];
        m_rangeMin[ChannelModel::DistanceMean10] = m_rangeMin[ChannelModel::Distance];
    }

    const float w = float(width());
    const float h = float(height());
    const size_t scale = size_t(channel == ChannelModel::DistanceMean10 ? 0 : channel);
    const Edges edge = edges(scale, rangeMin, rangeMax);
    if (scale == 0) {
        m_distanceEdges = edge;
        m_distanceDrawn = true;
    }
    const float lo = float(edge.bottom);
    const float span = float(edge.top - edge.bottom);
    const bool clamp = isFixed(scale);
    for (int k = 0; k < m; ++k) {
        const float x = w * model.samplePositions.at(k) / float(SeriesCapacity);
        float y = h - ((samples.at(k) - lo) / span) * h;
        if (clamp)
            y = qBound(0.0f, y, h);
        const QPointF point(x, y);
        // Each point closes one segment and opens the next; the first one
        // also makes a zero-length segment of its own.
        if (k == 0)
            m_curvePoints.append(point);
        m_curvePoints.append(point);
        m_curvePoints.append(point);
    }
}

bool Chart::isFixed(size_t scale) const
{
    return m_look.fixedRanges && m_look.max[scale] > m_look.min[scale];
}

Chart::Edges Chart::edges(size_t scale, int rangeMin, int rangeMax) const
{
    if (isFixed(scale))
        return { m_look.min[scale], m_look.max[scale] };
    return { rangeMin, rangeMax + TopMargin };
}

const QImage &Chart::gridImage(const QPen &gridPen)
{
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (gridCache.size() == pixels && gridCache.devicePixelRatio() == ratio
        && gridCacheColumns == m_look.gridColumns && gridCacheRows == m_look.gridRows)
        return gridCache;

    gridCache = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    gridCache.setDevicePixelRatio(ratio);
    gridCache.fill(Qt::transparent);
    gridCacheColumns = m_look.gridColumns;
    gridCacheRows = m_look.gridRows;

    QPainter painter(&gridCache);
    painter.setPen(gridPen);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = width();
    const int h = height();
    // A widget narrower than the grid has a step of 0 across: no lines then.
    const int stepX = m_look.gridColumns > 0 ? w / m_look.gridColumns : 0;
    const int stepY = m_look.gridRows > 0 ? h / m_look.gridRows : 0;
    if (stepX > 0) {
        for (int x = 0; x < w; x += stepX)
            painter.drawLine(x, 0, x, h);
    }
    if (stepY > 0) {
        for (int y = 0; y < h; y += stepY)
            painter.drawLine(0, y, w, y);
    }
    return gridCache;
}

void Chart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QPen pen(QBrush(QColor::fromRgba(0x7FFFFFFF), Qt::SolidPattern), 1, Qt::DashLine, Qt::SquareCap,
             Qt::BevelJoin);
    painter.setPen(pen);
    painter.setRenderHint(QPainter::Antialiasing);

    const int w = width();
    const int h = height();
    if (w > 0 && h > 0)
        painter.drawImage(QPointF(0, 0), gridImage(pen));
    if (!m_look.showScale) {
        painter.drawText(0, h / 2, QStringLiteral("0"));
        painter.drawText(w - 30, h / 2, QStringLiteral("1000"));
    }

    pen.setWidth(m_look.lineWidth + 1);
    pen.setStyle(Qt::SolidLine);
    const ChannelModel &model = shownModel();
    m_distanceDrawn = false;
    for (int channel = 0; channel < PlottedChannels; ++channel) {
        if (model.series[size_t(channel)].isEmpty() || !m_look.shown[size_t(channel)])
            continue;
        m_curvePoints.clear(); // keeps the capacity
        buildCurve(channel);
        pen.setColor(m_look.colours[size_t(channel)]);
        painter.setPen(pen);
        painter.drawLines(m_curvePoints.constData(), m_curvePoints.size() / 2);
    }

    m_overlay.clear();
    if (m_look.showScale || m_look.showRecordingMark || m_frozen || !m_look.linkWarning.isEmpty()) {
        const QFontMetrics metrics(font());
        m_overlay = ChartOverlay::layout(metrics, size(), overlayItems());
        ChartOverlay::draw(painter, metrics, m_overlay);
    }

    m_paintedLook = m_look;
    m_paintedRevision = m_model.revision;
    m_paintedResets = m_resets;
    m_paintedFrozen = m_frozen;
    m_everPainted = true;
    emit updateUi();
}

QVector<ChartOverlay::Item> Chart::overlayItems() const
{
    // In the order they give way when the chart is too small for all of them.
    QVector<ChartOverlay::Item> items;
    if (m_look.showRecordingMark)
        items.append({ tr("REC"), Qt::TopRightCorner, QColor(Qt::red), ChartOverlay::Dot });
    if (m_frozen)
        items.append({ tr("FROZEN"), Qt::TopRightCorner, QColor(Qt::yellow), ChartOverlay::Bars });
    if (!m_look.linkWarning.isEmpty())
        items.append({ m_look.linkWarning, Qt::TopRightCorner, QColor(255, 165, 0) });
    if (!m_look.showScale)
        return items;

    // The distance scale: what the left edge's ends stand for, as the distance
    // or its mean was drawn; with neither drawn, as the distance would be.
    const QColor textColour(255, 255, 255, 220);
    const ChannelSeries &distances = shownModel().series[ChannelModel::Distance];
    Edges edge = m_distanceEdges;
    bool known = m_distanceDrawn;
    if (!known && (isFixed(0) || !distances.isEmpty())) {
        int lo = 0, hi = 0;
        if (!distances.isEmpty()) {
            const auto [least, most] = std::minmax_element(
                distances.constData(), distances.constData() + distances.size());
            lo = int(*least);
            hi = int(*most);
        }
        edge = edges(0, lo, hi);
        known = true;
    }
    if (known) {
        items.append({ tr("%1 mm").arg(edge.top), Qt::TopLeftCorner, textColour });
        items.append({ tr("%1 mm").arg(edge.bottom), Qt::BottomLeftCorner, textColour });
    }
    const QString span
        = ChartOverlay::spanText(ChannelModel::SeriesCapacity, m_look.rateHz, m_look.rateMeasured);
    if (!span.isEmpty())
        items.append({ span, Qt::BottomRightCorner, textColour });
    return items;
}

bool Chart::event(QEvent *event)
{
    // Qt would make the menu of the chart's actions the chart's child, and the
    // style sheet that paints the chart blue would paint the menu too. Owned by
    // the window, it looks like every other menu of the desktop.
    if (event->type() == QEvent::ContextMenu && contextMenuPolicy() == Qt::ActionsContextMenu
        && !actions().isEmpty()) {
        QMenu::exec(actions(), static_cast<QContextMenuEvent *>(event)->globalPos(), nullptr,
                    window());
        return true;
    }
    return QWidget::event(event);
}

void Chart::wheelEvent(QWheelEvent *)
{
    update(); // no zoom or scroll: a turn of the wheel just refreshes
}

void Chart::enterEvent(QEvent *)
{
    setMouseTracking(true);
}

void Chart::leaveEvent(QEvent *)
{
    setMouseTracking(false);
}

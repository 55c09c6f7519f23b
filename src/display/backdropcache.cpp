#include "backdropcache.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

BackdropCache::BackdropCache(QWidget *container)
    : QObject(container)
    , m_container(container)
{
    container->installEventFilter(this);
}

bool BackdropCache::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Paint: {
        if (m_taking)
            return false;
        const QRegion &region = static_cast<QPaintEvent *>(event)->region();
        if (!m_stale && m_image.size() == m_container->size() * m_container->devicePixelRatioF()
            && coversOnlyChildren(region)) {
            QPainter painter(m_container);
            painter.drawImage(QPointF(0, 0), m_image);
            ++m_answered;
            return true;
        }
        // The container paints itself; what it draws may have changed with
        // it, so the image is taken again, outside this paint.
        m_stale = true;
        if (!m_retakePending) {
            m_retakePending = true;
            QTimer::singleShot(0, this, &BackdropCache::retake);
        }
        return false;
    }
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
    case QEvent::FontChange:
    case QEvent::EnabledChange:
    case QEvent::LayoutDirectionChange:
        m_stale = true;
        break;
    default:
        break;
    }
    return false;
}

bool BackdropCache::coversOnlyChildren(const QRegion &region) const
{
    QRegion children;
    for (QObject *object : m_container->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (child && child->isVisible() && !child->isWindow())
            children += child->geometry();
    }
    return (region - children).isEmpty();
}

void BackdropCache::retake()
{
    m_retakePending = false;
    const qreal ratio = m_container->devicePixelRatioF();
    QImage image(m_container->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    m_taking = true;
    m_container->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    m_taking = false;
    m_image = image;
    m_stale = false;
}

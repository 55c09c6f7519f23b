#include "historyviewrange.h"

#include <cmath>

void HistoryViewRange::setHeld(qint64 firstUs, qint64 lastUs)
{
    m_first = firstUs;
    // The view is half-open: the newest frame lies just inside its end.
    m_last = qMax(firstUs + MinWidthUs, lastUs + 1);
    if (m_following) {
        const qint64 width = m_all ? m_last - m_first : m_t1 - m_t0;
        m_t1 = m_last;
        m_t0 = m_t1 - width;
    }
    clampInside();
}

void HistoryViewRange::showAll()
{
    m_following = true;
    m_all = true;
    m_t0 = m_first;
    m_t1 = m_last;
}

void HistoryViewRange::follow()
{
    m_following = true;
    m_all = false;
    setHeld(m_first, m_last - 1);
}

void HistoryViewRange::zoom(qint64 anchorUs, double factor)
{
    const double width = double(m_t1 - m_t0) * factor;
    const double left = double(anchorUs - m_t0) / double(m_t1 - m_t0);
    const qint64 t0 = anchorUs - qint64(std::llround(width * left));
    show(t0, t0 + qint64(std::llround(width)));
}

void HistoryViewRange::pan(qint64 deltaUs)
{
    show(m_t0 + deltaUs, m_t1 + deltaUs);
}

void HistoryViewRange::show(qint64 t0Us, qint64 t1Us)
{
    m_following = false;
    m_t0 = qMin(t0Us, t1Us);
    m_t1 = qMax(t0Us, t1Us);
    clampInside();
}

void HistoryViewRange::clampInside()
{
    const qint64 held = m_last - m_first;
    const qint64 width = qBound(qMin(MinWidthUs, held), m_t1 - m_t0, held);
    // A pan past either end stops there, keeping the width.
    m_t0 = qBound(m_first, m_t0, m_last - width);
    m_t1 = m_t0 + width;
}

#include "frameratemeter.h"

void FrameRateMeter::sample(qint64 nowMs)
{
    if (!m_windowOpen) {
        m_windowOpen = true;
        m_windowStartMs = nowMs;
        m_windowTotal = m_total;
        return;
    }
    const qint64 elapsedMs = nowMs - m_windowStartMs;
    if (elapsedMs < WindowMs)
        return;
    m_rateHz = double(m_total - m_windowTotal) * 1000.0 / double(elapsedMs);
    m_windowStartMs = nowMs;
    m_windowTotal = m_total;
}

void FrameRateMeter::reset()
{
    m_windowOpen = false;
    m_rateHz = 0;
}

#include "silencewatch.h"

SilenceWatch::SilenceWatch(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SilenceWatch::check);
}

void SilenceWatch::start(qint64 limitMs)
{
    m_limitNs = limitMs * 1000000;
    m_sinceFrame.start();
    m_timer.stop();
    if (m_limitNs > 0)
        check();
}

// Frames only restart the clock; the timer, set for the rest, is never
// touched per frame.
void SilenceWatch::check()
{
    const qint64 left = m_limitNs - m_sinceFrame.nsecsElapsed();
    if (left <= 0)
        emit silent();
    else
        m_timer.start(int((left + 999999) / 1000000));
}

#include "historyintake.h"

HistoryIntake::HistoryIntake(HistoryStore *store)
    : m_store(store)
    , m_recorder(store)
{
    m_clock.start();
}

void HistoryIntake::newRead()
{
    m_readUs = m_clock.nsecsElapsed() / 1000;
    if (!isHeld())
        m_recorder.newRead(m_readUs);
}

void HistoryIntake::addMeasurement(const Measurement &measurement)
{
    if (isHeld())
        m_waiting.push_back({ m_readUs, measurement });
    else
        m_recorder.addMeasurement(measurement);
}

void HistoryIntake::release()
{
    if (m_holds == 0 || --m_holds > 0)
        return;
    for (const Waiting &frame : m_waiting) {
        m_recorder.newRead(frame.timeUs);
        m_recorder.addMeasurement(frame.measurement);
    }
    m_waiting.clear();
    m_recorder.newRead(m_readUs);
}

#include "historyrecorder.h"

#include <algorithm>

HistoryRecorder::HistoryRecorder(HistoryStore *store)
    : m_store(store)
{
    m_clock.start();
    m_store->startUtc = QDateTime::currentDateTimeUtc();
}

void HistoryRecorder::newRead()
{
    m_readUs = m_clock.nsecsElapsed() / 1000;
}

void HistoryRecorder::addMeasurement(const Measurement &m)
{
    m_store->append(m_readUs, quint16(std::min<quint32>(m.distance, 0xFFFF)),
                    quint8(std::min<quint32>(m.energy, 0xFF)),
                    quint8(std::min<quint32>(m.ambient, 0xFF)));
}

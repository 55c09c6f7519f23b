#include "measurementfeed.h"

int MeasurementFeed::receive(const QByteArray &chunk)
{
    m_bytesReceived += quint64(chunk.size());
    int taken = 0;
    m_decoder.decode(chunk, [this, &taken](const DecodedFrame &frame) {
        if (!m_latest.update(frame.payload, frame.length))
            return;
        if (taken++ == 0)
            for (MeasurementListener *listener : m_listeners)
                listener->newRead();
        for (MeasurementListener *listener : m_listeners)
            listener->addMeasurement(m_latest);
    });
    m_measurementFrames += quint64(taken);
    return taken;
}

void MeasurementFeed::resetCounters()
{
    m_decoder.reset();
    m_bytesReceived = 0;
    m_measurementFrames = 0;
    m_frameBytesBefore = m_decoder.frameBytes();
    m_checksumErrorsBefore = m_decoder.checksumErrors();
    resetRate();
}

void MeasurementFeed::sampleRate(qint64 nowMs)
{
    if (!m_windowOpen) {
        m_windowOpen = true;
        m_windowStartMs = nowMs;
        m_windowFrames = m_measurementFrames;
        return;
    }
    const qint64 elapsedMs = nowMs - m_windowStartMs;
    if (elapsedMs < RateWindowMs)
        return;
    m_rateHz = double(m_measurementFrames - m_windowFrames) * 1000.0 / double(elapsedMs);
    m_windowStartMs = nowMs;
    m_windowFrames = m_measurementFrames;
}

void MeasurementFeed::resetRate()
{
    m_windowOpen = false;
    m_rateHz = 0;
}

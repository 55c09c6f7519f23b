#pragma once

#include "framedecoder.h"
#include "measurement.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QtGlobal>

#include <vector>

// Whoever takes the measurements a feed decodes: the channel model, a recorder.
class MeasurementListener
{
public:
    // The measurements that follow, up to the next call, came in with one read.
    // Called only for a read that completes one, so reads of a frame's middle
    // cost nothing.
    virtual void newRead() { }
    virtual void addMeasurement(const Measurement &measurement) = 0;

protected:
    ~MeasurementListener() = default;
};

// The path every received chunk takes, in the window and in headless capture
// alike: frames out of the byte stream, measurement frames into latest(), and
// each new measurement handed to every listener, in stream order, before the
// next is decoded. Frames that carry no measurement (command echoes) are
// dropped here. It also keeps the figures of the line.
class MeasurementFeed
{
public:
    static constexpr qint64 RateWindowMs = 1000;

    MeasurementFeed() { m_clock.start(); }

    // Listeners are called in the order they were added; none is owned.
    void addListener(MeasurementListener *listener) { m_listeners.push_back(listener); }

    // One read's bytes. Returns the measurements it completed.
    int receive(const QByteArray &chunk);

    const Measurement &latest() const { return m_latest; }

    // Since construction or the last resetCounters().
    quint64 bytesReceived() const { return m_bytesReceived; }
    quint64 measurementFrames() const { return m_measurementFrames; }
    quint64 bytesOutsideFrames() const
    {
        return m_bytesReceived - (m_decoder.frameBytes() - m_frameBytesBefore);
    }
    quint64 checksumErrors() const { return m_decoder.checksumErrors() - m_checksumErrorsBefore; }

    // A new line: the counters start from zero, the rate is forgotten and a
    // frame begun on the old line is dropped, so no byte counts on both.
    void resetCounters();

    // Measurement frames per second over the last whole window; 0 before one
    // has passed. Counting costs one addition per read; the rate is worked out
    // only when a reading is taken, a few times a second.
    double rateHz() const { return m_rateHz; }
    // A reading at nowMs of a monotonic clock (the feed's own by default).
    // Once a window has passed since the first reading or the last rate, the
    // rate becomes the frames counted over it; readings far apart (a busy
    // event loop) make a longer window.
    void sampleRate() { sampleRate(m_clock.elapsed()); }
    void sampleRate(qint64 nowMs);
    // Forgets the rate and starts a new window at the next reading.
    void resetRate();

private:
    FrameDecoder m_decoder; // holds the frame buffer
    Measurement m_latest;
    std::vector<MeasurementListener *> m_listeners;
    quint64 m_bytesReceived = 0;
    quint64 m_measurementFrames = 0;
    quint64 m_frameBytesBefore = 0; // the decoder's counts at the last reset
    quint64 m_checksumErrorsBefore = 0;
    QElapsedTimer m_clock;
    quint64 m_windowFrames = 0;
    qint64 m_windowStartMs = 0;
    bool m_windowOpen = false;
    double m_rateHz = 0;
};

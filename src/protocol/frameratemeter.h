#pragma once

#include <QtGlobal>

// Frames per second as they are decoded, over the last second. Counting is
// one addition per read, however many frames it held; the rate is worked out
// only when a reading is taken, a few times a second, so what it costs does
// not grow with the device's rate.
class FrameRateMeter
{
public:
    static constexpr qint64 WindowMs = 1000;

    void count(int frames) { m_total += quint64(frames); }

    // A reading at nowMs of a monotonic clock. Once a window has passed since
    // the first reading or the last rate, the rate becomes the frames counted
    // over it; readings far apart (a busy event loop) make a longer window.
    void sample(qint64 nowMs);

    // Frames per second over the last whole window; 0 before one has passed.
    double rateHz() const { return m_rateHz; }

    // Forgets the rate and starts a new window at the next reading.
    void reset();

private:
    quint64 m_total = 0;
    quint64 m_windowTotal = 0;
    qint64 m_windowStartMs = 0;
    bool m_windowOpen = false;
    double m_rateHz = 0;
};

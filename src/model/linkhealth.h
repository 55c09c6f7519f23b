#pragma once

#include "measurementfeed.h"

#include <QString>
#include <QtGlobal>

// What the line looks like since the port was opened, read from the feed on
// the window's repaint tick: the Rx count's tooltip, and a corner text over
// the chart when bytes come in that never make a frame (a wrong baud rate, as
// a rule). Costs nothing per frame: it only compares the feed's counters.
class LinkHealth
{
public:
    // No frame for this long while bytes come in: the corner says so.
    static constexpr qint64 SilenceMs = 1000;

    // A new line (the port opened or closed): what the feed counted so far is
    // not held against it.
    void reset(const MeasurementFeed &feed, qint64 nowMs);
    // A reading at nowMs of a monotonic clock.
    void update(const MeasurementFeed &feed, qint64 nowMs);

    // "no frames in 6,840 bytes — baud rate?"; empty while frames come.
    QString cornerText() const;
    // The line's figures for the Rx count; commandedHz 0 for no rate sent.
    static QString toolTip(const MeasurementFeed &feed, int commandedHz);

private:
    quint64 m_frames = 0; // the feed's count when it last moved
    quint64 m_bytesAtFrame = 0; // the feed's bytes then
    quint64 m_bytes = 0;
    qint64 m_frameMs = 0;
    qint64 m_nowMs = 0;
};

#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

// The longest time between two marks on one clock, leaving out the first
// `settleNs` (start-up: building the window, opening the port).
class GapMeter
{
public:
    explicit GapMeter(qint64 settleNs)
        : m_settleNs(settleNs)
    { }

    void mark(qint64 nowNs);
    // The longest gap so far, counting the one still open at nowNs, so a
    // window that stopped repainting shows it. 0 before the settle time.
    qint64 maxGapNs(qint64 nowNs) const;
    quint64 marks() const { return m_marks; }

private:
    qint64 m_settleNs;
    qint64 m_last = -1;
    qint64 m_maxGap = 0;
    quint64 m_marks = 0;
};

// Watches the repaints of one widget (its paint events), on a clock started
// with the watch.
class RepaintWatch : public QObject
{
public:
    explicit RepaintWatch(QObject *widget, qint64 settleMs = 1000);

    double maxGapMs() const { return double(m_gaps.maxGapNs(m_clock.nsecsElapsed())) / 1e6; }
    quint64 repaints() const { return m_gaps.marks(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QElapsedTimer m_clock;
    GapMeter m_gaps;
};

// What this process has used so far.
struct ProcessUsage
{
    double cpuSeconds = 0; // user + system, all threads
    long peakRssKib = 0;
    long rssKib = 0; // 0 where the system does not tell

    static ProcessUsage now();
};

// The figures of one run, as the one summary line scripts read:
// space-separated key=value pairs, keys fixed, no spaces in values.
struct RunSummary
{
    quint64 frames = 0;
    quint64 bytes = 0;
    double seconds = 0;
    ProcessUsage usage;
    double maxRepaintGapMs = 0;
    quint64 repaints = 0;
    bool hasSimulator = false; // the built-in simulator's counters below are valid
    quint64 simSent = 0;
    quint64 simIntact = 0;
    quint64 simFalse = 0;

    QString line() const;
};

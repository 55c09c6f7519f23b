#pragma once

#include <QElapsedTimer>
#include <QIODevice>
#include <QObject>
#include <QString>

// How long new data waited for the chart to show it: from the first data
// after a repaint to the next repaint. A window that shows nothing new need
// not repaint, so quiet times count for nothing, while a window that stops
// repainting under a stream shows as one long wait. The first `settleNs`
// (start-up: building the window, opening the port) are left out.
class GapMeter
{
public:
    explicit GapMeter(qint64 settleNs)
        : m_settleNs(settleNs)
    { }

    void dataArrived(qint64 nowNs);
    void mark(qint64 nowNs); // a repaint
    // The longest wait so far, counting one still open at nowNs.
    qint64 maxGapNs(qint64 nowNs) const;
    quint64 marks() const { return m_marks; }

private:
    qint64 m_settleNs;
    qint64 m_staleSince = -1; // first data not yet shown; -1: all shown
    qint64 m_maxGap = 0;
    quint64 m_marks = 0;
};

// Watches the repaints of one widget (its paint events) and the reads of the
// device feeding it, on a clock started with the watch.
class RepaintWatch : public QObject
{
public:
    RepaintWatch(QObject *widget, QIODevice *source, qint64 settleMs = 1000);

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

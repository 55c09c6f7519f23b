#include "runstats.h"

#include <QEvent>
#include <QFile>

#include <sys/resource.h>

void GapMeter::dataArrived(qint64 nowNs)
{
    if (m_staleSince < 0)
        m_staleSince = qMax(nowNs, m_settleNs);
}

void GapMeter::mark(qint64 nowNs)
{
    ++m_marks;
    m_maxGap = maxGapNs(nowNs);
    m_staleSince = -1;
}

qint64 GapMeter::maxGapNs(qint64 nowNs) const
{
    if (m_staleSince < 0 || nowNs <= m_staleSince)
        return m_maxGap;
    return qMax(m_maxGap, nowNs - m_staleSince);
}

RepaintWatch::RepaintWatch(QObject *widget, QIODevice *source, qint64 settleMs)
    : QObject(widget)
    , m_gaps(settleMs * 1000000)
{
    m_clock.start();
    widget->installEventFilter(this);
    if (source)
        connect(source, &QIODevice::readyRead, this,
                [this] { m_gaps.dataArrived(m_clock.nsecsElapsed()); });
}

bool RepaintWatch::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::Paint)
        m_gaps.mark(m_clock.nsecsElapsed());
    return false;
}

namespace {

// The "VmRSS:" and "VmHWM:" lines of /proc/self/status (Linux), in one read:
// the kernel writes the whole file out for each, and an idle window's
// summary every second would otherwise cost it a fifth of its CPU.
struct StatusKib
{
    long rss = 0, peak = 0;
};

StatusKib readStatus()
{
    StatusKib kib;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return kib;
    for (const QByteArray &line : status.readAll().split('\n')) {
        long *field = line.startsWith("VmRSS:") ? &kib.rss
            : line.startsWith("VmHWM:")         ? &kib.peak
                                                : nullptr;
        if (field) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            *field = fields.size() >= 2 ? fields.at(1).toLong() : 0;
        }
    }
    return kib;
}

double seconds(const timeval &tv)
{
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

} // namespace

ProcessUsage ProcessUsage::now()
{
    ProcessUsage usage;
    rusage ru {};
    if (::getrusage(RUSAGE_SELF, &ru) == 0) {
        usage.cpuSeconds = seconds(ru.ru_utime) + seconds(ru.ru_stime);
#if defined(__APPLE__)
        usage.peakRssKib = long(ru.ru_maxrss / 1024); // bytes there
#else
        usage.peakRssKib = long(ru.ru_maxrss);
#endif
    }
    // The kernel brings ru_maxrss up to date only now and then; the status
    // file's high-water mark counts the memory held right now as well.
    const StatusKib status = readStatus();
    usage.rssKib = status.rss;
    usage.peakRssKib = qMax(usage.peakRssKib, status.peak);
    return usage;
}

QString RunSummary::line() const
{
    // CPU to the microsecond: an idle window uses about a millisecond a second.
    QString text = QStringLiteral("frames=%1 bytes=%2 seconds=%3 cpu=%4 peak_rss_kib=%5 "
                                  "rss_kib=%6 max_repaint_gap_ms=%7 repaints=%8")
                       .arg(frames)
                       .arg(bytes)
                       .arg(seconds, 0, 'f', 3)
                       .arg(usage.cpuSeconds, 0, 'f', 6)
                       .arg(usage.peakRssKib)
                       .arg(usage.rssKib)
                       .arg(maxRepaintGapMs, 0, 'f', 1)
                       .arg(repaints);
    if (hasSimulator)
        text += QStringLiteral(" sim_sent=%1 sim_intact=%2 sim_false=%3")
                    .arg(simSent)
                    .arg(simIntact)
                    .arg(simFalse);
    return text;
}

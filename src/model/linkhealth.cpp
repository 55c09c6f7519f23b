#include "linkhealth.h"

#include "lidarframe.h"

#include <QCoreApplication>
#include <QLocale>

namespace {
QString grouped(quint64 n)
{
    // One grouping whatever the desktop's language: the texts are English.
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(qulonglong(n));
}

QString tr(const char *text)
{
    return QCoreApplication::translate("LinkHealth", text);
}
} // namespace

void LinkHealth::reset(const MeasurementFeed &feed, qint64 nowMs)
{
    m_frames = feed.measurementFrames();
    m_bytes = m_bytesAtFrame = feed.bytesReceived();
    m_frameMs = m_nowMs = nowMs;
}

void LinkHealth::update(const MeasurementFeed &feed, qint64 nowMs)
{
    // The feed's counters start again when a port opens: so does the watch.
    if (feed.bytesReceived() < m_bytes || feed.measurementFrames() < m_frames)
        reset(feed, nowMs);
    m_nowMs = nowMs;
    m_bytes = feed.bytesReceived();
    if (feed.measurementFrames() != m_frames) {
        m_frames = feed.measurementFrames();
        m_frameMs = nowMs;
        m_bytesAtFrame = m_bytes;
    }
}

QString LinkHealth::cornerText() const
{
    // A device stopped in the middle of a frame leaves fewer bytes than one
    // frame: that is no sign of a wrong rate.
    const quint64 bytes = m_bytes - m_bytesAtFrame;
    if (m_nowMs - m_frameMs < SilenceMs || bytes <= quint64(LidarFrame::MaxSize))
        return QString();
    return tr("no frames in %1 bytes — baud rate?").arg(grouped(bytes));
}

QString LinkHealth::toolTip(const MeasurementFeed &feed, int commandedHz)
{
    return tr("Since the port was opened:\n"
              "frames per second (last second): %1\n"
              "measurement frames: %2\n"
              "bytes outside frames: %3\n"
              "checksum rejects: %4\n"
              "commanded rate: %5")
        .arg(grouped(quint64(qRound(feed.rateHz()))), grouped(feed.measurementFrames()),
             grouped(feed.bytesOutsideFrames()), grouped(feed.checksumErrors()),
             commandedHz > 0 ? tr("%1 Hz").arg(commandedHz) : tr("none sent"));
}

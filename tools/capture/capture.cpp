#include "capture.h"

#include "serialline.h"

#include <QDateTime>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

Capture::Capture(const CaptureOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_control(&m_port)
{
    m_feed.addListener(this);
    m_stats.hasReference = options.hasReference;
    m_stats.reference = options.referenceMm;
    m_phaseTimer.setSingleShot(true);
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    m_progress.setInterval(ProgressMs);
    m_showProgress = !options.quiet && ::isatty(STDERR_FILENO);

    connect(&m_port, &QSerialPort::readyRead, this, &Capture::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &Capture::onError);
    connect(&m_control, &DeviceControl::startFinished, this, &Capture::onStartFinished);
    connect(&m_phaseTimer, &QTimer::timeout, this, &Capture::onPhaseTimeout);
    connect(&m_deadline, &QTimer::timeout, this, [this] { end(ExitCode::Captured); });
    connect(&m_progress, &QTimer::timeout, this, &Capture::drawProgress);
    connect(&m_silence, &SilenceWatch::silent, this, [this] {
        const QString limit = QString::number(m_options.silenceSeconds);
        end(ExitCode::NoFrames,
            m_taken == 0 ? QStringLiteral("no measurement frame within %1 s").arg(limit)
                         : QStringLiteral("no measurement frame for %1 s after frame %2")
                               .arg(limit)
                               .arg(m_taken));
    });
}

void Capture::begin()
{
    if (m_phase != Idle)
        return;
    SerialLine::configure(m_port, m_options.port, m_options.baud);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_phase = Done;
        complain(QStringLiteral("cannot open %1: %2").arg(m_options.port, m_port.errorString()));
        emit finished(ExitCode::PortFailed);
        return;
    }
    // Only once the port is open, so a mistyped port leaves an existing file alone.
    if (!m_options.csvPath.isEmpty() && !m_csv.open(m_options.csvPath)) {
        end(ExitCode::CsvFailed, m_csv.error());
        return;
    }
    if (m_options.listen) {
        beginCapture();
        return;
    }
    m_control.send(CommandTable::StopScan);
    m_phase = Discarding;
    m_phaseTimer.start(DiscardMs);
}

void Capture::interrupt(int exitCode, const QString &reason)
{
    end(exitCode, reason);
}

void Capture::onPhaseTimeout()
{
    if (m_phase == Discarding) {
        // Dropped unread, so the decoder and the counters start afresh here.
        m_port.readAll();
        m_phase = Starting;
        m_control.start(m_options.rateCode);
    }
}

void Capture::onStartFinished(DeviceControl::Result result)
{
    if (m_phase != Starting)
        return;
    if (result == DeviceControl::Sent)
        beginCapture();
    else
        end(ExitCode::DeviceLost,
            QStringLiteral("cannot send the start command: %1").arg(m_port.errorString()));
}

void Capture::beginCapture()
{
    m_phase = Capturing;
    m_clock.start();
    // The CSV's clock starts here, with the port open and the device started:
    // both are noted at 0.
    if (m_csv.isOpen()
        && m_notes.begin(m_options.csvPath, QStringLiteral("tav47-capture"),
                         QDateTime::currentDateTimeUtc())) {
        m_notes.setLine(m_options.port, m_options.baud);
        m_notes.addEvent(0, QStringLiteral("open"), m_options.port);
        if (!m_options.listen) {
            m_notes.setRateHz(m_options.rateHz);
            m_notes.addEvent(0, QStringLiteral("start"),
                             QStringLiteral("%1 Hz").arg(m_options.rateHz));
        }
    }
    m_silence.start(qint64(std::ceil(m_options.silenceSeconds * 1000.0)));
    if (m_options.frames == 0)
        m_deadline.start(int(m_options.seconds * 1000.0 + 0.5));
    if (m_showProgress) {
        m_progress.start();
        drawProgress();
    }
}

void Capture::onReadyRead()
{
    const QByteArray chunk = m_port.readAll();
    if (m_phase == Starting || m_phase == Capturing)
        take(chunk);
}

bool Capture::frameTargetReached() const
{
    return m_options.frames > 0 && m_taken >= m_options.frames;
}

// Everything received after the discard counts on the line; only frames that
// come once the device has been started are captured.
void Capture::take(const QByteArray &chunk)
{
    const bool capturing = m_phase == Capturing;
    const bool toCsv = !m_options.csvPath.isEmpty();
    m_feed.receive(chunk);
    if (toCsv) {
        const bool written = m_csv.flushIfDue();
        settleUnflushed(written);
        if (!written) {
            end(ExitCode::CsvFailed, m_csv.error());
            return;
        }
    }
    if (capturing && frameTargetReached())
        end(ExitCode::Captured);
}

void Capture::newRead()
{
    m_readNs = -1;
}

void Capture::addMeasurement(const Measurement &frame)
{
    if (m_phase != Capturing || frameTargetReached())
        return;
    if (m_readNs < 0) {
        m_readNs = m_clock.nsecsElapsed();
        m_silence.frameSeen();
        // elapsed_s from the start of the capture, not of the file.
        if (m_csv.isOpen())
            m_csv.beginRead(QDateTime::currentMSecsSinceEpoch(), m_readNs);
    }
    ++m_taken;
    if (m_csv.isOpen()) {
        m_csv.append(frame);
        m_unflushed.append({ frame, m_readNs });
    } else if (!m_options.csvPath.isEmpty()) {
        ++m_stats.framesNotWritten;
    } else {
        m_stats.add(frame, m_readNs);
    }
}

// The summary covers the rows on disk, and counts the rest as not written.
// The recorder's writer takes the rows in order: those it has on disk are the
// first not yet settled. After a failure the rest never will be.
void Capture::settleUnflushed(bool written)
{
    int settled = 0;
    for (const qint64 onDisk = m_csv.rowsWritten() - m_rowsSettled;
         settled < m_unflushed.size() && settled < onDisk; ++settled)
        m_stats.add(m_unflushed[settled].first, m_unflushed[settled].second);
    m_rowsSettled += settled;
    if (!written) {
        m_stats.framesNotWritten += quint64(m_unflushed.size() - settled);
        settled = m_unflushed.size();
    }
    m_unflushed.remove(0, settled);
}

void Capture::onError(QSerialPort::SerialPortError error)
{
    if (!m_port.isOpen() || m_phase == Done)
        return;
    if (error == QSerialPort::WriteError) {
        complain(
            QStringLiteral("writing to %1 failed: %2").arg(m_options.port, m_port.errorString()));
        return;
    }
    if (!SerialLine::isDeviceLost(error))
        return;
    const QString reason = m_port.errorString();
    const QByteArray rest = m_port.readAll();
    // At once: a hung-up line repeats the error for as long as it stays open.
    m_port.close();
    if (m_phase == Starting || m_phase == Capturing)
        take(rest);
    // The window's words, on one line.
    end(ExitCode::DeviceLost,
        SerialLine::lostMessage(m_options.port, reason)
            .replace(QLatin1String("\n\n"), QLatin1String(" ")));
}

void Capture::end(int exitCode, const QString &reason)
{
    if (m_phase == Done)
        return;
    const bool captured = m_phase == Capturing;
    m_phase = Done;
    m_phaseTimer.stop();
    m_silence.stop();
    m_deadline.stop();
    m_progress.stop();
    m_control.cancel();
    if (captured)
        m_stats.seconds = double(m_clock.nsecsElapsed()) / 1e9;
    m_stats.bytesReceived = m_feed.bytesReceived();
    m_stats.bytesOutsideFrames = m_feed.bytesOutsideFrames();
    m_stats.checksumErrors = m_feed.checksumErrors();
    if (!reason.isEmpty())
        m_complaints.append(reason);

    const double endSeconds = double(m_clock.isValid() ? m_clock.nsecsElapsed() : 0) / 1e9;
    if (m_port.isOpen()) {
        if (!m_options.listen) {
            bool sent = m_control.stop() == DeviceControl::Sent;
            while (sent && m_port.bytesToWrite() > 0)
                sent = m_port.waitForBytesWritten(StopWaitMs);
            if (!sent)
                m_complaints.append(QStringLiteral("could not send the stop command: %1")
                                        .arg(m_port.errorString()));
            else
                m_notes.addEvent(endSeconds, QStringLiteral("stop"));
        }
        m_port.close();
        m_notes.addEvent(endSeconds, QStringLiteral("close"), m_options.port);
    } else if (exitCode == ExitCode::DeviceLost) {
        m_notes.addEvent(endSeconds, QStringLiteral("device_lost"), m_options.port);
    }
    m_notes.end();
    // The CSV and the exit code stand whatever became of the notes.
    const QString notesError = m_notes.takeError();
    if (!notesError.isEmpty())
        m_complaints.append(notesError);
    if (!m_options.csvPath.isEmpty()) {
        const bool written = m_csv.close();
        settleUnflushed(written);
        if (!written && exitCode != ExitCode::CsvFailed) {
            m_complaints.append(m_csv.error());
            if (exitCode == ExitCode::Captured)
                exitCode = ExitCode::CsvFailed;
        }
    }
    if (exitCode == ExitCode::Captured)
        exitCode = checkLimits(exitCode);

    clearProgress();
    if (!printSummary() && exitCode == ExitCode::Captured)
        exitCode = ExitCode::CsvFailed;
    for (const QString &message : qAsConst(m_complaints))
        std::fprintf(stderr, "tav47-capture: %s\n", qPrintable(message));
    emit finished(exitCode);
}

int Capture::checkLimits(int exitCode)
{
    if (m_stats.frames() == 0) {
        m_complaints.append(QStringLiteral("no measurement frame captured"));
        return ExitCode::NoFrames;
    }
    const QStringList missed = missedLimits(m_options, m_stats);
    m_complaints += missed;
    return missed.isEmpty() ? exitCode : ExitCode::LimitMissed;
}

// False, with the reason among the complaints, when the summary could not be
// written whole (a full disk, a closed stream).
bool Capture::printSummary()
{
    const QByteArray summary
        = m_options.summary == CaptureOptions::Json ? m_stats.json() : m_stats.text();
    FILE *out = m_options.csvPath == QLatin1String("-") ? stderr : stdout;
    errno = 0;
    const bool written
        = std::fwrite(summary.constData(), 1, size_t(summary.size()), out) == size_t(summary.size())
        && std::fflush(out) == 0;
    if (!written)
        m_complaints.append(QStringLiteral("cannot write the summary: %1")
                                .arg(QString::fromLocal8Bit(std::strerror(errno))));
    return written;
}

void Capture::drawProgress()
{
    const qint64 nowNs = m_clock.nsecsElapsed();
    const double elapsed = double(nowNs) / 1e9;
    const quint64 frames = m_taken; // not m_stats, which waits for the disk
    const double rate = nowNs > m_progressNs
        ? double(frames - m_progressFrames) * 1e9 / double(nowNs - m_progressNs)
        : 0.0;
    m_progressFrames = frames;
    m_progressNs = nowNs;

    constexpr int Width = 24;
    const double done = m_options.frames > 0 ? double(frames) / double(m_options.frames)
                                             : elapsed / m_options.seconds;
    const int filled = qBound(0, int(done * Width), Width);
    const QByteArray bar = QByteArray(filled, '#') + QByteArray(Width - filled, '.');
    char line[160];
    if (m_options.frames > 0)
        std::snprintf(line, sizeof line, "\r%llu/%llu frames [%s] %7.1f Hz  %.1f s\033[K",
                      static_cast<unsigned long long>(frames),
                      static_cast<unsigned long long>(m_options.frames), bar.constData(), rate,
                      elapsed);
    else
        std::snprintf(line, sizeof line, "\r%.1f/%.1f s [%s] %7.1f Hz  %llu frames\033[K", elapsed,
                      m_options.seconds, bar.constData(), rate,
                      static_cast<unsigned long long>(frames));
    std::fputs(line, stderr);
    std::fflush(stderr);
    m_progressShown = true;
}

void Capture::clearProgress()
{
    if (!m_progressShown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_progressShown = false;
}

void Capture::complain(const QString &message)
{
    clearProgress();
    std::fprintf(stderr, "tav47-capture: %s\n", qPrintable(message));
}

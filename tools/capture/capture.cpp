#include "capture.h"

#include "measurementstream.h"
#include "serialline.h"

#include <QDateTime>

#include <cstdio>
#include <unistd.h>

Capture::Capture(const CaptureOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_control(&m_port)
{
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
    } else if (m_phase == Capturing && m_stats.frames() == 0) {
        end(ExitCode::NoFrames,
            QStringLiteral("no measurement frame within %1 s")
                .arg(CaptureOptions::NoFrameTimeoutMs / 1000));
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
    m_phaseTimer.start(CaptureOptions::NoFrameTimeoutMs);
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
    return m_options.frames > 0 && m_stats.frames() >= m_options.frames;
}

// Everything received after the discard counts on the line; only frames that
// come once the device has been started are captured.
void Capture::take(const QByteArray &chunk)
{
    m_stats.bytesReceived += quint64(chunk.size());
    const bool capturing = m_phase == Capturing;
    bool stamped = false;
    decodeMeasurements(m_decoder, m_latest, chunk, [&](const Measurement &frame) {
        if (!capturing || frameTargetReached())
            return;
        if (m_csv.isOpen()) {
            // elapsed_s from the start of the capture, not of the file.
            if (!stamped)
                m_csv.beginRead(QDateTime::currentMSecsSinceEpoch(), m_clock.nsecsElapsed());
            stamped = true;
            m_csv.append(frame);
        }
        m_stats.add(frame);
    });
    if (!m_options.csvPath.isEmpty() && !m_csv.flushIfDue())
        end(ExitCode::CsvFailed, m_csv.error());
    else if (capturing && frameTargetReached())
        end(ExitCode::Captured);
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
    end(ExitCode::DeviceLost, QStringLiteral("device lost on %1: %2").arg(m_options.port, reason));
}

void Capture::end(int exitCode, const QString &reason)
{
    if (m_phase == Done)
        return;
    const bool captured = m_phase == Capturing;
    m_phase = Done;
    m_phaseTimer.stop();
    m_deadline.stop();
    m_progress.stop();
    m_control.cancel();
    if (captured)
        m_stats.seconds = double(m_clock.nsecsElapsed()) / 1e9;
    m_stats.bytesOutsideFrames = m_stats.bytesReceived - m_decoder.frameBytes();
    m_stats.checksumErrors = m_decoder.checksumErrors();
    if (!reason.isEmpty())
        m_complaints.append(reason);

    if (m_port.isOpen()) {
        if (!m_options.listen) {
            bool sent = m_control.stop() == DeviceControl::Sent;
            while (sent && m_port.bytesToWrite() > 0)
                sent = m_port.waitForBytesWritten(StopWaitMs);
            if (!sent)
                m_complaints.append(QStringLiteral("could not send the stop command: %1")
                                        .arg(m_port.errorString()));
        }
        m_port.close();
    }
    if (!m_options.csvPath.isEmpty() && !m_csv.close() && exitCode != ExitCode::CsvFailed) {
        m_complaints.append(m_csv.error());
        if (exitCode == ExitCode::Captured)
            exitCode = ExitCode::CsvFailed;
    }
    if (exitCode == ExitCode::Captured)
        exitCode = checkLimits(exitCode);

    clearProgress();
    const QByteArray summary
        = m_options.summary == CaptureOptions::Json ? m_stats.json() : m_stats.text();
    FILE *out = m_options.csvPath == QLatin1String("-") ? stderr : stdout;
    std::fwrite(summary.constData(), 1, size_t(summary.size()), out);
    std::fflush(out);
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
    const RunningStats &distance = m_stats.distance();
    if (m_options.expectDistance
        && (distance.min() < m_options.minDistance || distance.max() > m_options.maxDistance)) {
        m_complaints.append(QStringLiteral("distance limit missed: measured %1 to %2 mm, "
                                           "allowed %3 to %4 mm")
                                .arg(distance.min())
                                .arg(distance.max())
                                .arg(m_options.minDistance)
                                .arg(m_options.maxDistance));
        exitCode = ExitCode::LimitMissed;
    }
    if (m_options.limitStdDistance && distance.stdDev() > m_options.maxStdDistance) {
        m_complaints.append(QStringLiteral("distance deviation limit missed: measured %1 mm, "
                                           "allowed at most %2 mm")
                                .arg(distance.stdDev(), 0, 'f', 3)
                                .arg(m_options.maxStdDistance));
        exitCode = ExitCode::LimitMissed;
    }
    return exitCode;
}

void Capture::drawProgress()
{
    const qint64 nowNs = m_clock.nsecsElapsed();
    const double elapsed = double(nowNs) / 1e9;
    const quint64 frames = m_stats.frames();
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

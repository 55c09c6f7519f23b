#include "simulator.h"

#include "commandtable.h"
#include "lidarframe.h"
#include "measurement.h"
#include "uartline.h"

#include <QMutexLocker>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <util.h>
#elif defined(__FreeBSD__) || defined(__DragonFly__)
#include <libutil.h>
#else
#include <pty.h>
#endif

namespace {
constexpr int FrameSize = LidarFrame::Overhead + Measurement::PayloadSize;
// At high rates several frames go out per wake-up: waking for every frame at
// 1800 Hz would cost far more than the frames themselves.
constexpr int MinTickMs = 4;
// Waiting for a host to open the port is done by looking every so often.
constexpr int HostWatchMs = 20;
// What we hold for a host that does not read, beyond what the kernel holds.
constexpr int MaxBacklog = 64 * 1024;
constexpr int MaxReceivedLog = 1024 * 1024;
// A false header can hold back at most one frame's worth of bytes (51).
constexpr size_t MaxAwaitingShadow = 16;
constexpr double Pi = 3.14159265358979323846;

quint32 packFrame(quint32 distance, quint32 energy, quint32 ambient)
{
    return distance | energy << 16 | ambient << 24;
}
} // namespace

int Tav47Simulator::rateHz(int rateCode)
{
    return CommandTable::rateHz(rateCode);
}

Tav47Simulator::Tav47Simulator(const SimulatorOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_random(options.seed)
{
    m_options.noiseFraction = qBound(0.0, options.noiseFraction, 0.9);
    if (rateHz(options.rateCode) > 0)
        m_rateCode = options.rateCode;
}

Tav47Simulator::~Tav47Simulator()
{
    closeMaster();
}

bool Tav47Simulator::open()
{
    if (m_master >= 0)
        return true;
    int master = -1;
    int slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        m_error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Raw both ways: no echo, no line editing, no newline translation, so
    // every byte passes as it is until the host sets its own line settings.
    for (int fd : { master, slave }) {
        termios tio {};
        if (::tcgetattr(fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
    }
    // Only the host holds the slave end, so we can tell when it closes it.
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);

    m_master = master;
    m_portPath = QString::fromLocal8Bit(name);
    m_clock.start();

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    m_readNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &Tav47Simulator::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] { flush(); });

    m_tick = new QTimer(this);
    m_tick->setSingleShot(true);
    m_tick->setTimerType(Qt::PreciseTimer);
    connect(m_tick, &QTimer::timeout, this, &Tav47Simulator::onTick);
    m_hostWatch = new QTimer(this);
    m_hostWatch->setInterval(HostWatchMs);
    connect(m_hostWatch, &QTimer::timeout, this, &Tav47Simulator::checkHost);
    m_hostWatch->start();

    if (m_rateCode.load() >= 0)
        startStreaming();
    return true;
}

void Tav47Simulator::closeMaster()
{
    if (m_master < 0)
        return;
    delete m_readNotifier;
    delete m_writeNotifier;
    delete m_tick;
    delete m_hostWatch;
    m_readNotifier = m_writeNotifier = nullptr;
    m_tick = m_hostWatch = nullptr;
    ::close(m_master);
    m_master = -1;
    m_hostConnected = false;
    m_streaming = false;
    m_backlog.clear();
}

Measurement Tav47Simulator::lastFrame() const
{
    const quint32 packed = m_lastFrame.load();
    Measurement m;
    m.distance = packed & 0xFFFF;
    m.energy = (packed >> 16) & 0xFF;
    m.ambient = packed >> 24;
    return m;
}

QByteArray Tav47Simulator::receivedBytes() const
{
    QMutexLocker locker(&m_receivedMutex);
    return m_received;
}

QList<Tav47Simulator::ReceivedCommand> Tav47Simulator::receivedCommands() const
{
    QMutexLocker locker(&m_receivedMutex);
    return m_receivedCommands;
}

void Tav47Simulator::clearReceived()
{
    QMutexLocker locker(&m_receivedMutex);
    m_received.clear();
    m_receivedCommands.clear();
}

void Tav47Simulator::checkHost()
{
    if (m_master < 0)
        return;
    pollfd pfd { m_master, POLLIN, 0 };
    if (::poll(&pfd, 1, 0) < 0)
        return;
    const bool connected = !(pfd.revents & POLLHUP);
    if (connected == m_hostConnected)
        return;
    if (!connected) {
        hostGone();
        return;
    }
    m_hostConnected = true;
    m_readNotifier->setEnabled(true);
    m_hostWatch->stop(); // the read notifier reports the next hang-up
}

void Tav47Simulator::hostGone()
{
    // No slave end open: reads fail with EIO until a host opens it again.
    // Whatever the host left half-sent is forgotten, as is what it did not read.
    m_hostConnected = false;
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    m_backlog.clear();
    m_commandDecoder.reset();
    m_hostWatch->start();
}

void Tav47Simulator::onReadable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            {
                QMutexLocker locker(&m_receivedMutex);
                if (m_received.size() < MaxReceivedLog)
                    m_received.append(buffer, int(n));
            }
            QByteArray heard = QByteArray::fromRawData(buffer, int(n));
            if (const int hostBaud = mismatchedHostBaud())
                heard = UartLine::receive(heard, hostBaud, m_options.baud);
            m_commandDecoder.decode(heard,
                                    [this](const DecodedFrame &frame) { handleCommand(frame); });
            if (m_master < 0)
                return; // a command handler closed us
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        hostGone(); // EIO: the host closed the port
        return;
    }
}

void Tav47Simulator::handleCommand(const DecodedFrame &frame)
{
    ++m_commands;
    {
        QMutexLocker locker(&m_receivedMutex);
        m_receivedCommands.append({ m_clock.nsecsElapsed(), frame.command, frame.payloadBytes() });
    }
    switch (frame.command) {
    case LidarFrame::Command::Rate:
        if (frame.length == 1 && rateHz(frame.payload[0]) > 0) {
            const bool changed = m_rateCode.exchange(frame.payload[0]) != frame.payload[0];
            if (changed && m_streaming)
                startStreaming(); // new grid at the new period
        }
        break;
    case LidarFrame::Command::Start:
        // The host sends start twice; the second must not disturb the stream.
        if (!m_streaming) {
            if (m_rateCode.load() < 0)
                m_rateCode = 1; // the device's own default, 100 Hz
            startStreaming();
        }
        break;
    case LidarFrame::Command::Stop:
        m_streaming = false;
        if (m_tick)
            m_tick->stop();
        break;
    default:
        break; // the probe and anything unknown: no answer
    }
    emit commandReceived(frame.command, frame.payloadBytes());
}

void Tav47Simulator::startStreaming()
{
    if (m_master < 0)
        return;
    if (limitReached())
        return;
    m_streaming = true;
    m_streamStartNs = m_clock.nsecsElapsed();
    m_streamIndex = 0;
    scheduleTick();
}

// Frame k of a stream is due k / hz seconds after its start, rounded up to the
// nanosecond; split so that no product overflows however long the stream runs.
static qint64 dueOffsetNs(qint64 k, qint64 hz)
{
    return k / hz * 1000000000LL + ((k % hz) * 1000000000LL + hz - 1) / hz;
}

// Number of frames due once elapsedNs have passed since the start (frame 0 is
// due at once).
static qint64 framesDue(qint64 elapsedNs, qint64 hz)
{
    return elapsedNs / 1000000000LL * hz + elapsedNs % 1000000000LL * hz / 1000000000LL + 1;
}

void Tav47Simulator::scheduleTick()
{
    const int hz = rateHz(m_rateCode.load());
    const qint64 period = 1000000000LL / hz;
    const qint64 due = m_streamStartNs + dueOffsetNs(m_streamIndex, hz);
    const qint64 waitNs = due - m_clock.nsecsElapsed();
    int waitMs = waitNs <= 0 ? 0 : int((waitNs + 999999) / 1000000);
    if (period < MinTickMs * 1000000LL)
        waitMs = qMax(waitMs, MinTickMs);
    m_tick->start(waitMs);
}

void Tav47Simulator::onTick()
{
    if (!m_streaming)
        return;
    sendDueFrames();
    if (m_streaming)
        scheduleTick();
}

void Tav47Simulator::sendDueFrames()
{
    const int hz = rateHz(m_rateCode.load());
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 due = framesDue(now - m_streamStartNs, hz);
    if (due <= m_streamIndex)
        return;

    const int before = m_backlog.size();
    while (m_streamIndex < due && !limitReached()) {
        ++m_streamIndex;
        if (!m_hostConnected || m_backlog.size() > MaxBacklog) {
            ++m_framesSkipped;
            continue;
        }
        appendFrame(m_backlog);
    }
    if (limitReached())
        m_streaming = false;
    if (const int hostBaud = mismatchedHostBaud(); hostBaud > 0 && m_backlog.size() > before)
        m_backlog = m_backlog.left(before)
            + UartLine::receive(m_backlog.mid(before), m_options.baud, hostBaud);
    if (m_backlog.size() > before)
        flush();
    else
        reportFinished();
}

bool Tav47Simulator::limitReached() const
{
    return m_options.frameLimit > 0 && m_framesSent.load() >= m_options.frameLimit;
}

void Tav47Simulator::reportFinished()
{
    // Only once the line has taken the last frame of a limited stream.
    if (!m_streaming && limitReached() && m_backlog.isEmpty() && !m_finishedSignalled) {
        m_finishedSignalled = true;
        emit finished();
    }
}

void Tav47Simulator::appendFrame(QByteArray &out)
{
    // The target moves on the frames' own time, not the wall clock, so a given
    // seed and command sequence always give the same stream.
    const double t = m_signalTime;
    m_signalTime += 1.0 / rateHz(m_rateCode.load());
    std::normal_distribution<double> jitter(0.0, 2.5);
    std::uniform_int_distribution<int> smallInt(0, 3);

    const double phase = double(m_options.seed % 1000) * 0.00628;
    const double target = 2750.0 + 1250.0 * std::sin(2.0 * Pi * t / 20.0 + phase);
    const quint32 distance = quint32(qBound(0.0, std::round(target + jitter(m_random)), 65535.0));
    // Returned light falls off with the square of the distance.
    const double nearness = 1500.0 / qMax(1.0, double(distance));
    const double returned = 220.0 * nearness * nearness;
    const quint32 energy
        = quint32(qBound(0.0, std::round(returned + jitter(m_random) * 0.5), 255.0));
    const quint32 ambient = quint32(5 + smallInt(m_random));

    if (m_options.noiseFraction > 0.0) {
        const double f = m_options.noiseFraction;
        m_noiseCredit += FrameSize * f / (1.0 - f);
        const int count = int(m_noiseCredit);
        m_noiseCredit -= count;
        std::uniform_int_distribution<int> anyByte(0, 255);
        QByteArray noise(count, Qt::Uninitialized);
        for (char &c : noise)
            c = char(anyByte(m_random));
        m_shadowDecoder.decode(noise, [this](const DecodedFrame &f) { onShadowFrame(f); });
        out.append(noise);
        m_noiseBytes += quint64(count);
    }

    const char payload[Measurement::PayloadSize]
        = { char(distance & 0xFF), char(distance >> 8), char(energy), char(ambient) };
    const QByteArray frame
        = LidarFrame::build(LidarFrame::Command::Measurement,
                            QByteArray::fromRawData(payload, Measurement::PayloadSize));
    const quint32 packed = packFrame(distance, energy, ambient);
    m_awaitingShadow.push_back(packed);
    if (m_awaitingShadow.size() > MaxAwaitingShadow)
        m_awaitingShadow.pop_front(); // swallowed by a false frame for good
    m_shadowDecoder.decode(frame, [this](const DecodedFrame &f) { onShadowFrame(f); });
    out.append(frame);
    ++m_framesSent;
    m_lastFrame = packed;
}

void Tav47Simulator::onShadowFrame(const DecodedFrame &frame)
{
    if (frame.length < Measurement::PayloadSize)
        return; // too short to be taken for a measurement
    if (frame.command == LidarFrame::Command::Measurement
        && frame.length == Measurement::PayloadSize) {
        const quint32 packed = packFrame(quint32(frame.payload[0]) | quint32(frame.payload[1]) << 8,
                                         frame.payload[2], frame.payload[3]);
        // A real frame may come out a few frames late, when a false header in
        // the noise held it until its own checksum failed; frames before it
        // that never came out are lost.
        for (auto it = m_awaitingShadow.begin(); it != m_awaitingShadow.end(); ++it) {
            if (*it == packed) {
                m_awaitingShadow.erase(m_awaitingShadow.begin(), it + 1);
                ++m_framesIntact;
                return;
            }
        }
    }
    ++m_falseFrames; // made of noise
}

int Tav47Simulator::mismatchedHostBaud() const
{
    if (m_options.baud <= 0 || m_master < 0)
        return 0;
    const int host = UartLine::baudRate(m_master);
    return host > 0 && host != m_options.baud ? host : 0;
}

void Tav47Simulator::injectBytes(const QByteArray &bytes)
{
    if (m_master < 0 || !m_hostConnected)
        return;
    m_backlog.append(bytes);
    flush();
}

bool Tav47Simulator::flush()
{
    while (!m_backlog.isEmpty()) {
        const ssize_t n = ::write(m_master, m_backlog.constData(), size_t(m_backlog.size()));
        if (n > 0) {
            m_bytesSent += quint64(n);
            m_backlog.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_writeNotifier->setEnabled(true); // the host is behind: go on when it has read
            return false;
        }
        hostGone();
        return false;
    }
    m_writeNotifier->setEnabled(false);
    reportFinished();
    return true;
}

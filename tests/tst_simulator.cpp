// The simulated TAV47, seen from a plain host program that opens its
// pseudo-terminal with open(2), as a terminal program would.

#include "commandtable.h"
#include "lidarframe.h"
#include "measurement.h"
#include "simulator.h"
#include "simulatorthread.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QThread>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <termios.h>
#include <unistd.h>

using namespace testsupport;

namespace {

QByteArray rateFrame(int code)
{
    return LidarFrame::build(LidarFrame::Command::Rate, QByteArray(1, char(code)));
}

const QByteArray StartFrame = hex("AA5560005F");
const QByteArray StopFrame = hex("AA55610060");

// The host end: drains the port as bytes come and decodes what it reads.
class Host : public QObject
{
public:
    explicit Host(const QString &path)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return;
        termios tio {};
        ::tcgetattr(m_fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &Host::drain);
    }
    ~Host() override { close(); }

    bool isOpen() const { return m_fd >= 0; }
    void write(const QByteArray &bytes)
    {
        QCOMPARE(::write(m_fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    }
    void close()
    {
        m_notifier.reset();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    void drain()
    {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            bytes.append(buffer, int(n));
            decoder.decode(buffer, n, [this](const DecodedFrame &frame) {
                if (frame.command == LidarFrame::Command::Measurement
                    && frame.length == Measurement::PayloadSize) {
                    Measurement m;
                    m.update(frame.payload, frame.length);
                    frames.append(m);
                } else {
                    ++otherFrames;
                }
            });
        }
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            hungUp = true;
    }

    QByteArray bytes;
    QList<Measurement> frames;
    int otherFrames = 0;
    bool hungUp = false;
    FrameDecoder decoder;

private:
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

std::unique_ptr<Tav47Simulator> openDevice(const SimulatorOptions &options = SimulatorOptions())
{
    auto device = std::make_unique<Tav47Simulator>(options);
    if (!device->open())
        qFatal("no pseudo-terminal: %s", qPrintable(device->errorString()));
    return device;
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void streamsMeasurementFrames();
    void rateCodes_data();
    void rateCodes();
    void commands_data();
    void commands();
    void steadyClockCatchesUpAfterStall();
    void frameLimit();
    void noise_data();
    void noise();
    void seedGivesTheSameStream();
    void hostClosesAndReopens();
    void closedMasterLooksLikeALostDevice();
    void runsInItsOwnThread();
};

void TestSimulator::streamsMeasurementFrames()
{
    SimulatorOptions options;
    options.rateCode = 2; // 200 Hz from the start
    auto device = openDevice(options);
    Host host(device->portPath());
    QVERIFY(host.isOpen());
    QTRY_VERIFY(host.frames.size() >= 100);
    QTest::qWait(20);
    host.drain();

    // Nothing but whole 9-byte measurement frames on a clean line.
    QCOMPARE(host.bytes.size(), host.frames.size() * 9);
    QCOMPARE(host.bytes.left(4), hex("AA550104"));
    QCOMPARE(host.otherFrames, 0);
    QCOMPARE(quint64(host.frames.size()), device->framesSent());
    QCOMPARE(device->framesIntact(), device->framesSent());
    QCOMPARE(host.frames.last().distance, device->lastFrame().distance);
    QCOMPARE(host.frames.last().energy, device->lastFrame().energy);
    QCOMPARE(host.frames.last().ambient, device->lastFrame().ambient);

    // A plausible target: millimetres in range, a few of jitter, an echo that
    // weakens with distance, little ambient light.
    for (const Measurement &m : qAsConst(host.frames)) {
        QVERIFY2(m.distance >= 1450 && m.distance <= 4050, qPrintable(QString::number(m.distance)));
        const double expected = 220.0 * 1500.0 * 1500.0 / (double(m.distance) * m.distance);
        QVERIFY(qAbs(double(m.energy) - expected) < 8.0);
        QVERIFY(m.ambient < 16);
    }
    for (int i = 1; i < host.frames.size(); ++i)
        QVERIFY(qAbs(int(host.frames[i].distance) - int(host.frames[i - 1].distance)) < 25);
}

void TestSimulator::rateCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("hz");
    QTest::newRow("10 Hz") << 0 << 10;
    QTest::newRow("100 Hz") << 1 << 100;
    QTest::newRow("200 Hz") << 2 << 200;
    QTest::newRow("500 Hz") << 3 << 500;
    QTest::newRow("1000 Hz") << 4 << 1000;
    QTest::newRow("1800 Hz") << 5 << 1800;
}

void TestSimulator::rateCodes()
{
    QFETCH(int, code);
    QFETCH(int, hz);
    auto device = openDevice();
    Host host(device->portPath());
    QTRY_VERIFY(device->hostConnected());
    host.write(rateFrame(code) + StartFrame);
    QTRY_VERIFY(device->isStreaming());
    QCOMPARE(device->currentRateHz(), hz);

    QElapsedTimer clock;
    clock.start();
    const quint64 before = device->framesSent();
    QTest::qWait(700);
    const double seconds = double(clock.elapsed()) / 1000.0;
    const double expected = seconds * hz;
    const double sent = double(device->framesSent() - before);
    QVERIFY2(qAbs(sent - expected) <= 2 + expected * 0.05,
             qPrintable(QStringLiteral("%1 frames in %2 s").arg(sent).arg(seconds)));
}

void TestSimulator::commands_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("streams");
    QTest::addColumn<int>("hz");

    QTest::newRow("start alone, default rate") << StartFrame << true << 100;
    QTest::newRow("rate alone does not start") << rateFrame(4) << false << 1000;
    QTest::newRow("start then stop") << StartFrame + StopFrame << false << 100;
    QTest::newRow("unknown rate code ignored")
        << rateFrame(3) + rateFrame(6) + StartFrame << true << 500;
    QTest::newRow("bad checksum ignored") << hex("AA5564010368") + hex("AA55600000") << false << 0;
    QTest::newRow("probe not answered") << hex("AA55F000EF") << false << 0;
    QTest::newRow("split across writes, noise before")
        << hex("0011AA") + rateFrame(5) + StartFrame << true << 1800;
}

void TestSimulator::commands()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, streams);
    QFETCH(int, hz);
    auto device = openDevice();
    Host host(device->portPath());
    QTRY_VERIFY(device->hostConnected());
    for (char b : bytes) // one byte at a time: framing must not depend on the reads
        host.write(QByteArray(1, b));
    QTRY_COMPARE(device->receivedBytes(), bytes);
    QCOMPARE(device->isStreaming(), streams);
    QCOMPARE(device->currentRateHz(), hz);
    QTest::qWait(50);
    host.drain();
    QCOMPARE(host.frames.isEmpty(), !streams && device->framesSent() == 0);
    QCOMPARE(host.otherFrames, 0); // commands are obeyed, not echoed
}

void TestSimulator::steadyClockCatchesUpAfterStall()
{
    SimulatorOptions options;
    options.rateCode = 5;
    auto device = openDevice(options);
    Host host(device->portPath());
    QTRY_VERIFY(device->isStreaming() && device->framesSent() > 0);

    QElapsedTimer clock;
    clock.start();
    const quint64 before = device->framesSent();
    QTest::qWait(500);
    QThread::msleep(300); // the event loop stalls: nothing is sent meanwhile
    QTest::qWait(400);
    const double expected = double(clock.elapsed()) * 1.8;
    const double sent = double(device->framesSent() - before);
    // Frames are due on a fixed grid; the ones missed in the stall go out at
    // the next tick, so the count follows the clock to within a tick or two.
    QVERIFY2(qAbs(sent - expected) <= 20,
             qPrintable(QStringLiteral("%1 vs %2").arg(sent).arg(expected)));
    QTRY_COMPARE(quint64(host.frames.size()), device->framesSent());
}

void TestSimulator::frameLimit()
{
    SimulatorOptions options;
    options.rateCode = 5;
    options.frameLimit = 250;
    auto device = openDevice(options);
    QSignalSpy finished(device.get(), &Tav47Simulator::finished);
    Host host(device->portPath());
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(device->framesSent(), quint64(250));
    QVERIFY(!device->isStreaming());
    QTRY_COMPARE(host.frames.size(), 250);

    // A start command does not go beyond the limit.
    host.write(StartFrame);
    QTest::qWait(100);
    QCOMPARE(device->framesSent(), quint64(250));
    QCOMPARE(finished.count(), 1);
}

void TestSimulator::noise_data()
{
    QTest::addColumn<double>("fraction");
    QTest::newRow("a tenth") << 0.1;
    QTest::newRow("half") << 0.5;
    QTest::newRow("most") << 0.9;
}

void TestSimulator::noise()
{
    QFETCH(double, fraction);
    SimulatorOptions options;
    options.rateCode = 5;
    options.noiseFraction = fraction;
    options.frameLimit = 1500;
    options.seed = 7;
    auto device = openDevice(options);
    QSignalSpy finished(device.get(), &Tav47Simulator::finished);
    Host host(device->portPath());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QTRY_COMPARE(quint64(host.bytes.size()), device->bytesSent());

    const double measured = double(device->noiseBytes()) / double(device->bytesSent());
    QVERIFY2(qAbs(measured - fraction) < 0.005, qPrintable(QString::number(measured)));
    QCOMPARE(device->bytesSent(), device->framesSent() * 9 + device->noiseBytes());

    // The host's decoder finds every frame the device counts as intact, and
    // that is all but a rare few, even deep in noise.
    int matching = 0;
    for (const Measurement &m : qAsConst(host.frames))
        matching += m.distance >= 1400 && m.distance <= 4100;
    QVERIFY(quint64(matching) >= device->framesIntact());
    QVERIFY2(device->framesIntact() >= device->framesSent() - 3,
             qPrintable(QString::number(device->framesIntact())));
}

void TestSimulator::seedGivesTheSameStream()
{
    auto take = [](quint32 seed) {
        SimulatorOptions options;
        options.rateCode = 5;
        options.frameLimit = 200;
        options.seed = seed;
        options.noiseFraction = 0.2;
        auto device = openDevice(options);
        Host host(device->portPath());
        QSignalSpy finished(device.get(), &Tav47Simulator::finished);
        finished.wait(5000);
        QTest::qWait(20);
        host.drain();
        return host.bytes;
    };
    const QByteArray first = take(3);
    QCOMPARE(first.size(), 200 * 9 * 10 / 8);
    QCOMPARE(take(3), first);
    QVERIFY(take(4) != first);
}

void TestSimulator::hostClosesAndReopens()
{
    SimulatorOptions options;
    options.rateCode = 4;
    auto device = openDevice(options);
    // Nobody has the port open: the frames due are skipped.
    QTRY_VERIFY(device->framesSkipped() > 0);
    QCOMPARE(device->framesSent(), quint64(0));

    auto host = std::make_unique<Host>(device->portPath());
    QTRY_VERIFY(host->frames.size() > 50);
    host->write(rateFrame(1)); // half a command left behind...
    host->write(hex("AA5564"));
    QTRY_COMPARE(device->currentRateHz(), 100);
    host.reset();

    // ...and the device neither spins nor stops at the hang-up.
    QTRY_VERIFY(!device->hostConnected());
    const quint64 skipped = device->framesSkipped();
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(300);
    QVERIFY(processCpuSeconds() - cpuBefore < 0.05);
    QVERIFY(device->framesSkipped() > skipped);
    QVERIFY(device->isStreaming());

    Host again(device->portPath());
    QTRY_VERIFY(again.frames.size() > 10);
    again.write(rateFrame(0)); // the leftover AA 55 64 must not swallow this
    QTRY_COMPARE(device->currentRateHz(), 10);
}

void TestSimulator::closedMasterLooksLikeALostDevice()
{
    auto device = openDevice();
    Host host(device->portPath());
    QTRY_VERIFY(device->hostConnected());
    device->closeMaster();
    QVERIFY(!device->isOpen());
    QTRY_VERIFY(host.hungUp);
}

void TestSimulator::runsInItsOwnThread()
{
    SimulatorOptions options;
    options.rateCode = 5;
    SimulatorThread thread(options);
    QVERIFY2(thread.start(), qPrintable(thread.errorString()));
    QVERIFY(thread.portPath().startsWith(QLatin1String("/dev/")));
    Host host(thread.portPath());
    QTRY_VERIFY(host.frames.size() > 900);
    host.write(StopFrame);
    QTRY_VERIFY(!thread.simulator()->isStreaming());
    QTRY_COMPARE(quint64(host.frames.size()), thread.simulator()->framesSent());
    QCOMPARE(host.frames.last().distance, thread.simulator()->lastFrame().distance);

    thread.closeMaster();
    QTRY_VERIFY(host.hungUp);
    thread.stop();
    QVERIFY(thread.simulator()->framesSent() > 900);
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"

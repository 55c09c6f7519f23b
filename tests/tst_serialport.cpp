// The serial link end to end: the main window drives a real QSerialPort on a
// pseudo-terminal whose far end is the in-process device simulator.

#include "chart.h"
#include "commandtable.h"
#include "guitest.h"
#include "lidarframe.h"
#include "measurement.h"
#include "simulator.h"
#include "simulatorthread.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

using namespace guitest;

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openWritesStopFrameFirstAndLocksControls();
    void startSequence_data();
    void startSequence();
    void stopWritesExactlyTheStopFrame();
    void closeWritesNothing();
    void receivedCountCountsEveryByte();
    void energyDeviationLeavesOutTheNewestFrame();
    void lostDeviceGivesOneCriticalBox_data();
    void lostDeviceGivesOneCriticalBox();
    void failedOpen_data();
    void failedOpen();
    void scanWithPortClosed_data();
    void scanWithPortClosed();
    void clicksDuringStart_data();
    void clicksDuringStart();
    void streamAt1800HzLosesNothing();
    void findBaudRate_data();
    void findBaudRate();

private:
    // One window at a time: the old one lets go of the port and of config.ini
    // before the new one takes them.
    void makeWindow(const QStringList &ports)
    {
        m_window.reset();
        m_window = guitest::makeWindow(ports);
    }
    template<typename T>
    T *widget(const char *name) const
    {
        return child<T>(m_window.get(), QLatin1String(name));
    }
    QString status() const { return widget<QLineEdit>("statusLineEdit")->text(); }
    void click(const char *button) { widget<QPushButton>(button)->click(); }
    void openPort();
    // What the device has taken from the host once it has n bytes (none: after
    // a while), with a little longer to see that nothing more follows.
    QByteArray receivedAfter(int n, const Tav47Simulator *device = nullptr);

    std::unique_ptr<Tav47Simulator> m_device;
    std::unique_ptr<MainWindow> m_window;
};

void TestSerialPort::init()
{
    removeConfig();
    m_device = std::make_unique<Tav47Simulator>();
    QVERIFY2(m_device->open(), qPrintable(m_device->errorString()));
    makeWindow({ m_device->portPath() });
}

void TestSerialPort::cleanup()
{
    m_window.reset(); // the port first, so the device never vanishes under it
    m_device.reset();
    removeConfig();
}

void TestSerialPort::openPort()
{
    click("openBtn");
    QCOMPARE(widget<QPushButton>("openBtn")->text(), QStringLiteral("close"));
    QTRY_COMPARE(m_device->receivedBytes().size(), 5);
    m_device->clearReceived();
}

QByteArray TestSerialPort::receivedAfter(int n, const Tav47Simulator *device)
{
    if (!device)
        device = m_device.get();
    QElapsedTimer clock;
    clock.start();
    while (device->receivedBytes().size() < n && clock.elapsed() < 3000)
        QTest::qWait(5);
    QTest::qWait(n > 0 ? 150 : 300);
    return device->receivedBytes();
}

void TestSerialPort::openWritesStopFrameFirstAndLocksControls()
{
    click("openBtn");

    QCOMPARE(receivedAfter(5), hex("AA55610060"));
    QVERIFY(!widget<QPushButton>("detectBtn")->isEnabled());
    QVERIFY(!widget<QComboBox>("baudRateCombo")->isEnabled());
    QVERIFY(!widget<QComboBox>("portnameCombo")->isEnabled());
    QCOMPARE(widget<QPushButton>("openBtn")->text(), QStringLiteral("close"));
    QCOMPARE(status(), QStringLiteral("打开 %1 : 460800").arg(m_device->portPath()));
    QCOMPARE(widget<QLabel>("RcvCnt")->text(), QStringLiteral("0"));
}

void TestSerialPort::startSequence_data()
{
    QTest::addColumn<int>("rateIndex");
    QTest::addColumn<QByteArray>("rateFrame");
    QTest::addColumn<bool>("checkCpu");
    // Above 0: the device streams at 1800 Hz from the first, on a thread of its
    // own, each read of the window takes that much longer, and Start comes at
    // once after Open, with the stop frame still queued. A busy window lets
    // queued bytes leave late: the gaps must be kept from when they left.
    QTest::addColumn<int>("busyMs");

    // At 10 Hz the process is all but idle, so the waits alone are measured.
    QTest::newRow("10 Hz") << 0 << hex("AA5564010064") << true << 0;
    QTest::newRow("1800 Hz") << 5 << hex("AA5564010569") << false << 0;
    QTest::newRow("1800 Hz, busy, at Open") << 5 << hex("AA5564010569") << false << 50;
}

void TestSerialPort::startSequence()
{
    QFETCH(int, rateIndex);
    QFETCH(QByteArray, rateFrame);
    QFETCH(bool, checkCpu);
    QFETCH(int, busyMs);

    SimulatorOptions streaming;
    streaming.rateCode = 5;
    SimulatorThread remote(streaming);
    QFile holder;
    const Tav47Simulator *device = m_device.get();
    QByteArray sent = rateFrame + hex("AA5560005F AA5560005F");
    if (busyMs > 0) {
        QVERIFY2(remote.start(), qPrintable(remote.errorString()));
        // Held open, so the device reads from the first byte the window sends
        // rather than from when it next looks for a host.
        holder.setFileName(remote.portPath());
        QVERIFY(holder.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        QTRY_VERIFY(remote.simulator()->hostConnected());
        makeWindow({ remote.portPath() });
        device = remote.simulator();
        connect(m_window->findChild<QSerialPort *>(), &QSerialPort::readyRead,
                [busyMs] { QThread::msleep(ulong(busyMs)); });
        sent.prepend(hex("AA55610060"));
        click("openBtn");
    } else {
        openPort();
    }
    widget<QComboBox>("LidarModeCombo")->setCurrentIndex(rateIndex);

    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = processCpuSeconds();
    click("Lidar_StartBtn");
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("开启扫描"), 5000);
    const double cpu = processCpuSeconds() - cpuBefore;
    const qint64 wallMs = wall.elapsed();
    QCOMPARE(receivedAfter(sent.size(), device).left(sent.size()), sent);

    const auto commands = device->receivedCommands();
    QCOMPARE(commands.size(), busyMs > 0 ? 4 : 3);
    // Measured on arrival at the device, whose reads may lag each by a
    // fraction of a millisecond.
    for (int i = 1; i < commands.size(); ++i)
        QVERIFY2(commands[i].atNs - commands[i - 1].atNs >= 399 * 1000000,
                 qPrintable(QStringLiteral("%1 ns before command %2")
                                .arg(commands[i].atNs - commands[i - 1].atNs)
                                .arg(i)));
    QVERIFY(wallMs >= 800);
    QCOMPARE(device->currentRateHz(), Tav47Simulator::rateHz(rateIndex));
    QVERIFY(device->isStreaming());
    // Waiting must not spin: well under a tenth of the wall time.
    if (checkCpu)
        QVERIFY2(cpu < 0.05 * double(wallMs) / 1000.0,
                 qPrintable(QStringLiteral("%1 s of CPU in %2 ms").arg(cpu).arg(wallMs)));
    m_window.reset(); // before its device goes
}

void TestSerialPort::stopWritesExactlyTheStopFrame()
{
    openPort();
    click("Lidar_StopBtn");
    QCOMPARE(status(), QStringLiteral("停止扫描"));
    QCOMPARE(receivedAfter(5), hex("AA55610060"));
}

void TestSerialPort::closeWritesNothing()
{
    openPort();
    click("openBtn");

    QCOMPARE(receivedAfter(0), QByteArray());
    QCOMPARE(status(), QStringLiteral("串口关闭"));
    QCOMPARE(widget<QPushButton>("openBtn")->text(), QStringLiteral("open"));
    QVERIFY(widget<QPushButton>("detectBtn")->isEnabled());
    QVERIFY(widget<QComboBox>("baudRateCombo")->isEnabled());
    QVERIFY(widget<QComboBox>("portnameCombo")->isEnabled());

    // And the next click opens again.
    click("openBtn");
    QCOMPARE(receivedAfter(5), hex("AA55610060"));
}

void TestSerialPort::receivedCountCountsEveryByte()
{
    openPort();
    auto *count = widget<QLabel>("RcvCnt");
    // Noise, a frame with a bad checksum, a good frame split by nothing.
    const QByteArray good = hex("AA550104341280"
                                "07D1");
    QByteArray bytes = hex("00FF13AA")
        + hex("AA550104341280"
              "0700")
        + good;
    m_device->injectBytes(bytes);
    QTRY_COMPARE(count->text(), QString::number(bytes.size()));
    QCOMPARE(m_window->receivedByteCount(), quint64(bytes.size()));
    QCOMPARE(m_window->decodedFrameCount(), quint64(1));
    QCOMPARE(m_window->currentMeasurement().distance, 4660u);

    // Bytes sent while the port is closed may still sit in the terminal's
    // buffer at the next open, so none are sent here.
    click("openBtn"); // close
    click("openBtn");
    QCOMPARE(count->text(), QStringLiteral("0"));
    QTRY_COMPARE(m_device->receivedBytes().size(), 5);
    m_device->injectBytes(hex("AA55"));
    QTRY_COMPARE(count->text(), QStringLiteral("2"));
    QCOMPARE(m_window->receivedByteCount(), quint64(2));
}

void TestSerialPort::energyDeviationLeavesOutTheNewestFrame()
{
    QVERIFY(showExposed(m_window.get()));
    openPort();
    // Twenty equal energies, then an outlier: the deviation is taken as the
    // outlier's distance arrives, before its energy joins the history.
    QByteArray frames;
    for (int i = 0; i < 20; ++i)
        frames += LidarFrame::build(LidarFrame::Command::Measurement, hex("e8030500"));
    frames += LidarFrame::build(LidarFrame::Command::Measurement, hex("e803c800"));
    m_device->injectBytes(frames);
    // val2 and val6 are written by the same repaint.
    QTRY_COMPARE(widget<QLineEdit>("val2")->text(), QStringLiteral("200"));
    QCOMPARE(m_window->decodedFrameCount(), quint64(21));
    QCOMPARE(widget<QLineEdit>("val6")->text(), QStringLiteral("0"));
}

void TestSerialPort::lostDeviceGivesOneCriticalBox_data()
{
    QTest::addColumn<bool>("deviceThread");
    QTest::addColumn<int>("error");

    // After the hang-up the port reads end of file and names it after the
    // errno its thread last left: with the device in the same thread that is
    // a resource error, after which the port stops reading; with the device
    // in a thread of its own it is a read error, repeated at every poll for
    // as long as the port stays open.
    QTest::newRow("resource error") << false << int(QSerialPort::ResourceError);
    QTest::newRow("read error") << true << int(QSerialPort::ReadError);
}

void TestSerialPort::lostDeviceGivesOneCriticalBox()
{
    QFETCH(bool, deviceThread);
    QFETCH(int, error);
    SimulatorThread remote;
    if (deviceThread) {
        QVERIFY2(remote.start(), qPrintable(remote.errorString()));
        makeWindow({ remote.portPath() });
    }
    const Tav47Simulator *device = deviceThread ? remote.simulator() : m_device.get();
    click("openBtn");
    QTRY_COMPARE(device->receivedBytes().size(), 5);

    auto *port = child<QSerialPort>(m_window.get());
    qRegisterMetaType<QSerialPort::SerialPortError>();
    QSignalSpy errors(port, &QSerialPort::errorOccurred);
    BoxCloser boxes;
    bool openUnderBox = true;
    boxes.whileUp = [&] {
        openUnderBox = port->isOpen();
    };
    if (deviceThread)
        remote.closeMaster();
    else
        m_device->closeMaster();
    QTRY_COMPARE(boxes.titles.size(), 1);
    QTest::qWait(300);
    QCOMPARE(boxes.titles, QStringList { QStringLiteral("Critical Error") });
    QVERIFY2(boxes.texts.first().startsWith(device->portPath() + QStringLiteral(" 已断开")),
             qPrintable(boxes.texts.first()));
    QVERIFY(!openUnderBox);
    QVERIFY(!errors.isEmpty());
    QCOMPARE(errors.first().first().value<QSerialPort::SerialPortError>(),
             QSerialPort::SerialPortError(error));
    QCOMPARE(status(), QStringLiteral("串口关闭"));
    QCOMPARE(widget<QPushButton>("openBtn")->text(), QStringLiteral("open"));
    QVERIFY(widget<QPushButton>("detectBtn")->isEnabled());
    QVERIFY(widget<QComboBox>("portnameCombo")->isEnabled());
    QVERIFY(widget<QComboBox>("baudRateCombo")->isEnabled());

    // The closed port no longer reports errors: the process is idle.
    const int errorsBefore = errors.count();
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(500);
    const double cpu = processCpuSeconds() - cpuBefore;
    QVERIFY2(cpu < 0.1 * double(wall.elapsed()) / 1000.0, qPrintable(QString::number(cpu)));
    QCOMPARE(errors.count(), errorsBefore);
    QCOMPARE(boxes.titles.size(), 1);
}

enum PortChoice { SimulatedPort, MissingPort, NoPort };

void TestSerialPort::failedOpen_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("reason"); // the port's own words, where they are known

    QTest::newRow("path that does not exist")
        << int(MissingPort) << QStringLiteral("460800") << QStringLiteral("No such file");
    QTest::newRow("customer baud rate")
        << int(SimulatedPort) << QStringLiteral("customer") << QStringLiteral("baud rate");
    QTest::newRow("no port listed") << int(NoPort) << QStringLiteral("460800") << QString();
}

void TestSerialPort::failedOpen()
{
    QFETCH(int, port);
    QFETCH(QString, baud);
    QFETCH(QString, reason);
    if (port == MissingPort)
        makeWindow({ m_device->portPath() + QStringLiteral("-missing") });
    else if (port == NoPort)
        makeWindow({});
    auto *baudCombo = widget<QComboBox>("baudRateCombo");
    baudCombo->setCurrentIndex(baudCombo->findText(baud));
    QCOMPARE(baudCombo->currentText(), baud);

    BoxCloser boxes;
    click("openBtn");
    QCOMPARE(boxes.titles, QStringList { QStringLiteral("Error") });
    QVERIFY(!boxes.texts.first().isEmpty());
    QVERIFY2(boxes.texts.first().contains(reason), qPrintable(boxes.texts.first()));
    QCOMPARE(status(), QStringLiteral("串口打开失败"));
    QCOMPARE(widget<QPushButton>("openBtn")->text(), QStringLiteral("Open"));
    QVERIFY(widget<QPushButton>("detectBtn")->isEnabled());
    QVERIFY(baudCombo->isEnabled());
    QCOMPARE(receivedAfter(0), QByteArray());

    // The next click tries to open again.
    click("openBtn");
    QCOMPARE(boxes.titles.size(), 2);
}

void TestSerialPort::scanWithPortClosed_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("openedBefore");

    QTest::newRow("start, never opened") << QByteArray("Lidar_StartBtn") << false;
    QTest::newRow("stop, never opened") << QByteArray("Lidar_StopBtn") << false;
    QTest::newRow("start after close") << QByteArray("Lidar_StartBtn") << true;
    QTest::newRow("stop after close") << QByteArray("Lidar_StopBtn") << true;
}

void TestSerialPort::scanWithPortClosed()
{
    QFETCH(QByteArray, button);
    QFETCH(bool, openedBefore);
    if (openedBefore) {
        openPort();
        click("openBtn");
    }

    QElapsedTimer clock;
    clock.start();
    click(button.constData());
    QVERIFY2(clock.elapsed() < 100, "a start with nothing to send must not wait");
    QCOMPARE(status(), QStringLiteral("串口未打开"));
    QCOMPARE(receivedAfter(0), QByteArray());
}

void TestSerialPort::clicksDuringStart_data()
{
    // Each action comes 100 ms after the one before, the first 100 ms after
    // the rate frame of a Start at 10 Hz: "start N" picks rate N and clicks
    // Start again. No frame of a start follows another within 400 ms.
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("finalStatus"); // none once the window is gone
    QTest::addColumn<int>("finalRateHz"); // 0: not streaming

    const QByteArray rate10 = hex("AA5564010064"), rate1800 = hex("AA5564010569");
    const QByteArray start = hex("AA5560005F"), stop = hex("AA55610060");
    QTest::newRow("port closed") << QStringList { "openBtn" } << rate10
                                 << QStringLiteral("串口未打开") << 0;
    QTest::newRow("stop") << QStringList { "Lidar_StopBtn" } << rate10 + stop
                          << QStringLiteral("停止扫描") << 0;
    QTest::newRow("start, start again at 1800 Hz")
        << QStringList { "start 0", "start 5" } << rate10 + rate1800 + start + start
        << QStringLiteral("开启扫描") << 1800;
    QTest::newRow("window closed") << QStringList { "close" } << rate10 << QString() << 0;
}

void TestSerialPort::clicksDuringStart()
{
    QFETCH(QStringList, actions);
    QFETCH(QByteArray, sent);
    QFETCH(QString, finalStatus);
    QFETCH(int, finalRateHz);

    openPort();
    auto *rate = widget<QComboBox>("LidarModeCombo");
    rate->setCurrentIndex(0);
    const double cpuBefore = processCpuSeconds();
    const qint64 rssBefore = residentBytes();
    QElapsedTimer wall;
    wall.start();

    click("Lidar_StartBtn");
    // The rate frame, 400 ms after the stop frame sent at Open.
    QTRY_COMPARE(m_device->receivedBytes().size(), 6);
    for (const QString &action : actions) {
        QTest::qWait(100);
        if (action == QLatin1String("close")) {
            m_window->close();
        } else if (action.startsWith(QLatin1String("start "))) {
            rate->setCurrentIndex(action.mid(6).toInt());
            click("Lidar_StartBtn");
        } else {
            click(action.toLatin1().constData());
        }
    }
    // Long enough for any frame a sequence still had to send.
    QTest::qWait(1000);
    QCOMPARE(receivedAfter(sent.size()), sent);
    if (!finalStatus.isEmpty())
        QCOMPARE(status(), finalStatus);
    QCOMPARE(m_device->isStreaming() ? m_device->currentRateHz() : 0, finalRateHz);

    // The waits must not spin, nor pile up anything.
    const double cpu = processCpuSeconds() - cpuBefore;
    QVERIFY2(cpu < 0.1 * double(wall.elapsed()) / 1000.0,
             qPrintable(QStringLiteral("%1 s of CPU in %2 ms").arg(cpu).arg(wall.elapsed())));
    QVERIFY(residentBytes() - rssBefore < 20 * 1024 * 1024);
}

void TestSerialPort::streamAt1800HzLosesNothing()
{
    QVERIFY(showExposed(m_window.get())); // so that ticks repaint only what changed
    openPort();
    widget<QComboBox>("LidarModeCombo")->setCurrentIndex(5);
    click("Lidar_StartBtn");
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("开启扫描"), 3000);

    // The rate box moved with no Start clicked: the span keeps the device's rate.
    widget<QComboBox>("LidarModeCombo")->setCurrentIndex(0);
    // Over two seconds of streaming the window keeps pace with the device.
    const quint64 framesBefore = m_window->decodedFrameCount();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(2000);
    const double rate
        = double(m_window->decodedFrameCount() - framesBefore) * 1000.0 / double(clock.elapsed());
    QVERIFY2(rate > 1800 * 0.9 && rate < 1800 * 1.1, qPrintable(QString::number(rate)));
    const ChartLook &look = widget<Chart>("chart")->look();
    QVERIFY2(qAbs(look.rateHz - 1800) < 180 && look.rateMeasured,
             qPrintable(QString::number(look.rateHz)));

    click("Lidar_StopBtn");
    QTRY_VERIFY(!m_device->isStreaming());
    QTRY_COMPARE(m_window->receivedByteCount(), m_device->bytesSent());
    QVERIFY(m_device->framesSent() > 3000);
    QCOMPARE(m_device->framesSkipped(), quint64(0));
    QCOMPARE(m_window->decodedFrameCount(), m_device->framesSent());

    const Measurement sent = m_device->lastFrame();
    const Measurement &shown = m_window->currentMeasurement();
    QCOMPARE(shown.distance, sent.distance);
    QCOMPARE(shown.energy, sent.energy);
    QCOMPARE(shown.ambient, sent.ambient);
    QCOMPARE(shown.temperature, 0u);

    auto *chart = widget<Chart>("chart");
    QCOMPARE(chart->model().series[ChannelModel::Distance].size(), ChannelSeries::Capacity);
    QCOMPARE(chart->model().series[ChannelModel::Distance].last(), float(sent.distance));
    QCOMPARE(chart->model().series[ChannelModel::Energy].last(), float(sent.energy));
    QCOMPARE(chart->model().series[ChannelModel::Temperature].last(), 0.0f);
    QCOMPARE(chart->model().series[ChannelModel::Ambient].last(), float(sent.ambient));

    // After thousands of frames and tens of ticks, each repainting only what
    // changed, the window shows what it draws from scratch.
    QTRY_VERIFY(chart->isUpToDate());
    auto onScreen = [this] {
        QCoreApplication::processEvents();
        return m_window->screen()->grabWindow(m_window->winId()).toImage();
    };
    const QImage ticked = onScreen();
    m_window->repaint();
    QCOMPARE(onScreen(), ticked);
}

void TestSerialPort::findBaudRate_data()
{
    QTest::addColumn<int>("deviceBaud");
    QTest::addColumn<bool>("streaming");
    QTest::addColumn<QString>("toolBaud");
    QTest::addColumn<int>("closeAfterMs"); // -1: open to the end; 0: never opened
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("baudAfter");

    // The window's own rates: the device at each, the window at its first.
    const QStringList rates = { "230400", "2000000", "1500000", "9600",  "19200",
                                "38400",  "115200",  "921600",  "460800" };
    for (const QString &rate : rates)
        QTest::addRow("device at %s", qPrintable(rate))
            << rate.toInt() << true << "460800" << -1
            << QStringLiteral("Baud rate %1 decodes").arg(rate) << rate;
    QTest::newRow("silent line") << 460800 << false << "115200" << -1
                                 << "No baud rate decoded a frame"
                                 << "115200";
    QTest::newRow("closed during the search")
        << 460800 << true << "115200" << 500 << QStringLiteral("串口关闭") << "115200";
    QTest::newRow("closed port") << 460800 << true << "115200" << 0
                                 << "Find Baud Rate: open the port first"
                                 << "115200";
}

void TestSerialPort::findBaudRate()
{
    QFETCH(int, deviceBaud);
    QFETCH(bool, streaming);
    QFETCH(QString, toolBaud);
    QFETCH(int, closeAfterMs);
    QFETCH(QString, said);
    QFETCH(QString, baudAfter);

    m_window.reset();
    SimulatorOptions options;
    options.rateCode = streaming ? 3 : -1; // 500 Hz
    options.baud = deviceBaud;
    m_device = std::make_unique<Tav47Simulator>(options);
    QVERIFY2(m_device->open(), qPrintable(m_device->errorString()));
    makeWindow({ m_device->portPath() });
    QVERIFY(showExposed(m_window.get()));
    auto *baud = widget<QComboBox>("baudRateCombo");
    baud->setCurrentIndex(baud->findText(toolBaud));
    Chart *chart = widget<Chart>("chart");
    QAction *find = windowAction(*m_window, "actionFindBaudRate");
    QVERIFY(chart->actions().contains(find));

    if (closeAfterMs != 0) {
        click("openBtn");
        QTRY_COMPARE(m_device->receivedBytes().size(), 5); // the stop frame of Open
    }
    // Understood, the stop sent at Open stopped the device: start it again.
    if (streaming && closeAfterMs != 0 && toolBaud.toInt() == deviceBaud) {
        QTRY_VERIFY(!m_device->isStreaming());
        click("Lidar_StartBtn");
        find->trigger(); // the start still sending: refused
        QVERIFY2(status().startsWith("Find Baud Rate: a command is still being sent"),
                 qPrintable(status()));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("开启扫描"), 5000);
    }
    // Bytes and no frame: the chart's corner says so, until frames come.
    const bool wrongBaud = streaming && closeAfterMs != 0 && toolBaud.toInt() != deviceBaud;
    if (wrongBaud)
        QTRY_VERIFY_WITH_TIMEOUT(chart->look().linkWarning.contains("baud rate?"), 5000);

    // Frames heard during the search stay out of the chart: the count the
    // search started with is the count when it ends.
    quint64 framesAtEnd = 0;
    connect(find, &QAction::changed, this, [&] {
        if (find->isEnabled())
            framesAtEnd = m_window->decodedFrameCount();
    });
    const quint64 framesAtStart = m_window->decodedFrameCount();
    QElapsedTimer clock;
    clock.start();
    find->trigger();
    m_device->clearReceived();
    if (closeAfterMs != 0) {
        // Nothing goes out at a rate being tried.
        click("Lidar_StartBtn");
        QVERIFY2(status().startsWith("Finding the baud rate: nothing is sent"),
                 qPrintable(status()));
    }
    if (closeAfterMs > 0) {
        QVERIFY(!find->isEnabled());
        QTest::qWait(closeAfterMs);
        click("openBtn");
    }
    QTRY_VERIFY_WITH_TIMEOUT(find->isEnabled(), 10000);
    QVERIFY2(status().startsWith(said), qPrintable(status()));
    qInfo("%s: %lld ms, %s", QTest::currentDataTag(), clock.elapsed(), qPrintable(status()));
    QCOMPARE(baud->currentText(), baudAfter);
    if (closeAfterMs == 0)
        return;
    QCOMPARE(framesAtEnd, framesAtStart);
    QCOMPARE(m_device->receivedBytes(), QByteArray());
    if (closeAfterMs > 0 || !said.startsWith("Baud rate"))
        return;
    // The port reads at the rate found, and the warning has gone.
    QTRY_VERIFY(m_window->decodedFrameCount() > framesAtEnd + 100);
    QTRY_VERIFY(chart->look().linkWarning.isEmpty());
}

QTEST_MAIN(TestSerialPort)
#include "tst_serialport.moc"

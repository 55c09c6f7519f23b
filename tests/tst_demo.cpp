// tav47-demo for unattended runs: its options, the figures it reports, and
// the program run end to end as the bench scripts run it.

#include "demooptions.h"
#include "runstats.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace testsupport;

namespace {

using Fields = QMap<QString, QString>;

// The key=value pairs of a summary line.
Fields fieldsOf(const QString &line)
{
    Fields fields;
    const QStringList pairs = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &pair : pairs) {
        const int eq = pair.indexOf(QLatin1Char('='));
        if (eq > 0)
            fields.insert(pair.left(eq), pair.mid(eq + 1));
    }
    return fields;
}

struct DemoRun
{
    int exitCode = -1;
    QStringList lines; // standard output
    QString errors;
    Fields last() const { return lines.isEmpty() ? Fields() : fieldsOf(lines.last()); }
};

void startDemo(QProcess &demo, const QStringList &arguments)
{
    startOffscreen(demo, QStringLiteral(TAV47_DEMO_PATH), arguments);
}

DemoRun finishDemo(QProcess &demo, int timeoutMs = 30000)
{
    const ProgramRun finished = finishProgram(demo, timeoutMs);
    DemoRun run;
    run.exitCode = finished.exitCode;
    run.lines = QString::fromLocal8Bit(finished.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.errors = QString::fromLocal8Bit(finished.err);
    return run;
}

DemoRun runDemo(const QStringList &arguments)
{
    QProcess demo;
    startDemo(demo, arguments);
    return finishDemo(demo);
}

// tav47-sim as a process of its own, as the bench scripts run it.
class SimulatorProcess
{
public:
    SimulatorProcess()
    {
        m_process.start(QStringLiteral(TAV47_SIM_PATH), { QStringLiteral("--stats") });
        if (m_process.waitForReadyRead(10000))
            port = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~SimulatorProcess() { stop(); }

    // Ends it as the scripts do, and returns its counters ("frames sent" ...).
    QMap<QString, quint64> stop()
    {
        QMap<QString, quint64> counters;
        if (m_process.state() == QProcess::NotRunning)
            return counters;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
        const QStringList lines
            = QString::fromLocal8Bit(m_process.readAllStandardError()).split('\n');
        for (const QString &line : lines) {
            const int colon = line.indexOf(QLatin1Char(':'));
            if (colon > 0)
                counters.insert(line.left(colon), line.mid(colon + 1).trimmed().toULongLong());
        }
        return counters;
    }

    QString port;

private:
    QProcess m_process;
};

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void refusedOptions_data();
    void refusedOptions();
    void repaintGaps_data();
    void repaintGaps();
    void summaryLine();
    void helpWithoutDisplay_data();
    void helpWithoutDisplay();

    void quitsOnTimeWithSummary();
    void scriptedScanDecodesEveryFrameSent();
    void portThatCannotOpenFails();
    void outsidePortDecodesEveryFrameSent();
    void lostDeviceFailsTheRun();
};

void TestDemo::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("open");
    QTest::addColumn<int>("startHz");
    QTest::addColumn<double>("quitAfter");
    QTest::addColumn<QString>("screenshot");
    QTest::addColumn<double>("statsEvery");

    QTest::newRow("none: an interactive demo")
        << QStringList() << QString() << false << 0 << -1.0 << QString() << 0.0;
    QTest::newRow("outside port, open only")
        << QStringList { "--port", "/dev/pts/7", "--open" } << "/dev/pts/7" << true << 0 << -1.0
        << QString() << 0.0;
    QTest::newRow("relative port, from the current folder")
        << QStringList { "--port", "pt/link" } << QDir::current().absoluteFilePath("pt/link")
        << false << 0 << -1.0 << QString() << 0.0;
    QTest::newRow("start opens the port too") << QStringList { "--start", "1800" } << QString()
                                              << true << 1800 << -1.0 << QString() << 0.0;
    QTest::newRow("fractional seconds")
        << QStringList { "--quit-after", "0.25", "--stats-every", "0.5" } << QString() << false << 0
        << 0.25 << QString() << 0.5;
    QTest::newRow("quit at once") << QStringList { "--quit-after", "0" } << QString() << false << 0
                                  << 0.0 << QString() << 0.0;
    QTest::newRow("screenshot with a quit time")
        << QStringList { "--start", "100", "--quit-after", "5", "--screenshot", "a b.png" }
        << QString() << true << 100 << 5.0 << "a b.png" << 0.0;
}

void TestDemo::options()
{
    QFETCH(QStringList, arguments);
    arguments.prepend(QStringLiteral("tav47-demo"));
    DemoOptions options;
    QString error;
    QCOMPARE(DemoOptions::parse(arguments, &options, &error), DemoOptions::Run);
    QFETCH(QString, port);
    QFETCH(bool, open);
    QFETCH(int, startHz);
    QFETCH(double, quitAfter);
    QFETCH(QString, screenshot);
    QFETCH(double, statsEvery);
    QCOMPARE(options.port, port);
    QCOMPARE(options.open, open);
    QCOMPARE(options.startHz, startHz);
    QCOMPARE(options.quitAfterSeconds, quitAfter);
    // Relative to where the demo was started, not to where the window moves it.
    QCOMPARE(options.screenshotFile,
             screenshot.isEmpty() ? screenshot : QFileInfo(screenshot).absoluteFilePath());
    QCOMPARE(options.statsEverySeconds, statsEvery);
}

void TestDemo::refusedOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("outcome");

    const int invalid = DemoOptions::Invalid;
    QTest::newRow("rate the window does not offer") << QStringList { "--start", "50" } << invalid;
    QTest::newRow("rate not a number") << QStringList { "--start", "fast" } << invalid;
    QTest::newRow("negative quit time") << QStringList { "--quit-after", "-1" } << invalid;
    QTest::newRow("quit time not a number") << QStringList { "--quit-after", "nan" } << invalid;
    QTest::newRow("endless quit time") << QStringList { "--quit-after", "inf" } << invalid;
    // Beyond what a timer's int of milliseconds holds.
    QTest::newRow("quit time past a month") << QStringList { "--quit-after", "1e10" } << invalid;
    QTest::newRow("stats every instant") << QStringList { "--stats-every", "0" } << invalid;
    QTest::newRow("empty port") << QStringList { "--port", "" } << invalid;
    QTest::newRow("screenshot never taken") << QStringList { "--screenshot", "x.png" } << invalid;
    QTest::newRow("stray argument") << QStringList { "/dev/ttyUSB0" } << invalid;
    QTest::newRow("help") << QStringList { "--help" } << int(DemoOptions::ShowHelp);
}

void TestDemo::refusedOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, outcome);
    arguments.prepend(QStringLiteral("tav47-demo"));
    DemoOptions options;
    options.startHz = 42; // untouched unless the whole command line is good
    QString error;
    QCOMPARE(int(DemoOptions::parse(arguments, &options, &error)), outcome);
    QVERIFY(!error.isEmpty());
    QCOMPARE(options.startHz, 42);
}

void TestDemo::repaintGaps_data()
{
    QTest::addColumn<QList<int>>("dataMs");
    QTest::addColumn<QList<int>>("repaintsMs");
    QTest::addColumn<int>("nowMs");
    QTest::addColumn<int>("maxGapMs");

    // Settle time 1000 ms in every row; data every 10 ms unless said.
    auto every = [](int from, int to, int step) {
        QList<int> times;
        for (int t = from; t <= to; t += step)
            times.append(t);
        return times;
    };
    QTest::newRow("streaming, a repaint every 100 ms")
        << every(1000, 3000, 10) << every(1000, 3000, 100) << 3000 << 90;
    QTest::newRow("slow start-up left out")
        << every(0, 1150, 10) << QList<int> { 0, 950, 1050, 1150 } << 1150 << 90;
    QTest::newRow("quiet: no data, no repaint, no gap")
        << QList<int> { 1200 } << QList<int> { 1250 } << 4000 << 50;
    QTest::newRow("data waits from its arrival")
        << QList<int> { 1000, 2000, 2050 } << QList<int> { 1100, 2100 } << 2100 << 100;
    QTest::newRow("one stall") << every(1000, 1550, 10) << QList<int> { 1000, 1100, 1450, 1550 }
                               << 1550 << 340;
    QTest::newRow("stuck at the end shows")
        << every(1000, 2000, 10) << QList<int> { 1000, 1100 } << 2000 << 890;
    QTest::newRow("still starting up") << every(0, 900, 10) << QList<int> { 0, 600 } << 900 << 0;
}

void TestDemo::repaintGaps()
{
    QFETCH(QList<int>, dataMs);
    QFETCH(QList<int>, repaintsMs);
    QFETCH(int, nowMs);
    QFETCH(int, maxGapMs);
    GapMeter gaps(1000 * 1000000LL);
    // Events in time order; a read and a repaint at the same moment: the read first.
    int d = 0;
    for (int r : qAsConst(repaintsMs)) {
        for (; d < dataMs.size() && dataMs.at(d) <= r; ++d)
            gaps.dataArrived(dataMs.at(d) * 1000000LL);
        gaps.mark(r * 1000000LL);
    }
    for (; d < dataMs.size() && dataMs.at(d) <= nowMs; ++d)
        gaps.dataArrived(dataMs.at(d) * 1000000LL);
    QCOMPARE(gaps.maxGapNs(nowMs * 1000000LL), maxGapMs * 1000000LL);
    QCOMPARE(gaps.marks(), quint64(repaintsMs.size()));
}

void TestDemo::summaryLine()
{
    RunSummary summary;
    summary.frames = std::numeric_limits<quint64>::max();
    summary.bytes = 9;
    summary.seconds = 1.5;
    summary.usage.cpuSeconds = 0.25;
    summary.usage.peakRssKib = 40000;
    summary.usage.rssKib = 39000;
    summary.maxRepaintGapMs = 101.26;
    summary.repaints = 15;
    const Fields fields = fieldsOf(summary.line());
    QCOMPARE(fields.keys(),
             QStringList({ "bytes", "cpu", "frames", "max_repaint_gap_ms", "peak_rss_kib",
                           "repaints", "rss_kib", "seconds" }));
    QCOMPARE(fields["frames"], QStringLiteral("18446744073709551615"));
    QCOMPARE(fields["seconds"], QStringLiteral("1.500"));
    QCOMPARE(fields["max_repaint_gap_ms"].toDouble(), 101.3);
    QVERIFY(!summary.line().contains(QLatin1Char('\n')));

    summary.hasSimulator = true;
    summary.simSent = 3;
    summary.simFalse = 1;
    const Fields withSimulator = fieldsOf(summary.line());
    QCOMPARE(withSimulator.size(), 11);
    QCOMPARE(withSimulator["sim_sent"], QStringLiteral("3"));
    QCOMPARE(withSimulator["sim_intact"], QStringLiteral("0"));
    QCOMPARE(withSimulator["sim_false"], QStringLiteral("1"));

    // The figures of this very process are live.
    const ProcessUsage usage = ProcessUsage::now();
    QVERIFY(usage.peakRssKib > 0);
    QVERIFY(usage.peakRssKib >= usage.rssKib);
}

void TestDemo::helpWithoutDisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("said");

    const QString demo = QStringLiteral(TAV47_DEMO_PATH), sim = QStringLiteral(TAV47_SIM_PATH);
    const QString version = QStringLiteral(" " TAV47_VERSION " (Qt %1)").arg(qVersion());
    QTest::newRow("tav47-demo") << demo << "--help"
                                << "--quit-after";
    QTest::newRow("tav47-sim") << sim << "--help"
                               << "--noise";
    QTest::newRow("tav47-demo version") << demo << "--version"
                                        << "tav47-demo" + version;
    QTest::newRow("tav47-sim version") << sim << "--version"
                                       << "tav47-sim" + version;
}

// Help and the version are for a terminal, where there may be no window
// system at all.
void TestDemo::helpWithoutDisplay()
{
    QFETCH(QString, program);
    QFETCH(QString, argument);
    QFETCH(QString, said);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        env.remove(QLatin1String(name));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, { argument });
    const DemoRun run = finishDemo(process);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY2(run.lines.join('\n').contains(said), qPrintable(run.lines.join('\n')));
}

void TestDemo::quitsOnTimeWithSummary()
{
    QElapsedTimer clock;
    clock.start();
    const DemoRun run = runDemo({ QStringLiteral("--quit-after"), QStringLiteral("2") });
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY(clock.elapsed() < 15000);
    QCOMPARE(run.lines.size(), 1);
    const Fields f = run.last();
    QCOMPARE(f["frames"], QStringLiteral("0"));
    QVERIFY(f["seconds"].toDouble() >= 2.0);
    QVERIFY(f["peak_rss_kib"].toLong() > 0);
    // With nothing received the chart is drawn when shown, and not again.
    QVERIFY2(f["repaints"].toInt() >= 1 && f["repaints"].toInt() <= 3,
             qPrintable(run.lines.last()));
}

void TestDemo::scriptedScanDecodesEveryFrameSent()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString picture = dir.filePath(QStringLiteral("window.png"));
    const DemoRun run = runDemo({ "--start", "1800", "--quit-after", "2.5", "--stats-every", "1",
                                  "--screenshot", picture });
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY2(run.lines.size() >= 3, qPrintable(run.lines.join('\n')));
    const Fields f = run.last();
    // Stopped and drained before quitting: nothing is left on the line.
    const quint64 frames = f["frames"].toULongLong();
    QVERIFY2(frames > 1800, qPrintable(run.lines.last()));
    QCOMPARE(f["sim_sent"].toULongLong(), frames);
    QCOMPARE(f["sim_intact"].toULongLong(), frames);
    QCOMPARE(f["bytes"].toULongLong(), frames * 9);

    // The periodic lines count up to the last one.
    const Fields first = fieldsOf(run.lines.first());
    QVERIFY(first["seconds"].toDouble() < f["seconds"].toDouble());
    QVERIFY(first["frames"].toULongLong() <= frames);

    const QImage image(picture);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() > 300 && image.height() > 200);
}

void TestDemo::portThatCannotOpenFails()
{
    // The open error box would wait for a click; the quit time ends it.
    const DemoRun run
        = runDemo({ "--port", "/nonexistent/tty", "--start", "100", "--quit-after", "1" });
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.errors.contains(QStringLiteral("cannot open /nonexistent/tty")),
             qPrintable(run.errors));
    QCOMPARE(run.lines.size(), 1);
    QCOMPARE(run.last()["bytes"], QStringLiteral("0"));

    const DemoRun refused = runDemo({ "--start", "42" });
    QCOMPARE(refused.exitCode, 2);
    QVERIFY(refused.lines.isEmpty());
}

void TestDemo::outsidePortDecodesEveryFrameSent()
{
    SimulatorProcess device;
    QVERIFY(device.port.startsWith(QLatin1Char('/')));
    const DemoRun run = runDemo({ "--port", device.port, "--start", "1800", "--quit-after", "2" });
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const Fields f = run.last();
    QVERIFY(!f.contains(QStringLiteral("sim_sent"))); // no simulator of its own
    const auto counters = device.stop();
    QVERIFY(counters.value("frames sent") > 1000);
    QCOMPARE(f["frames"].toULongLong(), counters.value("frames sent"));
    QCOMPARE(f["bytes"].toULongLong(), counters.value("bytes sent"));
}

void TestDemo::lostDeviceFailsTheRun()
{
    SimulatorProcess device;
    QVERIFY(!device.port.isEmpty());
    QProcess demo;
    startDemo(demo, { "--port", device.port, "--start", "100", "--quit-after", "3" });
    QTest::qWait(2000); // scanning by now
    device.stop();
    // The lost device's error box waits for a click; the quit time ends it.
    const DemoRun run = finishDemo(demo);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.errors.contains(QStringLiteral("the port closed during the run")),
             qPrintable(run.errors));
    QVERIFY(run.last()["frames"].toInt() > 50);
}

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo.moc"

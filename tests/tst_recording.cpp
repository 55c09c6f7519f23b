// Recording, freezing and clearing while frames flow: the main window on a
// real pseudo-terminal with the device simulator at its far end, and tav47
// and tav47-demo started with their recording options.

#include "guitest.h"
#include "lidarframe.h"
#include "simulator.h"

#include <QComboBox>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace guitest;

namespace {

const QByteArray Header = "host_time,elapsed_s,distance_mm,energy,ambient";

QByteArray measurementFrame(int distance, int energy, int ambient)
{
    QByteArray payload(4, 0);
    payload[0] = char(distance & 0xFF);
    payload[1] = char(distance >> 8);
    payload[2] = char(energy);
    payload[3] = char(ambient);
    return LidarFrame::build(LidarFrame::Command::Measurement, payload);
}

// Frame i of a run: values that change from frame to frame in every column.
QByteArray frame(int i)
{
    return measurementFrame(1000 + 7 * i, i % 256, (3 * i) % 256);
}

QString values(int i)
{
    return QStringLiteral("%1,%2,%3").arg(1000 + 7 * i).arg(i % 256).arg((3 * i) % 256);
}

struct Row
{
    QString hostTime;
    double elapsed;
    QString values;
};

// The rows of a recording, after checking its header and that every line is
// whole and well formed.
QList<Row> rowsOf(const QByteArray &content)
{
    QList<Row> rows;
    if (!content.startsWith(Header + '\n') || !content.endsWith('\n')) {
        qWarning("not a whole recording: %s", content.left(200).constData());
        return rows;
    }
    const QRegularExpression shape(
        QStringLiteral(R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z),(\d+\.\d{6}),(\d+,\d+,\d+)$)"));
    const QList<QByteArray> lines = content.trimmed().split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const auto match = shape.match(QString::fromLatin1(lines.at(i)));
        if (!match.hasMatch()) {
            qWarning("malformed row: %s", lines.at(i).constData());
            return {};
        }
        rows.append({ match.captured(1), match.captured(2).toDouble(), match.captured(3) });
    }
    return rows;
}

QList<Row> recordedRows(const QString &path)
{
    return rowsOf(fileContent(path));
}

QStringList valuesOf(const QList<Row> &rows)
{
    QStringList list;
    for (const Row &r : rows)
        list.append(r.values);
    return list;
}

QStringList expectedValues(int first, int count)
{
    QStringList list;
    for (int i = first; i < first + count; ++i)
        list.append(values(i));
    return list;
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recordsEveryDecodedFrame_data();
    void recordsEveryDecodedFrame();
    void recordingGoesOn_data();
    void recordingGoesOn();
    void failedWriteStopsOnce_data();
    void failedWriteStopsOnce();
    void freezeHoldsWhileFramesFlow();
    void clearRestartsTheStatistics();
    void commandLine_data();
    void commandLine();
    void recordFromStartUp_data();
    void recordFromStartUp();
    void brokenPipeIsNoSignal_data();
    void brokenPipeIsNoSignal();

private:
    void openPort();
    void record();
    // Sends bytes and waits until the window has read them all.
    void send(const QByteArray &bytes);
    template<typename T>
    T *widget(const char *name) const
    {
        T *w = window->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Tav47Simulator> device;
    std::unique_ptr<MainWindow> window;
    QStringList ports; // what Refresh finds
    QString file; // the recording
    quint64 sentToWindow = 0; // since the port was last opened
};

void TestRecording::init()
{
    removeConfig();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    file = dir->filePath(QStringLiteral("run.csv"));
    device = std::make_unique<Tav47Simulator>();
    QVERIFY2(device->open(), qPrintable(device->errorString()));
    ports = QStringList { device->portPath() };
    window = std::make_unique<MainWindow>([this] { return ports; });
    window->setSaveFileDialog(
        [this](QWidget *, const QString &, const QString &, const QString &) { return file; });
}

void TestRecording::cleanup()
{
    window.reset(); // the port first, so the device never vanishes under it
    device.reset();
    removeConfig();
}

void TestRecording::openPort()
{
    widget<QPushButton>("openBtn")->click();
    QCOMPARE(widget<QPushButton>("openBtn")->text(), QStringLiteral("close"));
    QTRY_COMPARE(device->receivedBytes().size(), 5); // the stop frame
    device->clearReceived();
    sentToWindow = 0;
}

void TestRecording::record()
{
    windowAction(*window, "actionRecord")->trigger();
    QVERIFY(window->isRecording());
}

void TestRecording::send(const QByteArray &bytes)
{
    device->injectBytes(bytes);
    sentToWindow += quint64(bytes.size());
    QTRY_COMPARE(window->receivedByteCount(), sentToWindow);
}

void TestRecording::recordsEveryDecodedFrame_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("noise");
    QTest::addColumn<int>("reads"); // the stream is sent in this many pieces, cut anywhere
    QTest::addColumn<bool>("fifo"); // to a FIFO the test reads, not to a file

    QTest::newRow("one read") << 40 << false << 1 << false;
    QTest::newRow("line noise, seven reads") << 120 << true << 7 << false;
    QTest::newRow("line noise, a read every 5 bytes") << 12 << true << 40 << false;
    QTest::newRow("to a FIFO with a reader") << 120 << true << 7 << true;
}

void TestRecording::recordsEveryDecodedFrame()
{
    QFETCH(int, frames);
    QFETCH(bool, noise);
    QFETCH(int, reads);
    QFETCH(bool, fifo);
    if (fifo)
        file = dir->filePath(QStringLiteral("fifo"));
    const std::unique_ptr<Fifo> reader(fifo ? new Fifo(file) : nullptr);

    // Between frames: stray bytes, a lone header byte, and a frame whose
    // checksum is wrong; none of it may become a row.
    const QByteArray badFrame = measurementFrame(4660, 7, 1).left(8) + '\x00';
    QByteArray stream;
    QList<int> frameEnds;
    for (int i = 0; i < frames; ++i) {
        if (noise)
            stream += QByteArray::fromHex(i % 2 ? "00FF13AA" : "55") + badFrame;
        stream += frame(i);
        frameEnds.append(stream.size());
    }

    record();
    openPort();
    QList<int> cuts;
    for (int r = 1; r <= reads; ++r)
        cuts.append(stream.size() * r / reads);
    int from = 0;
    for (int cut : cuts) {
        send(stream.mid(from, cut - from));
        from = cut;
        QTest::qWait(15); // reads apart in time
    }
    QCOMPARE(window->decodedFrameCount(), quint64(frames));
    windowAction(*window, "actionRecord")->trigger();
    QVERIFY(!window->isRecording());

    const QList<Row> rows = fifo ? rowsOf(reader->readAll()) : recordedRows(file);
    QCOMPARE(valuesOf(rows), expectedValues(0, frames));
    // Each read stamps the frames it completes; later reads come later.
    auto readOf = [&](int i) {
        int r = 0;
        while (cuts.at(r) < frameEnds.at(i))
            ++r;
        return r;
    };
    for (int i = 1; i < frames; ++i) {
        const bool sameRead = readOf(i) == readOf(i - 1);
        if (sameRead) {
            QCOMPARE(rows.at(i).elapsed, rows.at(i - 1).elapsed);
            QCOMPARE(rows.at(i).hostTime, rows.at(i - 1).hostTime);
        } else {
            QVERIFY2(rows.at(i).elapsed > rows.at(i - 1).elapsed, qPrintable(QString::number(i)));
            QVERIFY(rows.at(i).hostTime >= rows.at(i - 1).hostTime);
        }
    }
}

void TestRecording::recordingGoesOn_data()
{
    QTest::addColumn<bool>("deviceLost");
    QTest::newRow("port closed and opened again") << false;
    QTest::newRow("device lost, another one opened") << true;
}

void TestRecording::recordingGoesOn()
{
    QFETCH(bool, deviceLost);
    record();
    openPort();
    QByteArray before;
    for (int i = 0; i < 10; ++i)
        before += frame(i);
    send(before);

    BoxCloser boxes;
    if (deviceLost) {
        device->closeMaster();
        QTRY_COMPARE(boxes.titles, QStringList { "Critical Error" });
        QTRY_COMPARE(widget<QPushButton>("openBtn")->text(), QStringLiteral("open"));
        device = std::make_unique<Tav47Simulator>();
        QVERIFY2(device->open(), qPrintable(device->errorString()));
        ports = QStringList { device->portPath() };
        widget<QPushButton>("detectBtn")->click();
        window->selectPort(device->portPath());
    } else {
        widget<QPushButton>("openBtn")->click(); // close
    }
    QTest::qWait(1200); // a flush falls due while the port is closed
    QVERIFY(window->isRecording());
    QCOMPARE(valuesOf(recordedRows(file)), expectedValues(0, 10));

    openPort();
    QByteArray after;
    for (int i = 10; i < 20; ++i)
        after += frame(i);
    send(after);
    widget<QPushButton>("Lidar_StartBtn")->click();
    QTRY_COMPARE_WITH_TIMEOUT(widget<QLineEdit>("statusLineEdit")->text(),
                              QStringLiteral("开启扫描"), 10000);
    widget<QPushButton>("Lidar_StopBtn")->click();
    QVERIFY(window->stopRecording());
    // Then the device streams on its own.
    QCOMPARE(valuesOf(recordedRows(file)).mid(0, 20), expectedValues(0, 20));
    QCOMPARE(boxes.titles.size(), deviceLost ? 1 : 0);

    // The notes beside say what became of the line, and when.
    QFile notes(dir->filePath(QStringLiteral("run.json")));
    QVERIFY(notes.open(QIODevice::ReadOnly));
    const QJsonObject o = QJsonDocument::fromJson(notes.readAll()).object();
    QStringList events;
    for (const QJsonValue &e : o.value("events").toArray())
        events.append(e["event"].toString() + ' ' + e["detail"].toString());
    const QString port = QStringLiteral("open ") + device->portPath();
    QCOMPARE(events.size(), 5);
    QCOMPARE(events.at(1).section(' ', 0, 0), deviceLost ? "device_lost" : "close");
    QCOMPARE(events.mid(2), QStringList({ port, "start 100 Hz", "stop " }));
    QCOMPARE(o.value("rate_hz").toInt(), 100);
    QCOMPARE(o.value("port").toString(), device->portPath());
    QCOMPARE(o.value("baud").toInt(), 460800);
}

void TestRecording::failedWriteStopsOnce_data()
{
    QTest::addColumn<QString>("target"); // empty: a file, until a size limit mid-run
    QTest::addColumn<QString>("reason");
    QTest::newRow("/dev/full from the start") << "/dev/full"
                                              << "No space left on device";
    QTest::newRow("FIFO nobody reads, refused at once") << "fifo"
                                                        << "no program is reading from this pipe";
    QTest::newRow("file size limit reached mid-run") << QString() << "File too large";
}

void TestRecording::failedWriteStopsOnce()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);
    const bool midRun = target.isEmpty();
    if (!midRun)
        file = target == QLatin1String("fifo") ? dir->filePath(target) : target;
    const Fifo nobodyReads(dir->filePath(QStringLiteral("fifo")), false);

    BoxCloser boxes;
    auto *action = windowAction(*window, "actionRecord");
    action->trigger();
    if (midRun) {
        QVERIFY(window->isRecording());
        openPort();
        QByteArray first;
        for (int i = 0; i < 20; ++i)
            first += frame(i);
        send(first);
        QTRY_COMPARE_WITH_TIMEOUT(recordedRows(file).size(), 20, 3000);

        // A file may grow no more than a few bytes from here on: the next
        // write fails part way through a row.
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit oldLimit {};
        getrlimit(RLIMIT_FSIZE, &oldLimit);
        rlimit limit = oldLimit;
        limit.rlim_cur = rlim_t(QFileInfo(file).size() + 10);
        setrlimit(RLIMIT_FSIZE, &limit);
        QByteArray second;
        for (int i = 20; i < 40; ++i)
            second += frame(i);
        send(second);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.titles.size(), 1, 3000);
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, oldHandler);
    }
    QTest::qWait(300); // the repaint timer goes on: no second message
    QCOMPARE(boxes.titles, QStringList { "Recording" });
    QVERIFY2(boxes.texts.first().contains(file + QStringLiteral(": ") + reason),
             qPrintable(boxes.texts.first()));
    QVERIFY(!window->isRecording());
    QVERIFY(!action->isChecked());
    QCOMPARE(window->windowTitle(), QStringLiteral("TAV47-V1.2"));
    if (midRun)
        QCOMPARE(valuesOf(recordedRows(file)), expectedValues(0, 20)); // the rows before, whole
}

void TestRecording::freezeHoldsWhileFramesFlow()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *chart = window->findChild<Chart *>(QStringLiteral("chart"));
    QList<QLineEdit *> readouts;
    for (int k = 1; k <= 7; ++k)
        readouts.append(widget<QLineEdit>(qPrintable(QStringLiteral("val%1").arg(k))));
    auto readoutTexts = [&readouts] {
        QStringList texts;
        for (QLineEdit *r : readouts)
            texts.append(r->text());
        return texts;
    };
    record();
    openPort();
    // Received-byte totals of three digits throughout: the count's width
    // moves the chart's edge.
    QByteArray first;
    for (int i = 0; i < 20; ++i)
        first += frame(i);
    send(first);
    QTRY_COMPARE(readouts.first()->text(), QString::number(1000 + 7 * 19));

    windowAction(*window, "actionFreeze")->trigger();
    const QImage frozen = chart->grab().toImage();
    const QStringList held = readoutTexts();

    QByteArray second;
    for (int i = 20; i < 100; ++i)
        second += frame(i);
    send(second);
    QTest::qWait(300); // three repaint ticks
    QCOMPARE(widget<QLabel>("RcvCnt")->text(), QString::number(first.size() + second.size()));
    QCOMPARE(window->decodedFrameCount(), quint64(100));
    QCOMPARE(chart->model().series[0].last(), float(1000 + 7 * 99));
    const QPoint centre = chart->rect().center();
    QWheelEvent wheel(centre, chart->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &wheel);
    QTest::qWait(50);
    QCOMPARE(chart->grab().toImage(), frozen);
    QCOMPARE(readoutTexts(), held);

    // Thawed, the window shows where things are now at once.
    windowAction(*window, "actionFreeze")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(readouts.first()->text(), QString::number(1000 + 7 * 99), 60);
    QVERIFY(chart->grab().toImage() != frozen);
    QVERIFY(window->stopRecording());
    QCOMPARE(valuesOf(recordedRows(file)), expectedValues(0, 100));
}

void TestRecording::clearRestartsTheStatistics()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *chart = window->findChild<Chart *>(QStringLiteral("chart"));
    auto readout = [this](int k) {
        return widget<QLineEdit>(qPrintable(QStringLiteral("val%1").arg(k)))->text();
    };
    record();
    openPort();
    QByteArray wide;
    for (int i = 0; i < 20; ++i)
        wide += measurementFrame(i % 2 ? 500 : 3000, i % 2 ? 10 : 200, 9);
    send(wide);
    QTRY_COMPARE(readout(1), QStringLiteral("500"));
    QVERIFY(readout(7).toInt() > 1000); // distances 3000 and 500

    windowAction(*window, "actionClear")->trigger();
    QCOMPARE(chart->model().series[0].size(), 0);
    // Until the next frame: no statistics, and the latest frame's values.
    QTRY_COMPARE(readout(5), QStringLiteral("0"));
    QCOMPARE(readout(6), QStringLiteral("0"));
    QCOMPARE(readout(7), QStringLiteral("0"));
    QCOMPARE(readout(1), QStringLiteral("500"));
    QCOMPARE(readout(2), QStringLiteral("10"));
    QCOMPARE(readout(4), QStringLiteral("9"));

    // From the next frames on, only they count.
    QByteArray narrow;
    for (int i = 0; i < 6; ++i)
        narrow += measurementFrame(i % 2 ? 1000 : 1010, 20, 9);
    send(narrow);
    QTRY_COMPARE(readout(5), QStringLiteral("1006")); // the five before the newest
    QCOMPARE(readout(6), QStringLiteral("0"));
    QCOMPARE(readout(7), QStringLiteral("5"));
    QCOMPARE(chart->model().series[0].size(), 6);
    QCOMPARE(widget<QLabel>("RcvCnt")->text(), QString::number(wide.size() + narrow.size()));
    QVERIFY(window->stopRecording());
    QCOMPARE(recordedRows(file).size(), 26);
}

void TestRecording::commandLine_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("said");

    const QString tool = QStringLiteral(TAV47_PATH), demo = QStringLiteral(TAV47_DEMO_PATH);
    QTest::newRow("help") << tool << QStringList { "--help" } << 0
                          << QStringList { "--record <file>", "--port <path>" };
    QTest::newRow("unknown option")
        << tool << QStringList { "--fast" } << 2 << QStringList { "'fast'" };
    QTest::newRow("file that cannot be written")
        << tool << QStringList { "--record", "/nonexistent/run.csv" } << 1
        << QStringList { "/nonexistent/run.csv" };
    QTest::newRow("demo, file that cannot be written")
        << demo << QStringList { "--record", "/dev/full", "--quit-after", "0" } << 1
        << QStringList { "/dev/full: No space left on device" };
    QTest::newRow("FIFO nobody reads") << tool << QStringList { "--record", "fifo" } << 1
                                       << QStringList { "fifo: no program is reading" };
    // Standard output to a reader that quits after a few bytes.
    QTest::newRow("demo, the reader of standard output gone")
        << demo << QStringList { "--record", "-", "--start", "100", "--quit-after", "2" } << 1
        << QStringList { "-: Broken pipe" };
}

void TestRecording::commandLine()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, said);

    const Fifo nobodyReads(dir->filePath(QStringLiteral("fifo")), false);
    QProcess process, reader;
    if (arguments.contains(QStringLiteral("-"))) {
        process.setStandardOutputProcess(&reader);
        reader.start(QStringLiteral("head"), { QStringLiteral("-c"), QStringLiteral("10") });
    }
    startOffscreen(process, program, arguments, dir->path());
    // Nothing may wait for a reader: a refusal comes long before the timeout.
    const ProgramRun run = finishProgram(process, 15000);
    reader.waitForFinished();
    const QString output = QString::fromLocal8Bit(run.out + run.err);
    QCOMPARE(run.exitCode, exitCode);
    for (const QString &text : said)
        QVERIFY2(output.contains(text), qPrintable(output));
}

void TestRecording::recordFromStartUp_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("record");
    const QStringList scan { "--start", "100", "--quit-after", "1" };
    QTest::newRow("tav47") << QStringLiteral(TAV47_PATH) << QStringList() << "start.csv";
    QTest::newRow("tav47-demo, a scan at 100 Hz")
        << QStringLiteral(TAV47_DEMO_PATH) << scan << "start.csv";
    QTest::newRow("tav47-demo to standard output, its summary to standard error")
        << QStringLiteral(TAV47_DEMO_PATH) << scan << "-";
}

void TestRecording::recordFromStartUp()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, record);

    // Named relative to the folder it is started in, and there already.
    const QString path = dir->filePath(QStringLiteral("start.csv"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older file\n");
    old.close();

    QProcess process;
    startOffscreen(process, program, arguments + QStringList { "--record", record }, dir->path());
    if (arguments.isEmpty()) {
        // The tool runs until closed: the header shows it has started.
        QTRY_COMPARE_WITH_TIMEOUT(fileContent(path), Header + '\n', 10000);
        process.kill();
        process.waitForFinished();
        return;
    }
    const ProgramRun run = finishProgram(process);
    QCOMPARE(run.exitCode, 0);
    const bool toStdout = record == QLatin1String("-");
    const QString output = QString::fromLocal8Bit(toStdout ? run.err : run.out);
    const QRegularExpression frames(QStringLiteral("frames=(\\d+) "));
    const auto match = frames.match(output);
    QVERIFY2(match.hasMatch(), qPrintable(output));
    QVERIFY(match.captured(1).toInt() > 0);
    QCOMPARE(rowsOf(toStdout ? run.out : fileContent(path)).size(), match.captured(1).toInt());
}

// A reader of what the program writes that went away must not end it with the
// device streaming and the settings unsaved: the write fails instead.
void TestRecording::brokenPipeIsNoSignal_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("tav47") << QStringLiteral(TAV47_PATH);
    QTest::newRow("tav47-sim") << QStringLiteral(TAV47_SIM_PATH);
}

void TestRecording::brokenPipeIsNoSignal()
{
    QFETCH(QString, program);
    QProcess process;
    startOffscreen(process, program, {});
    QVERIFY(process.waitForStarted());
    auto ignored = [&process] {
        const QByteArray text
            = fileContent(QStringLiteral("/proc/%1/status").arg(process.processId()));
        const int at = text.indexOf("SigIgn:") + 7; // then a tab and 16 hex digits
        const quint64 mask = text.mid(at, 17).trimmed().toULongLong(nullptr, 16);
        return (mask >> (SIGPIPE - 1) & 1) && (mask >> (SIGXFSZ - 1) & 1);
    };
    QTRY_VERIFY_WITH_TIMEOUT(ignored(), 10000);
    process.kill();
    process.waitForFinished();
}

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"

// The CSV format shared by recording in the window and headless capture.

#include "csvrecorder.h"
#include "recordingsidecar.h"
#include "testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace testsupport;

class TestCsvRecorder : public QObject
{
    Q_OBJECT

private slots:
    void field_data();
    void field();
    void numbers_data();
    void numbers();
    void recordsFramesInOrder();
    void hostTimeAcrossSeconds_data();
    void hostTimeAcrossSeconds();
    void failedWriteStopsAndNamesTheFile();
    void failedWriteToStdoutKeepsWhatWasThere();
    void flushesOncePerSecond();
    void slowSyncHoldsUpNoTick();
    void pipes_data();
    void pipes();
    void sidecarPath_data();
    void sidecarPath();
    void sidecarKeepsEachEvent();
    void sidecarThatCannotBeWritten_data();
    void sidecarThatCannotBeWritten();
};

void TestCsvRecorder::field_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << "Dis"
                           << "Dis";
    QTest::newRow("comma") << "Distance, mm"
                           << "\"Distance, mm\"";
    QTest::newRow("quote") << "5\" gap"
                           << "\"5\"\" gap\"";
    QTest::newRow("line break") << "a\nb"
                                << "\"a\nb\"";
    QTest::newRow("carriage return") << "a\rb"
                                     << "\"a\rb\"";
    QTest::newRow("Chinese") << QStringLiteral("距离") << QStringLiteral("距离");
    QTest::newRow("empty") << ""
                           << "";
}

void TestCsvRecorder::field()
{
    QFETCH(QString, text);
    QFETCH(QString, written);
    QCOMPARE(Csv::field(text), written);
    QCOMPARE(Csv::row({ text, text }), (written + QLatin1Char(',') + written + '\n').toUtf8());
}

void TestCsvRecorder::numbers_data()
{
    QTest::addColumn<qint64>("nanoseconds");
    QTest::addColumn<QByteArray>("seconds");
    QTest::newRow("zero") << qint64(0) << QByteArray("0.000000");
    QTest::newRow("below a microsecond") << qint64(999) << QByteArray("0.000000");
    QTest::newRow("microseconds kept") << qint64(1234567890) << QByteArray("1.234567");
    QTest::newRow("a day") << qint64(86400) * 1000000000 << QByteArray("86400.000000");
}

void TestCsvRecorder::numbers()
{
    QFETCH(qint64, nanoseconds);
    QFETCH(QByteArray, seconds);
    QCOMPARE(Csv::seconds(nanoseconds), seconds);
    // Any zone in, UTC out, milliseconds always shown.
    const QDateTime local(QDate(2026, 12, 7), QTime(16, 18, 37, 5), Qt::OffsetFromUTC, 3600);
    QCOMPARE(Csv::utcTime(local), QByteArray("2026-12-07T15:18:37.005Z"));
}

void TestCsvRecorder::recordsFramesInOrder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    CsvRecorder recorder;
    QVERIFY(recorder.open(path));
    const QDateTime t(QDate(2026, 1, 2), QTime(3, 4, 5, 600), Qt::UTC);
    recorder.beginRead(t, 1500);
    recorder.append({ 65535, 255, 0, 7 });
    recorder.append({ 0, 0, 99, 255 }); // temperature is not a column
    recorder.beginRead(t.addMSecs(1), 2000000);
    recorder.append({ 1234, 5, 0, 6 });
    QVERIFY(recorder.close());
    QCOMPARE(recorder.rows(), qint64(3));

    QCOMPARE(readFile(path),
             QByteArray("host_time,elapsed_s,distance_mm,energy,ambient\n"
                        "2026-01-02T03:04:05.600Z,0.000001,65535,255,7\n"
                        "2026-01-02T03:04:05.600Z,0.000001,0,0,255\n"
                        "2026-01-02T03:04:05.601Z,0.002000,1234,5,6\n"));
}

void TestCsvRecorder::failedWriteStopsAndNamesTheFile()
{
    CsvRecorder recorder;
    const QString path = QStringLiteral("/dev/full");
    QVERIFY(!recorder.open(path)); // the header already fails
    QVERIFY(!recorder.isOpen());
    QVERIFY2(recorder.error().startsWith(path), qPrintable(recorder.error()));
    QVERIFY2(recorder.error().contains(QStringLiteral("space"), Qt::CaseInsensitive),
             qPrintable(recorder.error()));
    recorder.append({ 1, 2, 3, 4 }); // ignored once stopped
    QCOMPARE(recorder.rows(), qint64(0));
}

// `--record - >> log`: a write that fails may cut off its own half row, never
// the text the file held before.
void TestCsvRecorder::failedWriteToStdoutKeepsWhatWasThere()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log"));
    const QByteArray before(4096, 'x');
    {
        QFile log(path);
        QVERIFY(log.open(QIODevice::WriteOnly) && log.write(before) == before.size());
    }
    // Room for the header and a few rows, then EFBIG.
    rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit { rlim_t(before.size() + 200), saved.rlim_max };
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    std::fflush(stdout);
    const int savedStdout = ::dup(STDOUT_FILENO);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND);
    ::dup2(fd, STDOUT_FILENO);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    CsvRecorder recorder;
    const bool opened = recorder.open(QStringLiteral("-"));
    for (int i = 0; i < 50; ++i)
        recorder.append({ 1234, 5, 6, 7 });
    const bool flushed = recorder.flushIfDue(true);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::dup2(savedStdout, STDOUT_FILENO);
    ::close(savedStdout);
    ::close(fd);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(opened);
    QVERIFY(!flushed);
    QFile log(path);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), before + CsvRecorder::Header);
}

// The date text is kept for the second it shows: each read after another must
// still be stamped with its own time.
void TestCsvRecorder::hostTimeAcrossSeconds_data()
{
    QTest::addColumn<qint64>("before"); // ms since 1970 of the read before
    QTest::addColumn<qint64>("read");
    QTest::addColumn<QByteArray>("hostTime");
    const qint64 t = QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59), Qt::UTC).toMSecsSinceEpoch();
    QTest::newRow("same second") << t + 1 << t + 999 << QByteArray("2026-12-31T23:59:59.999Z");
    QTest::newRow("next second, next year")
        << t + 999 << t + 1000 << QByteArray("2027-01-01T00:00:00.000Z");
    QTest::newRow("back a second") << t + 1000 << t + 5 << QByteArray("2026-12-31T23:59:59.005Z");
    QTest::newRow("before 1970") << qint64(0) << qint64(-1)
                                 << QByteArray("1969-12-31T23:59:59.999Z");
}

void TestCsvRecorder::hostTimeAcrossSeconds()
{
    QFETCH(qint64, before);
    QFETCH(qint64, read);
    QFETCH(QByteArray, hostTime);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    CsvRecorder recorder;
    QVERIFY(recorder.open(path));
    recorder.beginRead(before, 0);
    recorder.append({ 1, 2, 0, 3 });
    recorder.beginRead(read, 0);
    recorder.append({ 1, 2, 0, 3 });
    QVERIFY(recorder.close());
    QCOMPARE(readFile(path).split('\n').value(2), hostTime + ",0.000000,1,2,3");
}

void TestCsvRecorder::flushesOncePerSecond()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    CsvRecorder recorder;
    QVERIFY(recorder.open(path));
    const int header = readFile(path).size();
    recorder.append({ 1, 2, 0, 3 });
    QVERIFY(recorder.flushIfDue());
    QCOMPARE(readFile(path).size(), header); // not a second since the header
    QTest::qWait(CsvRecorder::FlushIntervalMs + 100);
    QVERIFY(recorder.flushIfDue());
    QTRY_VERIFY(readFile(path).size() > header); // the writer's, soon
    const int written = readFile(path).size();
    recorder.append({ 1, 2, 0, 3 });
    QVERIFY(recorder.flushIfDue());
    QCOMPARE(readFile(path).size(), written); // not a second since that write
}

// The caller's 100 ms ticks go on while each sync takes 800 ms, and every row
// still arrives, whole and in order.
void TestCsvRecorder::slowSyncHoldsUpNoTick()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    CsvRecorder recorder;
    QVERIFY(recorder.open(path));
    CsvRecorder::setSyncDelayForTesting(800);
    const auto restore = qScopeGuard([] { CsvRecorder::setSyncDelayForTesting(0); });
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(100);
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    int rows = 0;
    bool ok = true;
    connect(&tick, &QTimer::timeout, [&] {
        longest = qMax(longest, clock.elapsed() - last);
        last = clock.elapsed();
        recorder.beginRead(0, 0);
        recorder.append({ quint32(rows++), 2, 0, 3 }); // distance counts the rows
        ok = recorder.flushIfDue() && ok;
    });
    clock.start();
    tick.start();
    QTRY_VERIFY_WITH_TIMEOUT(rows >= 35, 30000);
    tick.stop();
    QVERIFY(recorder.close() && ok);
    QVERIFY2(longest < 400, qPrintable(QStringLiteral("a tick waited %1 ms").arg(longest)));
    QCOMPARE(recorder.rowsWritten(), qint64(rows));
    QByteArray expected = CsvRecorder::Header;
    for (int i = 0; i < rows; ++i)
        expected += "1970-01-01T00:00:00.000Z,0.000000," + QByteArray::number(i) + ",2,3\n";
    QCOMPARE(readFile(path), expected);
}

// A FIFO: refused without a reader, and never waited on with one.
void TestCsvRecorder::pipes_data()
{
    QTest::addColumn<bool>("reader");
    QTest::addColumn<int>("rows"); // many more than a pipe holds
    QTest::addColumn<bool>("reads"); // the reader takes what comes
    QTest::addColumn<QString>("error"); // empty: every row arrives

    QTest::newRow("nobody reads: refused at once")
        << false << 0 << false << "no program is reading from this pipe";
    QTest::newRow("a reader: every row, the pipe full at times") << true << 20000 << true << "";
    QTest::newRow("a reader that stops: the last rows reported lost")
        << true << 20000 << false << "did not take the last rows";
    QTest::newRow("a reader far behind: the recording ends")
        << true << 250000 << false << "falls too far behind";
}

void TestCsvRecorder::pipes()
{
    QFETCH(bool, reader);
    QFETCH(int, rows);
    QFETCH(bool, reads);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fifo"));
    Fifo fifo(path, reader);
    QVERIFY(fifo.made);

    QElapsedTimer timer;
    timer.start();
    CsvRecorder recorder;
    bool ok = recorder.open(path);
    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(ok, reader);
    recorder.beginRead(0, 0);
    for (int i = 0; i < rows; ++i)
        recorder.append({ 1, 2, 0, 3 });
    const QByteArray expected = CsvRecorder::Header
        + QByteArray("1970-01-01T00:00:00.000Z,0.000000,1,2,3\n").repeated(rows);
    for (ok = ok && recorder.flushIfDue(true);
         ok && reads && fifo.content.size() < expected.size();) {
        fifo.readAll();
        ok = recorder.flushIfDue(true);
    }
    ok = recorder.close() && ok;
    QCOMPARE(ok, error.isEmpty());
    QVERIFY2(recorder.error().contains(error), qPrintable(recorder.error()));
    if (error.isEmpty())
        QCOMPARE(fifo.readAll(), expected);
}

void TestCsvRecorder::sidecarPath_data()
{
    QTest::addColumn<QString>("csv"); // made as a file in a temporary folder, unless - or fifo
    QTest::addColumn<QString>("notes"); // empty: none

    QTest::newRow("NAME.csv") << "run.csv"
                              << "run.json";
    QTest::newRow("suffix in capitals") << "RUN.CSV"
                                        << "RUN.json";
    QTest::newRow("another suffix is replaced") << "run.2026.txt"
                                                << "run.2026.json";
    QTest::newRow("a recording named .json gets none") << "run.json" << QString();
    QTest::newRow("standard output") << "-" << QString();
    QTest::newRow("FIFO") << "fifo" << QString();
}

void TestCsvRecorder::sidecarPath()
{
    QFETCH(QString, csv);
    QFETCH(QString, notes);
    QTemporaryDir dir;
    QString path = csv;
    if (csv == QLatin1String("fifo")) {
        path = dir.filePath(csv);
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    } else if (csv != QLatin1String("-")) {
        path = dir.filePath(csv);
        writeFile(path, "x");
    }
    QCOMPARE(RecordingSidecar::pathFor(path), notes.isEmpty() ? notes : dir.filePath(notes));
}

// Each event reaches the disk whole, with everything before it, so a crash
// keeps what came before; nothing is left beside it.
void TestCsvRecorder::sidecarKeepsEachEvent()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("run.csv"));
    writeFile(csv, CsvRecorder::Header);
    RecordingSidecar notes;
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(1796716800123, Qt::UTC);
    QVERIFY(notes.begin(csv, QStringLiteral("tav47"), start));
    notes.setLine(QStringLiteral("/dev/ttyUSB0"), 460800);
    notes.setRateHz(1800);
    const QStringList events { "open", "start", "measure_point", "device_lost" };
    for (int i = 0; i < events.size(); ++i) {
        notes.addEvent(i * 1.2345674, events[i],
                       i == 2 ? QStringLiteral("reference \"1500\" mm") : QString());
        notes.sync();
        const QJsonObject o = QJsonDocument::fromJson(readFile(notes.path())).object();
        QCOMPARE(o.keys(),
                 QStringList({ "baud", "events", "format", "format_version", "port", "program",
                               "rate_hz", "start_utc", "version" }));
        QCOMPARE(o.value("format").toString(), QStringLiteral("tav47-recording"));
        QCOMPARE(o.value("port").toString(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(o.value("rate_hz").toInt(), 1800);
        QCOMPARE(o.value("start_utc").toString(), QStringLiteral("2026-12-08T08:00:00.123Z"));
        const QJsonArray got = o.value("events").toArray();
        QCOMPARE(got.size(), i + 1);
        QCOMPARE(got.last().toObject().value("event").toString(), events[i]);
        QCOMPARE(got.last().toObject().value("elapsed_s").toDouble(),
                 std::round(i * 1.2345674e6) / 1e6);
    }
    const QJsonObject point = QJsonDocument::fromJson(readFile(notes.path()))
                                  .object()["events"]
                                  .toArray()[2]
                                  .toObject();
    QCOMPARE(point.value("detail").toString(), QStringLiteral("reference \"1500\" mm"));
    notes.end();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({ "run.csv", "run.json" }));
    QCOMPARE(readFile(csv), QByteArray(CsvRecorder::Header));
}

void TestCsvRecorder::sidecarThatCannotBeWritten_data()
{
    QTest::addColumn<QByteArray>("there"); // what run.json is; empty: a folder
    QTest::newRow("a folder in its place") << QByteArray();
    QTest::newRow("another program's file") << QByteArray("{\"format\": \"other\"}\n");
    QTest::newRow("not JSON") << QByteArray("notes by hand\n");
}

void TestCsvRecorder::sidecarThatCannotBeWritten()
{
    QFETCH(QByteArray, there);
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("run.csv"));
    writeFile(csv, CsvRecorder::Header);
    if (there.isEmpty())
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("run.json")));
    else
        writeFile(dir.filePath(QStringLiteral("run.json")), there);
    RecordingSidecar notes;
    QVERIFY(notes.begin(csv, QStringLiteral("tav47"), QDateTime::currentDateTimeUtc()));
    notes.addEvent(1, QStringLiteral("open"));
    notes.sync();
    const QString error = notes.takeError();
    QVERIFY2(error.contains(dir.filePath(QStringLiteral("run.json"))), qPrintable(error));
    QCOMPARE(notes.takeError(), QString()); // said once
    notes.addEvent(2, QStringLiteral("close"));
    notes.end();
    QCOMPARE(notes.takeError(), QString());
    QCOMPARE(readFile(csv), QByteArray(CsvRecorder::Header));
    if (!there.isEmpty())
        QCOMPARE(readFile(dir.filePath(QStringLiteral("run.json"))), there);
}

QTEST_GUILESS_MAIN(TestCsvRecorder)
#include "tst_csvrecorder.moc"

// tav47-capture: its options and summary in-process, and the program itself
// run against a device played by the test on a pseudo-terminal, which knows
// every byte it sent and records every byte the program wrote.

#include "captureoptions.h"
#include "capturestats.h"
#include "commandtable.h"
#include "csvrecorder.h"
#include "framedecoder.h"
#include "gaussiannoise.h"
#include "lidarframe.h"
#include "measurement.h"
#include "silencewatch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

QByteArray frameOf(const Measurement &m)
{
    const char payload[]
        = { char(m.distance & 0xFF), char(m.distance >> 8), char(m.energy), char(m.ambient) };
    return LidarFrame::build(LidarFrame::Command::Measurement, QByteArray(payload, 4));
}

// What the device sends once started: frames, and what the decoder must count
// as not being part of any frame.
struct Stream
{
    QList<QByteArray> units; // written in order, one or more per tick
    QList<bool> isFrame; // per unit: a good frame
    QList<Measurement> frames; // the good ones, in order
    quint64 bytes = 0;
    quint64 outside = 0;
    quint64 checksumErrors = 0;

    void addFrame(const Measurement &m)
    {
        units.append(frameOf(m));
        isFrame.append(true);
        frames.append(m);
        bytes += quint64(units.last().size());
    }
    void addJunk(const QByteArray &junk, int checksumErrors = 0)
    {
        units.append(junk);
        isFrame.append(false);
        bytes += quint64(junk.size());
        outside += quint64(junk.size());
        this->checksumErrors += quint64(checksumErrors);
    }
};

// Frames with values that differ from one to the next, the last unit always a
// frame. No byte of junk is the first header byte, so junk can never pass for
// the start of a frame. noiseEvery: 7 noise bytes before every so many frames;
// badEvery: a frame with a wrong checksum before every so many.
Stream makeStream(int count, int noiseEvery = 0, int badEvery = 0)
{
    Stream s;
    for (int i = 1; i <= count; ++i) {
        if (noiseEvery && i % noiseEvery == 0)
            s.addJunk(QByteArray::fromHex("00113355667f20"));
        if (badEvery && i % badEvery == 0) {
            QByteArray bad = LidarFrame::build(LidarFrame::Command::Measurement,
                                               QByteArray::fromHex("10203040"));
            bad[bad.size() - 1] = char(bad.at(bad.size() - 1) + 1);
            s.addJunk(bad, 1);
        }
        Measurement m;
        m.distance = quint32(1000 + (i * 37) % 3000);
        m.energy = quint32((i * 11) % 256);
        m.ambient = quint32(i % 16);
        s.addFrame(m);
    }
    return s;
}

const CommandTable Commands;

// The device end of a pseudo-terminal. Records what the host writes; plays
// `prelude` as soon as a host opens the port (a device still streaming from
// before), and the stream once the host has sent start twice, or with
// `streamOnOpen` 200 ms after it opened the port.
class Feeder : public QObject
{
public:
    Feeder()
    {
        int slave = -1;
        char name[128] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            return;
        for (int fd : { m_master, slave }) {
            termios tio {};
            ::tcgetattr(fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
        ::close(slave); // the host's alone, so its close shows as a hang-up
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC); // else the program holds the line up too
        path = QString::fromLocal8Bit(name);
        connect(&m_tick, &QTimer::timeout, this, &Feeder::tick);
        m_tick.start(2);
    }
    ~Feeder() override { hangUp(); }

    void hangUp()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    // Every frame the host sent, rebuilt as a whole frame.
    QList<QByteArray> commands() const
    {
        QList<QByteArray> frames;
        FrameDecoder decoder;
        decoder.decode(received, [&](const DecodedFrame &f) {
            frames.append(LidarFrame::build(f.command, f.payloadBytes()));
        });
        return frames;
    }

    QString path;
    QByteArray prelude;
    Stream stream;
    int unitsPerSecond = 0; // 0: all at once
    bool streamOnOpen = false;
    int hangUpAfterMs = -1; // after the whole stream went out; < 0: never
    int framesBeforeCall = 0;
    std::function<void()> call; // once that many frames have gone out
    QByteArray received;

private:
    void tick()
    {
        if (m_master < 0)
            return;
        // Read first: what a host wrote just before closing is still there.
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_master, buffer, sizeof buffer)) > 0)
            received.append(buffer, int(n));
        pollfd pfd { m_master, POLLOUT, 0 };
        ::poll(&pfd, 1, 0);
        if (pfd.revents & POLLHUP)
            return; // no host (yet, or any more)
        if (!m_clock.isValid()) {
            m_clock.start();
            m_backlog = prelude;
        }
        if (m_streamStartMs < 0
            && (streamOnOpen ? m_clock.elapsed() >= 200
                             : received.count(Commands.frame(CommandTable::StartScan)) >= 2))
            m_streamStartMs = m_clock.elapsed();
        if (m_streamStartMs >= 0) {
            const qint64 due = unitsPerSecond == 0
                ? stream.units.size()
                : (m_clock.elapsed() - m_streamStartMs) * unitsPerSecond / 1000 + 1;
            while (m_next < stream.units.size() && m_next < due) {
                m_framesSent += stream.isFrame.at(m_next);
                m_backlog += stream.units.at(m_next++);
            }
        }
        while (!m_backlog.isEmpty()) {
            n = ::write(m_master, m_backlog.constData(), size_t(m_backlog.size()));
            if (n <= 0)
                break;
            m_backlog.remove(0, int(n));
        }
        if (call && framesBeforeCall > 0 && m_framesSent >= framesBeforeCall
            && m_backlog.isEmpty()) {
            call();
            call = nullptr;
        }
        if (hangUpAfterMs >= 0 && m_next == stream.units.size() && m_backlog.isEmpty()) {
            if (m_doneMs < 0)
                m_doneMs = m_clock.elapsed();
            if (m_clock.elapsed() - m_doneMs >= hangUpAfterMs)
                hangUp();
        }
    }

    int m_master = -1;
    QTimer m_tick;
    QElapsedTimer m_clock; // since the host opened the port
    qint64 m_streamStartMs = -1;
    qint64 m_doneMs = -1;
    int m_next = 0;
    int m_framesSent = 0;
    QByteArray m_backlog;
};

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QProcessEnvironment headlessEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        env.remove(QLatin1String(name));
    return env;
}

// Runs the program while the feeder plays in this event loop; with `shell`, as
// "$0" "$@" within that bash command, and the exit code is still the
// program's. `started` is given the process id.
Run runCapture(const QStringList &arguments, const std::function<void(qint64)> &started = nullptr,
               const QString &shell = QString())
{
    QProcess process;
    process.setProcessEnvironment(headlessEnvironment());
    QEventLoop loop;
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    if (shell.isEmpty())
        process.start(QStringLiteral(TAV47_CAPTURE_PATH), arguments);
    else
        process.start(
            QStringLiteral("bash"),
            QStringList { "-c", "set -o pipefail; " + shell, QStringLiteral(TAV47_CAPTURE_PATH) }
                + arguments);
    Run run;
    if (!process.waitForStarted(10000))
        return run;
    if (started)
        started(process.processId());
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The rows of a CSV the program wrote; empty `error` when every line is whole.
QList<Measurement> csvRows(const QByteArray &text, QString *error)
{
    QList<Measurement> rows;
    if (!text.startsWith(CsvRecorder::Header) || !text.endsWith('\n')) {
        *error = QStringLiteral("no header or a cut last line");
        return rows;
    }
    const QList<QByteArray> lines = text.mid(int(qstrlen(CsvRecorder::Header))).split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> f = lines.at(i).split(',');
        bool ok[4] = {};
        Measurement m;
        if (f.size() == 5) {
            f[1].toDouble(&ok[0]);
            m.distance = f[2].toUInt(&ok[1]);
            m.energy = f[3].toUInt(&ok[2]);
            m.ambient = f[4].toUInt(&ok[3]);
        }
        if (f.size() != 5 || f[0].size() != 24 || !(ok[0] && ok[1] && ok[2] && ok[3])) {
            *error = QStringLiteral("bad row %1: %2").arg(i).arg(QString::fromLatin1(lines[i]));
            return rows;
        }
        rows.append(m);
    }
    return rows;
}

bool sameValues(const Measurement &a, const Measurement &b)
{
    return a.distance == b.distance && a.energy == b.energy && a.ambient == b.ambient;
}

bool near(double a, double b)
{
    return std::fabs(a - b) <= 1e-6 * qMax(1.0, std::fabs(b)) + 1e-6;
}

// Compares one channel of a JSON summary with figures computed here, in two
// passes, from the values the CSV holds.
QString checkChannel(const QJsonObject &summary, const char *name, const QList<double> &values)
{
    const QJsonObject c = summary.value(QLatin1String(name)).toObject();
    if (c.value("count").toInt(-1) != values.size())
        return QStringLiteral("%1 count").arg(name);
    if (values.isEmpty())
        return c.value("mean").isNull() && c.value("std_dev").isNull() && c.value("min").isNull()
                && c.value("max").isNull()
            ? QString()
            : QStringLiteral("%1: figures without frames").arg(name);
    double sum = 0;
    for (double v : values)
        sum += v;
    const double mean = sum / values.size();
    double squares = 0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    const double stdDev = std::sqrt(squares / values.size());
    const auto [min, max] = std::minmax_element(values.begin(), values.end());
    if (!near(c.value("mean").toDouble(), mean) || !near(c.value("std_dev").toDouble(), stdDev)
        || c.value("min").toDouble() != *min || c.value("max").toDouble() != *max)
        return QStringLiteral("%1: %2, want mean %3 std_dev %4 min %5 max %6")
            .arg(name, QString::fromUtf8(QJsonDocument(c).toJson(QJsonDocument::Compact)))
            .arg(mean, 0, 'f', 6)
            .arg(stdDev, 0, 'f', 6)
            .arg(*min)
            .arg(*max);
    return QString();
}

QString checkSummary(const QJsonObject &summary, const QList<Measurement> &rows)
{
    QList<double> distance, energy, ambient;
    for (const Measurement &m : rows) {
        distance.append(m.distance);
        energy.append(m.energy);
        ambient.append(m.ambient);
    }
    for (const QString &problem :
         { checkChannel(summary, "distance", distance), checkChannel(summary, "energy", energy),
           checkChannel(summary, "ambient", ambient) }) {
        if (!problem.isEmpty())
            return problem;
    }
    if (rows.isEmpty())
        return QString();
    const QList<double> newest = distance.mid(qMax(0, distance.size() - 10));
    double sum = 0;
    for (double v : newest)
        sum += v;
    if (!near(summary.value("distance_mean_newest10").toDouble(), sum / newest.size()))
        return QStringLiteral("distance_mean_newest10");
    return QString();
}

// The frames a capture sends when it runs its course, at a rate code.
QList<QByteArray> fullSequence(int rateCode)
{
    return { Commands.frame(CommandTable::StopScan),
             Commands.frame(CommandTable::rateEntry(rateCode)),
             Commands.frame(CommandTable::StartScan), Commands.frame(CommandTable::StartScan),
             Commands.frame(CommandTable::StopScan) };
}

} // namespace

Q_DECLARE_METATYPE(Stream)

class TestCapture : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void refusedOptions_data();
    void refusedOptions();
    void summary_data();
    void summary();
    void limits_data();
    void limits();
    void silenceIsAMinimum();

    void capture_data();
    void capture();
    void endings_data();
    void endings();
    void headless();
};

void TestCapture::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("rateCode");
    QTest::addColumn<quint64>("frames");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("limits"); // "min:max std", empty for none

    QTest::newRow("defaults: the window's baud and rate, 10 s")
        << QStringList() << 460800 << 1 << quint64(0) << 10.0 << QString();
    QTest::newRow("fastest rate, frame count")
        << QStringList { "--rate", "1800", "--frames", "1000", "--baud", "115200" } << 115200 << 5
        << quint64(1000) << 10.0 << QString();
    QTest::newRow("slowest rate, fractional seconds")
        << QStringList { "--rate", "10", "--seconds", "0.5" } << 460800 << 0 << quint64(0) << 0.5
        << QString();
    QTest::newRow("limits") << QStringList { "--expect-distance", "1500:1600.5",
                                             "--max-std-distance", "2.5" }
                            << 460800 << 1 << quint64(0) << 10.0 << "1500:1600.5 2.5";
}

void TestCapture::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, baud);
    QFETCH(int, rateCode);
    QFETCH(quint64, frames);
    QFETCH(double, seconds);
    QFETCH(QString, limits);
    CaptureOptions o;
    QString message;
    QCOMPARE(
        CaptureOptions::parse(QStringList { "tav47-capture", "--port", "/dev/ttyUSB0" } + arguments,
                              &o, &message),
        CaptureOptions::Run);
    QCOMPARE(o.port, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(o.baud, baud);
    QCOMPARE(o.rateCode, rateCode);
    QCOMPARE(o.frames, frames);
    QCOMPARE(o.seconds, seconds);
    const QString parsedLimits = o.expectDistance
        ? QStringLiteral("%1:%2 %3").arg(o.minDistance).arg(o.maxDistance).arg(o.maxStdDistance)
        : QString();
    QCOMPARE(parsedLimits, limits);
    QCOMPARE(o.limitStdDistance, !limits.isEmpty());
}

void TestCapture::refusedOptions_data()
{
    QTest::addColumn<QStringList>("arguments");

    const QString port = QStringLiteral("--port=/dev/ttyUSB0");
    QTest::newRow("no port") << QStringList { "--frames", "10" };
    QTest::newRow("empty port") << QStringList { "--port", "" };
    QTest::newRow("rate the device lacks") << QStringList { port, "--rate", "50" };
    QTest::newRow("baud zero") << QStringList { port, "--baud", "0" };
    QTest::newRow("no frames") << QStringList { port, "--frames", "0" };
    QTest::newRow("negative frames") << QStringList { port, "--frames", "-5" };
    QTest::newRow("frames and seconds") << QStringList { port, "--frames", "5", "--seconds", "1" };
    QTest::newRow("no time") << QStringList { port, "--seconds", "0" };
    QTest::newRow("endless time") << QStringList { port, "--seconds", "inf" };
    QTest::newRow("time not a number") << QStringList { port, "--seconds", "nan" };
    QTest::newRow("time past the timer") << QStringList { port, "--seconds", "1e7" };
    QTest::newRow("range upside down") << QStringList { port, "--expect-distance", "3000:2000" };
    QTest::newRow("range of one number") << QStringList { port, "--expect-distance", "3000" };
    QTest::newRow("range of text") << QStringList { port, "--expect-distance", "a:b" };
    QTest::newRow("negative deviation") << QStringList { port, "--max-std-distance", "-1" };
    QTest::newRow("unknown summary") << QStringList { port, "--summary", "xml" };
    QTest::newRow("empty CSV name") << QStringList { port, "--csv", "" };
    QTest::newRow("error limit without a reference") << QStringList { port, "--max-error", "2" };
    QTest::newRow("reference of text") << QStringList { port, "--reference", "1.5m" };
    QTest::newRow("negative error limit")
        << QStringList { port, "--reference", "1500", "--max-error", "-1" };
    QTest::newRow("stray argument") << QStringList { port, "/dev/ttyUSB1" };
}

void TestCapture::refusedOptions()
{
    QFETCH(QStringList, arguments);
    CaptureOptions o;
    o.rateHz = 42; // left alone unless the whole command line is good
    QString message;
    QCOMPARE(CaptureOptions::parse(QStringList { "tav47-capture" } + arguments, &o, &message),
             CaptureOptions::Invalid);
    QVERIFY(!message.isEmpty());
    QCOMPARE(o.rateHz, 42);
}

void TestCapture::summary_data()
{
    QTest::addColumn<QList<int>>("distances"); // energy twice, ambient three times each
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("stdDev");
    QTest::addColumn<double>("newest10");
    QTest::addColumn<double>("noise"); // -1: null, no two frames; figures from Python

    QTest::newRow("no frames") << QList<int>() << 0.0 << 0.0 << 0.0 << -1.0;
    QTest::newRow("one frame") << QList<int> { 1500 } << 1500.0 << 0.0 << 1500.0 << -1.0;
    // Divisor n: the sample deviation (n - 1) would be 2.138.
    QTest::newRow("population deviation")
        << QList<int> { 2, 4, 4, 4, 5, 5, 7, 9 } << 5.0 << 2.0 << 5.0 << 0.6546536707079771;
    // A steady ramp is motion, not noise.
    QTest::newRow("newest ten of twelve") << QList<int> { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 }
                                          << 6.5 << std::sqrt(143.0 / 12) << 7.5 << 0.0;
    QList<int> many;
    for (int i = 0; i < 100000; ++i)
        many.append(65535 - i % 2);
    QTest::newRow("many large values, small spread")
        << many << 65534.5 << 0.5 << 65534.5 << 0.7071067811511914;
    QList<int> gaussian;
    for (quint32 d : gaussianDistances(10000))
        gaussian.append(int(d));
    QTest::newRow("10000 frames of Gaussian noise, 3 mm")
        << gaussian << 1999.9076 << 2.9989768655326436 << 2001.5 << 2.9968146538958624;
}

void TestCapture::summary()
{
    QFETCH(QList<int>, distances);
    QFETCH(double, mean);
    QFETCH(double, stdDev);
    QFETCH(double, newest10);
    QFETCH(double, noise);
    const double rate = distances.size() > 1 ? 100.0 : 0.0; // read 10 ms apart, over 2 s
    CaptureStats stats;
    qint64 readNs = 0;
    for (int d : qAsConst(distances)) {
        Measurement m;
        m.distance = quint32(d);
        m.energy = quint32(2 * d);
        m.ambient = quint32(3 * d);
        stats.add(m, readNs += 10000000);
    }
    stats.framesNotWritten = 5;
    stats.seconds = 2;
    stats.bytesReceived = 9 * quint64(distances.size()) + 7;
    stats.bytesOutsideFrames = 7;
    stats.checksumErrors = 1;
    stats.hasReference = true;
    stats.reference = 1000;

    QJsonParseError error;
    const QByteArray json = stats.json();
    QCOMPARE(json.count('\n'), 1);
    const QJsonObject o = QJsonDocument::fromJson(json, &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, json.constData());
    QCOMPARE(o.keys(),
             QStringList({ "ambient", "bytes_outside_frames", "bytes_received", "checksum_errors",
                           "distance", "distance_error", "distance_mean_newest10", "distance_noise",
                           "distance_reference", "energy", "frames", "frames_not_written",
                           "frames_per_second", "seconds" }));
    QCOMPARE(o.value("frames").toInt(), distances.size());
    QCOMPARE(o.value("frames_not_written").toInt(), 5);
    QCOMPARE(o.value("frames_per_second").toDouble(), rate);
    QCOMPARE(o.value("bytes_received").toInt(), 9 * distances.size() + 7);
    QCOMPARE(o.value("bytes_outside_frames").toInt(), 7);
    QCOMPARE(o.value("checksum_errors").toInt(), 1);
    const bool any = !distances.isEmpty();
    QCOMPARE(o.value("distance_mean_newest10").isNull(), !any);
    QVERIFY(near(o.value("distance_mean_newest10").toDouble(), newest10));
    QCOMPARE(o.value("distance_noise").isNull(), noise < 0);
    QVERIFY(near(o.value("distance_noise").toDouble(), qMax(noise, 0.0)));
    QCOMPARE(o.value("distance_reference").toDouble(), 1000.0);
    QCOMPARE(o.value("distance_error").isNull(), !any);
    QVERIFY(near(o.value("distance_error").toDouble(), any ? mean - 1000 : 0.0));
    int factor = 1;
    for (const char *name : { "distance", "energy", "ambient" }) {
        const QJsonObject c = o.value(QLatin1String(name)).toObject();
        QCOMPARE(c.keys(), QStringList({ "count", "max", "mean", "min", "std_dev" }));
        QCOMPARE(c.value("count").toInt(), distances.size());
        QCOMPARE(c.value("mean").isNull(), !any);
        QVERIFY2(near(c.value("mean").toDouble(), factor * mean), name);
        QVERIFY2(near(c.value("std_dev").toDouble(), factor * stdDev), name);
        if (any) {
            const auto [min, max] = std::minmax_element(distances.begin(), distances.end());
            QCOMPARE(c.value("min").toInt(), factor * *min);
            QCOMPARE(c.value("max").toInt(), factor * *max);
        }
        ++factor;
    }

    // The text form: the channel table's columns line up under its heading.
    const QList<QByteArray> lines = stats.text().split('\n');
    int heading = 0;
    while (heading < lines.size() && !lines[heading].contains("std dev"))
        ++heading;
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(lines.value(heading + i).size(), lines.value(heading).size());
    QVERIFY(lines.value(0).startsWith("frames captured"));
    QVERIFY2(lines.contains("frames per second         " + QByteArray::number(rate, 'f', 1)),
             stats.text().constData());
}

void TestCapture::limits_data()
{
    QTest::addColumn<QStringList>("arguments"); // besides --port
    QTest::addColumn<int>("everyUs"); // between the reads of ten frames, 1037 and 2850 mm
    QTest::addColumn<QString>("missed"); // how the complaints start; empty: none

    const QStringList at200 { "--rate", "200" };
    QTest::newRow("distances on the bounds")
        << QStringList { "--expect-distance", "1037:2850" } << 10000 << QString();
    QTest::newRow("rate at half the commanded") << at200 << 10000 << QString();
    QTest::newRow("rate below half the commanded")
        << at200 << 10100
        << "rate limit missed: measured 99.0 frames per second, needed at least 100";
    QTest::newRow("listening, with a limit of one's own")
        << (at200 + QStringList { "--listen", "--min-rate", "150.5" }) << 10000
        << "rate limit missed: measured 100.0 frames per second, needed at least 150.5";
    QTest::newRow("frames read at once: no rate to miss") << at200 << 0 << QString();
    // The mean of the ten is 1943.5 mm.
    QTest::newRow("error on the limit")
        << QStringList { "--reference", "1943", "--max-error", "0.5" } << 10000 << QString();
    QTest::newRow("error beyond the limit")
        << QStringList { "--reference", "1990", "--max-error", "40" } << 10000
        << "distance error limit missed: measured -46.500 mm, allowed at most 40 mm either way";
}

void TestCapture::limits()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, everyUs);
    QFETCH(QString, missed);
    CaptureOptions o;
    QString message;
    QCOMPARE(CaptureOptions::parse(QStringList { "tav47-capture", "--port", "p" } + arguments, &o,
                                   &message),
             CaptureOptions::Run);
    CaptureStats stats;
    for (int i = 0; i < 10; ++i) {
        Measurement m;
        m.distance = i % 2 ? 1037 : 2850;
        stats.add(m, qint64(i) * everyUs * 1000);
    }
    const QString got = missedLimits(o, stats).join('\n');
    QVERIFY2(missed.isEmpty() ? got.isEmpty() : got.startsWith(missed), qPrintable(got));
}

// Started 50 ms past a second of the monotonic clock, where the 5 % a coarse
// timer may take would wake it on the whole second, 50 ms early.
void TestCapture::silenceIsAMinimum()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    QTest::qSleep(int((1050 - now.tv_nsec / 1000000) % 1000));
    QElapsedTimer clock; // started first, so never behind the watch's own
    clock.start();
    SilenceWatch watch;
    QSignalSpy spy(&watch, &SilenceWatch::silent);
    watch.start(2000);
    QVERIFY(spy.wait(10000));
    QVERIFY2(clock.nsecsElapsed() >= 2000000000, qPrintable(QString::number(clock.nsecsElapsed())));
}

void TestCapture::capture_data()
{
    QTest::addColumn<QStringList>("arguments"); // besides --port, --summary json and --csv
    QTest::addColumn<QByteArray>("prelude");
    QTest::addColumn<Stream>("stream");
    QTest::addColumn<int>("unitsPerSecond");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("exactCounters"); // the stream ends with the last frame taken
    QTest::addColumn<QList<QByteArray>>("commands");

    const auto full = fullSequence(1);
    QTest::newRow("1000 frames at 1800 Hz")
        << QStringList { "--rate", "1800", "--frames", "1000" } << QByteArray() << makeStream(1000)
        << 1800 << 1000 << true << fullSequence(5);
    QTest::newRow("frames past the count are left out")
        << QStringList { "--frames", "50" } << QByteArray() << makeStream(60) << 0 << 50 << false
        << full;
    QTest::newRow("noise between frames") << QStringList { "--frames", "300" } << QByteArray()
                                          << makeStream(300, 3) << 0 << 300 << true << full;
    QTest::newRow("frames failing their checksum")
        << QStringList { "--frames", "300" } << QByteArray() << makeStream(300, 0, 10) << 0 << 300
        << true << full;
    // A device still streaming when the port opens, cut off mid-frame.
    QByteArray stale;
    for (const QByteArray &unit : makeStream(30).units)
        stale += unit;
    stale += QByteArray::fromHex("aa55010412");
    QTest::newRow("what a streaming device sent before the stop is dropped")
        << QStringList { "--frames", "100" } << stale << makeStream(100, 4) << 0 << 100 << true
        << full;
    QTest::newRow("listening sends nothing")
        << QStringList { "--listen", "--frames", "100" } << QByteArray() << makeStream(100, 5)
        << 1800 << 100 << true << QList<QByteArray>();
    QTest::newRow("CSV on standard output, summary on standard error")
        << QStringList { "--frames", "100", "--csv", "-" } << QByteArray() << makeStream(100)
        << 1800 << 100 << true << full;
}

// A capture that runs its course records every frame sent, in order, and
// counts the line as the device wrote it.
void TestCapture::capture()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, prelude);
    QFETCH(Stream, stream);
    QFETCH(int, unitsPerSecond);
    QFETCH(int, rows);
    QFETCH(bool, exactCounters);
    QFETCH(QList<QByteArray>, commands);

    Feeder device;
    QVERIFY(!device.path.isEmpty());
    device.prelude = prelude;
    device.stream = stream;
    device.unitsPerSecond = unitsPerSecond;
    device.streamOnOpen = arguments.contains("--listen");
    QTemporaryDir dir;
    const bool toStdout = arguments.contains("-");
    const QString csv = dir.filePath("capture.csv");
    if (!toStdout)
        arguments << "--csv" << csv;
    const Run run
        = runCapture(QStringList { "--port", device.path, "--summary", "json" } + arguments);
    QVERIFY2(run.exitCode == ExitCode::Captured, run.err.constData());

    QFile file(csv);
    QVERIFY(toStdout || file.open(QIODevice::ReadOnly));
    QString error;
    const QList<Measurement> written = csvRows(toStdout ? run.out : file.readAll(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(written.size(), rows);
    for (int i = 0; i < rows; ++i)
        QVERIFY2(sameValues(written[i], stream.frames[i]), qPrintable(QString::number(i)));

    const QJsonObject summary = QJsonDocument::fromJson(toStdout ? run.err : run.out).object();
    QCOMPARE(summary.value("frames").toInt(), rows);
    error = checkSummary(summary, written);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(quint64(summary.value("checksum_errors").toInt()), stream.checksumErrors);
    if (exactCounters) {
        QCOMPARE(quint64(summary.value("bytes_received").toInt()), stream.bytes);
        QCOMPARE(quint64(summary.value("bytes_outside_frames").toInt()), stream.outside);
    }
    QCOMPARE(device.commands(), commands);
}

void TestCapture::endings_data()
{
    QTest::addColumn<QStringList>("arguments"); // besides --port and --summary json
    // "file": one in a fresh folder; "fifo": a FIFO there that nobody reads;
    // "-": standard output; "blocked": a file whose notes are a folder.
    QTest::addColumn<QString>("csv");
    QTest::addColumn<QString>("shell"); // the program run as "$0" "$@" in it; empty: directly
    QTest::addColumn<int>("frames"); // the device sends this many once started
    QTest::addColumn<int>("hangUpAfterMs"); // once they are out; < 0: never
    QTest::addColumn<int>("signal"); // sent after 200 frames
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // <port>: the port's path; <cwd>: the current folder
    QTest::addColumn<QList<QByteArray>>("commands");

    const QString file = QStringLiteral("file");
    const QString direct;
    const auto full = fullSequence(1);
    const QByteArray stop = Commands.frame(CommandTable::StopScan);
    const QStringList fifty { "--frames", "50" };
    QTest::newRow("0: limits met")
        << (fifty + QStringList { "--expect-distance", "1000:4000", "--max-std-distance", "900" })
        << file << direct << 50 << -1 << 0 << ExitCode::Captured << QString() << full;
    QTest::newRow("0: frames flowing past the silence timeout")
        << QStringList { "--seconds", "2.5" } << file << direct << 100000 << -1 << 0
        << ExitCode::Captured << QString() << full;
    QTest::newRow("0: notes that cannot be written leave the capture alone")
        << fifty << "blocked" << direct << 50 << -1 << 0 << ExitCode::Captured
        << "capture.json cannot be written" << full;
    QTest::newRow("2: the port cannot be opened")
        << QStringList { "--port", "/nonexistent/tty" } << file << direct << 0 << -1 << 0
        << ExitCode::PortFailed << "cannot open /nonexistent/tty: No such file"
        << QList<QByteArray>();
    QTest::newRow("2: a relative port, from the current folder")
        << QStringList { "--port", "nonexistent/tty" } << file << direct << 0 << -1 << 0
        << ExitCode::PortFailed << "cannot open <cwd>/nonexistent/tty: No such file"
        << QList<QByteArray>();
    QTest::newRow("3: a silent device")
        << QStringList { "--seconds", "5" } << file << direct << 0 << -1 << 0 << ExitCode::NoFrames
        << "no measurement frame within 2 s" << full;
    QTest::newRow("3: listening to a silent device")
        << QStringList { "--listen" } << file << direct << 0 << -1 << 0 << ExitCode::NoFrames
        << "no measurement frame within 2 s" << QList<QByteArray>();
    QTest::newRow("3: a device that goes quiet")
        << QStringList { "--frames", "1000", "--silence-timeout", "1" } << file << direct << 40
        << -1 << 0 << ExitCode::NoFrames << "no measurement frame for 1 s after frame 40" << full;
    QTest::newRow("4: the device hangs up")
        << QStringList { "--frames", "1000" } << file << direct << 40 << 300 << 0
        << ExitCode::DeviceLost << "<port> 已断开：设备被拔出或断电。 系统信息：" << full.mid(0, 4);
    QTest::newRow("4: the device hangs up right after its last frames")
        << QStringList { "--frames", "1000" } << file << direct << 40 << 0 << 0
        << ExitCode::DeviceLost << "<port> 已断开" << full.mid(0, 4);
    QTest::newRow("5: the CSV cannot be written")
        << fifty << "/dev/full" << direct << 50 << -1 << 0 << ExitCode::CsvFailed
        << "/dev/full:" << QList<QByteArray> { stop };
    QTest::newRow("5: a FIFO nobody reads, refused at once")
        << fifty << "fifo" << direct << 50 << -1 << 0 << ExitCode::CsvFailed
        << "fifo: no program is reading from this pipe" << QList<QByteArray> { stop };
    QTest::newRow("5: the CSV's reader went away")
        << fifty << "-"
        << "\"$0\" \"$@\" | head -c 1 >/dev/null" << 50 << -1 << 0 << ExitCode::CsvFailed
        << "-:" << full;
    // The first rows reach the file 1 s after it was opened, the next a second later.
    QTest::newRow("5: the file size limit reached mid-capture")
        << QStringList { "--frames", "3000" } << file << "ulimit -f 40; \"$0\" \"$@\"" << 3000 << -1
        << 0 << ExitCode::CsvFailed << "File too large" << full;
    QTest::newRow("5: the summary cannot be written")
        << fifty << file << "\"$0\" \"$@\" >/dev/full" << 50 << -1 << 0 << ExitCode::CsvFailed
        << "cannot write the summary: No space left on device" << full;
    QTest::newRow("5: no standard output")
        << fifty << file << "\"$0\" \"$@\" >&-" << 50 << -1 << 0 << ExitCode::CsvFailed
        << "cannot write the summary: Bad file descriptor" << full;
    QTest::newRow("6: a distance out of range")
        << (fifty + QStringList { "--expect-distance", "1500:4000" }) << file << direct << 50 << -1
        << 0 << ExitCode::LimitMissed
        << "distance limit missed: measured 1037 to 2850 mm, allowed "
           "1500 to 4000 mm"
        << full;
    QTest::newRow("6: too wide a spread")
        << (fifty + QStringList { "--max-std-distance", "10" }) << file << direct << 50 << -1 << 0
        << ExitCode::LimitMissed << "distance deviation limit missed: measured 533.9" << full;
    QTest::newRow("130: SIGINT") << QStringList() << file << direct << 100000 << -1 << SIGINT
                                 << ExitCode::Interrupted << "interrupted" << full;
    QTest::newRow("143: SIGTERM") << QStringList() << file << direct << 100000 << -1 << SIGTERM
                                  << ExitCode::Terminated << "terminated" << full;
}

// However a capture ends, the device is told to stop where it can be, and the
// CSV and the summary hold exactly the frames captured.
void TestCapture::endings()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, csv);
    QFETCH(QString, shell);
    QFETCH(int, frames);
    QFETCH(int, hangUpAfterMs);
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QList<QByteArray>, commands);

    Feeder device;
    QVERIFY(!device.path.isEmpty());
    device.stream = makeStream(frames);
    device.unitsPerSecond = 1800;
    device.streamOnOpen = arguments.contains("--listen");
    device.hangUpAfterMs = hangUpAfterMs;
    QTemporaryDir dir;
    const QString notes = dir.filePath("capture.json");
    if (csv == QLatin1String("blocked"))
        QVERIFY(QDir().mkdir(notes));
    if (csv == QLatin1String("file") || csv == QLatin1String("blocked"))
        csv = dir.filePath("capture.csv");
    if (csv == QLatin1String("fifo")) {
        csv = dir.filePath("fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(csv).constData(), 0600), 0);
    }
    QStringList all { "--port", device.path, "--summary", "json", "--csv", csv };
    all += arguments; // a --port of the row's own comes last, and wins
    qint64 pid = 0;
    device.framesBeforeCall = signal ? 200 : 0;
    device.call = [&pid, signal] {
        ::kill(pid_t(pid), signal);
    };
    const Run run = runCapture(
        all, [&pid](qint64 started) { pid = started; }, shell);

    QCOMPARE(run.exitCode, exitCode);
    message.replace(QLatin1String("<port>"), device.path)
        .replace(QLatin1String("<cwd>"), QDir::currentPath());
    QVERIFY2(QString::fromLocal8Bit(run.err).contains(message), run.err.constData());
    QCOMPARE(device.commands(), commands);
    if (exitCode == ExitCode::PortFailed) {
        QVERIFY(run.out.isEmpty());
        QVERIFY2(!QFile::exists(csv), "a port that failed must leave the file alone");
        return;
    }
    if (message.startsWith(QLatin1String("cannot write the summary")))
        return;
    const QByteArray summaryText = csv == QLatin1String("-") ? run.err : run.out;
    const QJsonObject summary
        = QJsonDocument::fromJson(summaryText.left(summaryText.indexOf('\n'))).object();
    QVERIFY2(summary.contains("frames"), summaryText.constData());
    // Frames are lost with a CSV that fails once the device was started.
    const bool lost = exitCode == ExitCode::CsvFailed && commands.size() > 1;
    QCOMPARE(summary.value("frames_not_written").toInt() > 0, lost);
    if (!QFileInfo(csv).isFile())
        return;
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString error;
    const QList<Measurement> rows = csvRows(file.readAll(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rows.size(), summary.value("frames").toInt());
    for (int i = 0; i < rows.size(); ++i)
        QVERIFY(sameValues(rows[i], device.stream.frames[i]));
    error = checkSummary(summary, rows);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    // Every whole frame read is written, those of the last read before a
    // hang-up too (the system drops what was not read by then); and what was
    // sent well before a hang-up or a silence was read.
    if (hangUpAfterMs >= 0)
        QCOMPARE(rows.size(), summary.value("bytes_received").toInt() / frameOf({}).size());
    if (hangUpAfterMs > 0 || exitCode == ExitCode::NoFrames)
        QCOMPARE(rows.size(), frames);
    if (signal) // ended mid-stream, not before it
        QVERIFY(!rows.isEmpty());

    // The notes beside: the port opened and the device started at 0, and how
    // it ended.
    QFile notesFile(notes);
    if (!notesFile.open(QIODevice::ReadOnly)) {
        QVERIFY(QFileInfo(notes).isDir());
        return;
    }
    const bool listen = arguments.contains("--listen");
    QStringList expected { "open" };
    if (!listen)
        expected << "start";
    if (exitCode == ExitCode::DeviceLost)
        expected << "device_lost";
    else
        expected << (listen ? QStringList() : QStringList { "stop" }) << "close";
    const QJsonObject o = QJsonDocument::fromJson(notesFile.readAll()).object();
    QCOMPARE(o.value("program").toString(), QStringLiteral("tav47-capture"));
    QCOMPARE(o.value("port").toString(), device.path);
    QStringList events;
    double last = 0;
    for (const QJsonValue &e : o.value("events").toArray()) {
        events.append(e["event"].toString());
        QVERIFY(e["elapsed_s"].toDouble() >= last);
        last = e["elapsed_s"].toDouble();
    }
    QCOMPARE(events, expected);
}

// A tool for scripts and rigs: help without any window system, and no GUI
// library loaded at all.
void TestCapture::headless()
{
    const Run help = runCapture({ "--help" });
    QCOMPARE(help.exitCode, 0);
    const QString text = QString::fromLocal8Bit(help.out);
    for (const char *option :
         { "--port", "--baud", "--rate", "--frames", "--seconds", "--csv", "--summary", "--listen",
           "--expect-distance", "--max-std-distance", "--reference", "--max-error", "--quiet" })
        QVERIFY2(text.contains(QLatin1String(option)), option);
    for (int code : ExitCode::All)
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("\\n +%1 ").arg(code))),
                 qPrintable(QString::number(code)));

    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), { QStringLiteral(TAV47_CAPTURE_PATH) });
    QVERIFY(ldd.waitForFinished(10000));
    const QString libraries = QString::fromLocal8Bit(ldd.readAllStandardOutput());
    QVERIFY2(libraries.contains("libQt5SerialPort"), qPrintable(libraries));
    QVERIFY2(!libraries.contains("libQt5Gui") && !libraries.contains("libQt5Widgets"),
             qPrintable(libraries));
}

QTEST_GUILESS_MAIN(TestCapture)
#include "tst_capture.moc"

// tav47-floor: the least any program can spend on the device's stream. It
// opens the port with the tool's line settings, sends the tool's start
// sequence, and takes in every byte as the tool does (readyRead, readAll),
// only counting them. bench/e2e divides the tool's CPU by this one's.
//
// The options and the summary lines are those of tav47-demo, so that one
// script drives both alike; frames are the bytes over the frame size.

#include "commandtable.h"
#include "devicecontrol.h"
#include "runstats.h"
#include "serialline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace {

constexpr qint32 BaudRate = 460800; // the first entry of the window's baud list
constexpr int FrameBytes = 9;
// As the demo: after the stop, what is still on the line is read this long.
constexpr int DrainMs = 300;
bool readSeconds(const QString &text, double least, double *seconds)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    // Timers take whole milliseconds in an int.
    if (!ok || !std::isfinite(value) || value < least || value > 30.0 * 24 * 3600)
        return false;
    *seconds = value;
    return true;
}

void complain(const QString &message)
{
    std::fprintf(stderr, "tav47-floor: %s\n", qPrintable(message));
}

class Reader : public QObject
{
public:
    Reader(const QString &portName, const QElapsedTimer &runClock)
        : m_control(&m_port)
        , m_runClock(runClock)
    {
        SerialLine::configure(m_port, portName, BaudRate);
        connect(&m_port, &QSerialPort::readyRead, this,
                [this] { m_bytes += quint64(m_port.readAll().size()); });
        connect(&m_port, &QSerialPort::errorOccurred, this,
                [this](QSerialPort::SerialPortError error) {
                    if (m_port.isOpen() && SerialLine::isDeviceLost(error)) {
                        m_port.close();
                        fail(QStringLiteral("the port closed during the run"));
                    }
                });
        connect(&m_control, &DeviceControl::startFinished, this,
                [this](DeviceControl::Result result) {
                    if (result != DeviceControl::Sent)
                        fail(QStringLiteral("the start sequence could not be sent"));
                });
    }

    // Opens the port, as the tool's Open does, and starts the scan when
    // rateCode is 0 or more.
    bool begin(int rateCode)
    {
        if (!m_port.open(QIODevice::ReadWrite)) {
            fail(QStringLiteral("cannot open %1: %2").arg(m_port.portName(), m_port.errorString()));
            return false;
        }
        // The tool stops a device that may still be streaming from before.
        if (m_control.send(CommandTable::StopScan) != DeviceControl::Sent) {
            fail(QStringLiteral("cannot write to %1").arg(m_port.portName()));
            return false;
        }
        if (rateCode >= 0) {
            m_control.start(rateCode);
            m_started = true;
        }
        return true;
    }

    void finish()
    {
        if (m_started && m_port.isOpen()) {
            m_started = false;
            m_control.stop();
            QTimer::singleShot(DrainMs, QCoreApplication::instance(), &QCoreApplication::quit);
            return;
        }
        QCoreApplication::quit();
    }

    RunSummary summary() const
    {
        RunSummary s;
        s.frames = m_bytes / FrameBytes;
        s.bytes = m_bytes;
        s.seconds = double(m_runClock.nsecsElapsed()) / 1e9;
        s.usage = ProcessUsage::now();
        return s;
    }

    bool failed() const { return m_failed; }

private:
    void fail(const QString &message)
    {
        complain(message);
        m_failed = true;
    }

    QSerialPort m_port;
    DeviceControl m_control;
    const QElapsedTimer &m_runClock;
    quint64 m_bytes = 0;
    bool m_started = false;
    bool m_failed = false;
};

void printLine(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer runClock;
    runClock.start();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tav47-floor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Opens <path>, starts the scan and counts the bytes received, nothing else:\n"
        "the floor of what reading the stream costs. Prints tav47-demo's summary line."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("The serial port to read (required)."),
                                        QStringLiteral("path"));
    const QCommandLineOption openOption(
        QStringLiteral("open"), QStringLiteral("Accepted for tav47-demo's sake: always opened."));
    const QCommandLineOption startOption(
        QStringLiteral("start"),
        QStringLiteral("Start the scan at <hz> (10, 100, 200, 500, 1000 or 1800); without it "
                       "the port is only opened."),
        QStringLiteral("hz"));
    const QCommandLineOption quitOption(QStringLiteral("quit-after"),
                                        QStringLiteral("Quit after <seconds>."),
                                        QStringLiteral("seconds"));
    const QCommandLineOption statsOption(
        QStringLiteral("stats-every"),
        QStringLiteral("Print the summary line every <seconds> while running, too."),
        QStringLiteral("seconds"));
    parser.addOptions({ portOption, openOption, startOption, quitOption, statsOption });
    parser.process(app);

    const QString port = parser.value(portOption);
    if (port.isEmpty()) {
        complain(QStringLiteral("--port is required"));
        return 2;
    }
    int rateCode = -1;
    if (parser.isSet(startOption)) {
        rateCode = CommandTable::rateCode(parser.value(startOption).toInt());
        if (rateCode < 0) {
            complain(QStringLiteral("--start must be one of 10, 100, 200, 500, 1000, 1800"));
            return 2;
        }
    }
    double quitAfter = -1.0;
    if (parser.isSet(quitOption) && !readSeconds(parser.value(quitOption), 0.0, &quitAfter)) {
        complain(QStringLiteral("--quit-after needs a number of seconds, 0 or more"));
        return 2;
    }
    double statsEvery = 0.0;
    if (parser.isSet(statsOption) && !readSeconds(parser.value(statsOption), 0.1, &statsEvery)) {
        complain(QStringLiteral("--stats-every needs a number of seconds, 0.1 or more"));
        return 2;
    }

    Reader reader(port, runClock);
    if (!reader.begin(rateCode)) {
        printLine(reader.summary().line());
        return 1;
    }
    if (quitAfter >= 0)
        QTimer::singleShot(int(quitAfter * 1000), Qt::PreciseTimer, &reader,
                           [&reader] { reader.finish(); });
    QTimer stats;
    if (statsEvery > 0) {
        QObject::connect(&stats, &QTimer::timeout, &reader,
                         [&reader] { printLine(reader.summary().line()); });
        stats.start(int(statsEvery * 1000));
    }

    int status = app.exec();
    printLine(reader.summary().line());
    if (status == 0 && reader.failed())
        status = 1;
    return status;
}

// tav47-sim: a simulated TAV47 on a pseudo-terminal, for trying the host tool
// (or any serial program) without the device.

#include "commandline.h"
#include "commandtable.h"
#include "simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "tav47-sim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tav47-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated TAV47 laser range finder on a pseudo-terminal.\n"
        "Prints the path of the serial port to open (one line on standard output),\n"
        "then answers like the device: rate frames (AA 55 64 01 <code> <sum>, codes\n"
        "0-5 = 10, 100, 200, 500, 1000, 1800 Hz) set the rate, AA 55 60 00 5F starts\n"
        "and AA 55 61 00 60 stops the stream of measurement frames\n"
        "AA 55 01 04 <distance lo> <distance hi> <energy> <ambient> <sum>.\n"
        "The target moves slowly between 1500 and 4000 mm with a few mm of noise.\n"
        "Runs until interrupted (Ctrl+C, SIGTERM) or until --count frames are sent."));
    const QCommandLineOption rateOption(
        { QStringLiteral("r"), QStringLiteral("rate") },
        QStringLiteral("Stream from the start at <hz> (10, 100, 200, 500, 1000 or 1800) "
                       "instead of waiting for a start frame."),
        QStringLiteral("hz"));
    const QCommandLineOption seedOption(
        { QStringLiteral("s"), QStringLiteral("seed") },
        QStringLiteral("Seed of the measurement noise and line noise (default 1)."),
        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption countOption(
        { QStringLiteral("n"), QStringLiteral("count") },
        QStringLiteral("Exit after sending <frames> measurement frames (0: never, the "
                       "default). The port stays open 300 ms more for the reader."),
        QStringLiteral("frames"), QStringLiteral("0"));
    const QCommandLineOption noiseOption(
        QStringLiteral("noise"),
        QStringLiteral("Put random bytes between the frames, <fraction> of all the bytes "
                       "sent (0 to 0.9; default 0)."),
        QStringLiteral("fraction"), QStringLiteral("0"));
    const QCommandLineOption baudOption(
        QStringLiteral("baud"),
        QStringLiteral("The device's baud rate: a host whose port is set to another reads "
                       "the garbled bytes a real line would give it (default 0: any rate works)."),
        QStringLiteral("rate"), QStringLiteral("0"));
    const QCommandLineOption statsOption(
        QStringLiteral("stats"),
        QStringLiteral("At exit, print the counters (frames sent, frames intact, false "
                       "frames, noise bytes, frames skipped, bytes sent) on standard error."));
    // Wrong usage exits 1, as it did when QCommandLineParser::process answered it.
    QString message;
    const CommandLine::Outcome outcome = CommandLine::parse(
        parser, { rateOption, seedOption, countOption, noiseOption, baudOption, statsOption },
        QCoreApplication::arguments(), QStringLiteral("unexpected argument '%1'"), &message);
    if (const int status = CommandLine::status(outcome, message, "tav47-sim", 1); status >= 0)
        return status;

    SimulatorOptions options;
    if (parser.isSet(rateOption)) {
        int hz = 0;
        if (!CommandLine::readRateHz(parser.value(rateOption), &hz))
            return fail(QStringLiteral("--rate must be one of 10, 100, 200, 500, 1000, 1800"));
        options.rateCode = CommandTable::rateCode(hz);
    }
    if (!CommandLine::readWhole(parser.value(seedOption), 0U, &options.seed))
        return fail(QStringLiteral("--seed needs an unsigned number"));
    if (!CommandLine::readWhole(parser.value(countOption), quint64(0), &options.frameLimit))
        return fail(QStringLiteral("--count needs an unsigned number"));
    if (!CommandLine::readNumber(parser.value(noiseOption), 0.0, 0.9, &options.noiseFraction))
        return fail(QStringLiteral("--noise needs a fraction from 0 to 0.9"));
    if (!CommandLine::readWhole(parser.value(baudOption), 0, &options.baud))
        return fail(QStringLiteral("--baud needs a whole number"));

    // A reader of standard output that went away (| head -1) must not end
    // the device under a host that is still using it.
    CommandLine::ignoreWriteSignals();
    // SIGINT and SIGTERM quit the event loop, so that the counters are
    // printed and the pseudo-terminal is closed in order.
    if (!CommandLine::handleStopSignals(&app, [](int) { QCoreApplication::quit(); }))
        return fail(QStringLiteral("cannot set up signal handling"));

    Tav47Simulator simulator(options);
    if (!simulator.open())
        return fail(simulator.errorString());
    std::printf("%s\n", qPrintable(simulator.portPath()));
    std::fflush(stdout);

    QObject::connect(&simulator, &Tav47Simulator::finished, &app,
                     [] { QTimer::singleShot(300, &QCoreApplication::quit); });

    const int status = app.exec();
    simulator.closeMaster();
    if (parser.isSet(statsOption)) {
        std::fprintf(stderr,
                     "frames sent: %llu\nframes intact: %llu\nfalse frames: %llu\n"
                     "noise bytes: %llu\nframes skipped: %llu\nbytes sent: %llu\n",
                     static_cast<unsigned long long>(simulator.framesSent()),
                     static_cast<unsigned long long>(simulator.framesIntact()),
                     static_cast<unsigned long long>(simulator.falseFrames()),
                     static_cast<unsigned long long>(simulator.noiseBytes()),
                     static_cast<unsigned long long>(simulator.framesSkipped()),
                     static_cast<unsigned long long>(simulator.bytesSent()));
    }
    return status;
}

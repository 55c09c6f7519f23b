#include "demooptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

// Timers take whole milliseconds in an int: a month is plenty.
constexpr double MostSeconds = 30.0 * 24 * 3600;

} // namespace

DemoOptions::Outcome DemoOptions::parse(const QStringList &arguments, DemoOptions *options,
                                        QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The TAV47 host tool with a simulated range finder on a pseudo-terminal.\n"
        "The simulated port is selected in the port list: click Open, then Start Scan.\n"
        "For unattended runs, the options below open the port, start the scan and\n"
        "quit; at exit one line goes to standard output:\n"
        "  frames=<decoded> bytes=<received> seconds=<run> cpu=<process seconds>\n"
        "  peak_rss_kib=<peak memory> rss_kib=<memory now> max_repaint_gap_ms=<longest\n"
        "  time received data waited for a chart repaint, after the first second>\n"
        "  repaints=<count>\n"
        "and, with the built-in simulator, sim_sent, sim_intact and sim_false."));
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Use the serial port <path> (a device, or the port tav47-sim prints) "
                       "instead of the built-in simulator."),
        QStringLiteral("path"));
    const QCommandLineOption openOption(QStringLiteral("open"),
                                        QStringLiteral("Open the port at start."));
    const QCommandLineOption startOption(
        QStringLiteral("start"),
        QStringLiteral("Open the port and start the scan at <hz> (10, 100, 200, 500, 1000 or "
                       "1800). A run that quits stops the scan first and reads what is "
                       "still on the line."),
        QStringLiteral("hz"));
    const QCommandLineOption quitOption(QStringLiteral("quit-after"),
                                        QStringLiteral("Quit after <seconds> (fractions allowed)."),
                                        QStringLiteral("seconds"));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the window to <file> (PNG, or as the name ends) just "
                       "before quitting."),
        QStringLiteral("file"));
    const QCommandLineOption statsOption(
        QStringLiteral("stats-every"),
        QStringLiteral("Print the summary line every <seconds> while running, too."),
        QStringLiteral("seconds"));
    const QCommandLineOption recordOption(
        QStringLiteral("record"),
        QStringLiteral("Record every measurement frame to the CSV file <file> from the start, "
                       "replacing it if it exists (- for standard output; the summary lines "
                       "then go to standard error); a write that fails fails the run."),
        QStringLiteral("file"));
    const Outcome outcome
        = CommandLine::parse(parser,
                             { portOption, openOption, startOption, quitOption, screenshotOption,
                               statsOption, recordOption },
                             arguments, QStringLiteral("Unexpected argument '%1'."), error);
    if (outcome != Run)
        return outcome;
    DemoOptions parsed;
    if (parser.isSet(portOption)
        && !CommandLine::readPort(parser.value(portOption), &parsed.port)) {
        *error = QStringLiteral("--port needs a path.");
        return Invalid;
    }
    parsed.open = parser.isSet(openOption);
    if (parser.isSet(startOption)) {
        if (!CommandLine::readRateHz(parser.value(startOption), &parsed.startHz)) {
            *error = QStringLiteral("--start must be one of 10, 100, 200, 500, 1000, 1800.");
            return Invalid;
        }
        parsed.open = true;
    }
    if (parser.isSet(quitOption)
        && !CommandLine::readNumber(parser.value(quitOption), 0.0, MostSeconds,
                                    &parsed.quitAfterSeconds)) {
        *error = QStringLiteral("--quit-after needs a number of seconds, 0 or more.");
        return Invalid;
    }
    if (parser.isSet(screenshotOption)) {
        // Made absolute now: the window changes the current directory to the
        // executable's before the picture is taken.
        const QString file = parser.value(screenshotOption);
        parsed.screenshotFile = file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
        if (parsed.screenshotFile.isEmpty()) {
            *error = QStringLiteral("--screenshot needs a file name.");
            return Invalid;
        }
        if (parsed.quitAfterSeconds < 0) {
            *error = QStringLiteral("--screenshot is taken when quitting: give --quit-after.");
            return Invalid;
        }
    }
    // Below a tenth of a second the lines would cost more than what they measure.
    if (parser.isSet(statsOption)
        && !CommandLine::readNumber(parser.value(statsOption), 0.1, MostSeconds,
                                    &parsed.statsEverySeconds)) {
        *error = QStringLiteral("--stats-every needs a number of seconds, 0.1 or more.");
        return Invalid;
    }
    if (parser.isSet(recordOption)) {
        // Absolute now, as the screenshot's path; "-" is standard output, as
        // for tav47 (the summary line then goes to standard error).
        const QString file = parser.value(recordOption);
        parsed.recordFile = file.isEmpty() || file == QLatin1String("-")
            ? file
            : QFileInfo(file).absoluteFilePath();
        if (parsed.recordFile.isEmpty()) {
            *error = QStringLiteral("--record needs a file name.");
            return Invalid;
        }
    }
    *options = parsed;
    return Run;
}

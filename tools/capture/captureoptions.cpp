#include "captureoptions.h"

#include "commandtable.h"
#include "portlist.h"

#include <QCommandLineParser>

#include <limits>

namespace {

// The capture's timers take whole milliseconds in an int: 24 days.
constexpr double MostSeconds = 2000000.0;
constexpr double Unbounded = std::numeric_limits<double>::infinity();

const char Description[]
    = "Captures measurements of a TAV47 laser range finder on a serial port, with no\n"
      "window: opens the port, stops the device, discards what it still sends for\n"
      "100 ms, sets the rate, starts it (rate, start, start, 400 ms apart), captures,\n"
      "stops it again and prints a summary. Ctrl+C or SIGTERM ends the capture early\n"
      "the same way.\n"
      "\n"
      "The summary: frames captured (with --csv, the rows written) and frames\n"
      "received but not written, seconds, frames per second (from the first frame\n"
      "to the last: n - 1 frames over that time); bytes received,\n"
      "bytes that were not part of any frame and frames rejected by their checksum\n"
      "(all counted from the end of the discard, the start sequence included); for\n"
      "distance, energy and ambient the count, mean, population standard deviation\n"
      "(divisor n), minimum and maximum; the mean of the newest ten distances. Only\n"
      "frames that arrive after the start sequence are captured. The distance noise is\n"
      "the population standard deviation of the differences between successive\n"
      "distances, divided by the square root of 2: a noise that motion leaves alone.\n"
      "With --reference, the error: the mean distance less the reference.\n"
      "With --csv the rows are host_time,elapsed_s,distance_mm,energy,ambient.\n"
      "\n"
      "Exit codes:\n"
      "  0    captured, and every limit given was met\n"
      "  1    wrong usage\n"
      "  2    the port cannot be opened (the system's reason on standard error)\n"
      "  3    no measurement frame within 2 s (--silence-timeout) of the start of\n"
      "       the capture (with --listen, of opening the port), or of the last frame\n"
      "  4    the device was lost during the capture\n"
      "  5    the CSV file or the summary cannot be written\n"
      "  6    a limit was missed (which one, and by how much, on standard error),\n"
      "       the error included, and the rate: below half the commanded rate unless\n"
      "       --listen\n"
      "  130  interrupted (SIGINT, Ctrl+C)\n"
      "  143  terminated (SIGTERM)\n"
      "Whatever the exit code, once the port is open the device is sent the stop\n"
      "command at the end (unless --listen, or the device is gone), the CSV file\n"
      "holds every frame captured and the summary covers exactly the rows written.";

} // namespace

CaptureOptions::Outcome CaptureOptions::parse(const QStringList &arguments, CaptureOptions *options,
                                              QString *message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("The serial port, such as /dev/ttyUSB0 "
                                                 "(required)."),
                                  QStringLiteral("path"));
    const QCommandLineOption baud(
        QStringLiteral("baud"),
        QStringLiteral("Line speed in baud (default %1, as in the window).").arg(DefaultBaud),
        QStringLiteral("n"));
    const QCommandLineOption rate(
        QStringLiteral("rate"),
        QStringLiteral("Measurement rate: 10, 100, 200, 500, 1000 or 1800 (default %1).")
            .arg(DefaultRateHz),
        QStringLiteral("hz"));
    const QCommandLineOption frames(
        QStringLiteral("frames"),
        QStringLiteral("Capture exactly <n> measurement frames, however long it takes."),
        QStringLiteral("n"));
    const QCommandLineOption seconds(
        QStringLiteral("seconds"),
        QStringLiteral("Capture for <t> seconds (fractions allowed). Without --frames or "
                       "--seconds: %1 s.")
            .arg(DefaultSeconds),
        QStringLiteral("t"));
    const QCommandLineOption csv(
        QStringLiteral("csv"),
        QStringLiteral("Write every measurement frame to <file>, one row each; - is standard "
                       "output, and the summary then goes to standard error."),
        QStringLiteral("file"));
    const QCommandLineOption summary(
        QStringLiteral("summary"),
        QStringLiteral("Summary as aligned text for people (text, the default) or as one "
                       "JSON object for scripts (json)."),
        QStringLiteral("format"));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("Send nothing at all (no stop, rate or start): only read what the "
                       "device sends."));
    const QCommandLineOption expectDistance(
        QStringLiteral("expect-distance"),
        QStringLiteral("Limit: every distance captured lies within MIN to MAX mm."),
        QStringLiteral("MIN:MAX"));
    const QCommandLineOption maxStdDistance(
        QStringLiteral("max-std-distance"),
        QStringLiteral("Limit: the standard deviation of the distance is at most <mm>."),
        QStringLiteral("mm"));
    const QCommandLineOption reference(
        QStringLiteral("reference"),
        QStringLiteral("The target's true distance in mm: the summary adds the error, the "
                       "mean distance less it."),
        QStringLiteral("mm"));
    const QCommandLineOption maxError(
        QStringLiteral("max-error"),
        QStringLiteral("Limit: the error is at most <mm> either way (needs --reference)."),
        QStringLiteral("mm"));
    const QCommandLineOption minRate(
        QStringLiteral("min-rate"),
        QStringLiteral("Limit: at least <hz> frames per second (default: half the commanded "
                       "rate, none with --listen; 0: no limit)."),
        QStringLiteral("hz"));
    const QCommandLineOption silence(
        QStringLiteral("silence-timeout"),
        QStringLiteral("End the capture (exit 3) once no frame has come for <s> seconds "
                       "(default %1; 0: wait for ever).")
            .arg(DefaultSilenceSeconds),
        QStringLiteral("s"));
    const QCommandLineOption quiet(
        QStringLiteral("quiet"),
        QStringLiteral("No progress line on a terminal (errors and the summary remain)."));
    const Outcome outcome = CommandLine::parse(
        parser,
        { port, baud, rate, frames, seconds, csv, summary, listen, expectDistance, maxStdDistance,
          reference, maxError, minRate, silence, quiet },
        arguments, QStringLiteral("unexpected argument '%1'"), message);
    if (outcome != Run)
        return outcome;
    auto invalid = [message](const QString &reason) {
        *message = reason;
        return Invalid;
    };

    CaptureOptions parsed;
    parsed.port = portPath(parser.value(port));
    if (parsed.port.isEmpty())
        return invalid(QStringLiteral("--port is required"));
    if (parser.isSet(baud) && !CommandLine::readWhole(parser.value(baud), 1, &parsed.baud))
        return invalid(QStringLiteral("--baud needs a positive whole number"));
    if (parser.isSet(rate) && !CommandLine::readRateHz(parser.value(rate), &parsed.rateHz))
        return invalid(QStringLiteral("--rate must be one of 10, 100, 200, 500, 1000, 1800"));
    parsed.rateCode = CommandTable::rateCode(parsed.rateHz);
    if (parser.isSet(frames) && parser.isSet(seconds))
        return invalid(QStringLiteral("give --frames or --seconds, not both"));
    if (parser.isSet(frames) && !CommandLine::readWhole(parser.value(frames), 1ULL, &parsed.frames))
        return invalid(QStringLiteral("--frames needs a whole number, 1 or more"));
    if (parser.isSet(seconds)
        && (!CommandLine::readNumber(parser.value(seconds), 0.0, MostSeconds, &parsed.seconds)
            || parsed.seconds == 0.0))
        return invalid(QStringLiteral("--seconds needs a number above 0, at most 2000000"));
    if (parser.isSet(csv)) {
        parsed.csvPath = parser.value(csv);
        if (parsed.csvPath.isEmpty())
            return invalid(QStringLiteral("--csv needs a file name, or - for standard output"));
    }
    if (parser.isSet(summary)) {
        const QString format = parser.value(summary);
        if (format == QLatin1String("json"))
            parsed.summary = Json;
        else if (format != QLatin1String("text"))
            return invalid(QStringLiteral("--summary must be text or json"));
    }
    parsed.listen = parser.isSet(listen);
    parsed.quiet = parser.isSet(quiet);
    if (parser.isSet(expectDistance)) {
        const QStringList bounds = parser.value(expectDistance).split(QLatin1Char(':'));
        if (bounds.size() != 2
            || !CommandLine::readNumber(bounds[0], 0.0, Unbounded, &parsed.minDistance)
            || !CommandLine::readNumber(bounds[1], parsed.minDistance, Unbounded,
                                        &parsed.maxDistance))
            return invalid(
                QStringLiteral("--expect-distance needs MIN:MAX in mm, 0 <= MIN <= MAX"));
        parsed.expectDistance = true;
    }
    if (parser.isSet(maxStdDistance)) {
        if (!CommandLine::readNumber(parser.value(maxStdDistance), 0.0, Unbounded,
                                     &parsed.maxStdDistance))
            return invalid(QStringLiteral("--max-std-distance needs a number of mm, 0 or more"));
        parsed.limitStdDistance = true;
    }
    if (parser.isSet(reference)) {
        if (!CommandLine::readNumber(parser.value(reference), 0.0, Unbounded, &parsed.referenceMm))
            return invalid(QStringLiteral("--reference needs a distance in mm, 0 or more"));
        parsed.hasReference = true;
    }
    if (parser.isSet(maxError)) {
        if (!parsed.hasReference)
            return invalid(QStringLiteral("--max-error needs --reference"));
        if (!CommandLine::readNumber(parser.value(maxError), 0.0, Unbounded, &parsed.maxErrorMm))
            return invalid(QStringLiteral("--max-error needs a number of mm, 0 or more"));
        parsed.limitError = true;
    }
    if (parser.isSet(minRate)
        && !CommandLine::readNumber(parser.value(minRate), 0.0, Unbounded, &parsed.minRateHz))
        return invalid(QStringLiteral("--min-rate needs a number of frames per second, 0 or more"));
    // In whole milliseconds, like --seconds.
    if (parser.isSet(silence)
        && !CommandLine::readNumber(parser.value(silence), 0.0, MostSeconds,
                                    &parsed.silenceSeconds))
        return invalid(QStringLiteral("--silence-timeout needs a number of seconds, 0 to 2000000"));
    *options = parsed;
    return Run;
}

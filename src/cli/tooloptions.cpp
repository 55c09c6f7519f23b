#include "tooloptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace {

// The window changes the working directory to its own folder, so a relative
// path is resolved against the one the tool was started in.
QString absolute(const QString &path)
{
    if (path == QLatin1String("-") || !QDir::isRelativePath(path))
        return path;
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

ToolOptions::Outcome ToolOptions::parse(const QStringList &arguments, ToolOptions *options,
                                        QString *message)
{
    QCommandLineParser parser;
    // Also the DESCRIPTION of the manual page help2man makes.
    parser.setApplicationDescription(QStringLiteral(
        "Host tool for the TAV47 laser range finder: opens its serial port, sets the\n"
        "measurement rate, starts and stops it, and draws distance, energy and ambient\n"
        "light live; the chart's context menu records to CSV, freezes and saves the\n"
        "samples.\n"
        "Channel colours, names and ranges are kept in config.ini beside the program,\n"
        "or in ~/.config/tav47/config.ini when that folder is read-only.\n"
        "Exits 2 on wrong usage, 1 when the --record file cannot be opened."));
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Add the serial port <path> to the port list and select it (a device such "
                       "as /dev/serial/by-id/..., or the port tav47-sim prints). Refresh keeps "
                       "it."),
        QStringLiteral("path"));
    const QCommandLineOption recordOption(
        QStringLiteral("record"),
        QStringLiteral("Record every measurement frame to the CSV file <file> from the start, "
                       "replacing it if it exists (- for standard output)."),
        QStringLiteral("file"));
    const Outcome outcome
        = CommandLine::parse(parser, { portOption, recordOption }, arguments,
                             QStringLiteral("Unexpected argument '%1'."), message);
    if (outcome != Run)
        return outcome;
    ToolOptions parsed;
    if (parser.isSet(portOption)
        && !CommandLine::readPort(parser.value(portOption), &parsed.port)) {
        *message = QStringLiteral("--port needs a path.");
        return Invalid;
    }
    if (parser.isSet(recordOption)) {
        parsed.recordFile = absolute(parser.value(recordOption));
        if (parsed.recordFile.isEmpty()) {
            *message = QStringLiteral("--record needs a file name.");
            return Invalid;
        }
    }
    *options = parsed;
    return Run;
}

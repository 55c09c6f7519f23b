#pragma once

#include <QCommandLineOption>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <limits>
#include <type_traits>

class QCommandLineParser;
class QObject;

// What every program of this tool does with its command line, written once:
// the parse outcome, option values read as numbers, help answered before the
// window exists, and the signals a command-line program handles.
namespace CommandLine {

// The options structs derive from this, so callers say DemoOptions::Run.
struct Parse
{
    enum Outcome { Run, ShowHelp, Invalid, ShowVersion };
};
using Outcome = Parse::Outcome;

// Parses `arguments` with -h/--help and --version first, then `options`.
// ShowHelp leaves the help text in *message, ShowVersion the version line
// ("tav47-sim 1.2 (Qt 5.15.8)", named after arguments[0]); Invalid the
// parser's error, or `unexpected` with %1 the first positional argument (no
// program takes any).
Outcome parse(QCommandLineParser &parser, const QList<QCommandLineOption> &options,
              const QStringList &arguments, const QString &unexpected, QString *message);

// A finite number from `least` to `most`. *value is set only when it is one.
bool readNumber(const QString &text, double least, double most, double *value);

// A port as every program opens it (portPath); false for an empty one, and
// *port is then left as it was.
bool readPort(const QString &text, QString *port);

// One of the device's rates in Hz (10, 100, 200, 500, 1000, 1800).
bool readRateHz(const QString &text, int *hz);

// A whole number of T, at least `least`, read as QString::toInt/toUInt/...
// would read it into T. *value is set only when it is one.
template<typename T>
bool readWhole(const QString &text, T least, T *value)
{
    static_assert(std::is_integral_v<T>, "a whole number");
    bool ok = false;
    if constexpr (std::is_signed_v<T>) {
        const qlonglong v = text.toLongLong(&ok);
        if (!ok || v < qlonglong(least) || v > qlonglong(std::numeric_limits<T>::max()))
            return false;
        *value = T(v);
    } else {
        const qulonglong v = text.toULongLong(&ok);
        if (!ok || v < qulonglong(least) || v > qulonglong(std::numeric_limits<T>::max()))
            return false;
        *value = T(v);
    }
    return true;
}

// The exit status an outcome ends the program with: the help or the version
// on standard output (0), or "<program>: <message>" and `hint` on standard error
// (`usageStatus`); -1 to run.
int status(Outcome outcome, const QString &message, const char *program, int usageStatus,
           const char *hint = "");

// Options::parse on the application's arguments, ended as status() ends it.
template<typename Options>
int read(Options *options, const char *program, int usageStatus, const char *hint = "")
{
    QString message;
    const Outcome outcome = Options::parse(QCoreApplication::arguments(), options, &message);
    return status(outcome, message, program, usageStatus, hint);
}

// QApplication aborts where there is no display, and neither help nor the
// version may need one (help2man runs them at build time): they are answered
// under a core application first. True when one was.
template<typename Options>
bool helpAnswered(int &argc, char **argv)
{
    QCoreApplication core(argc, argv);
    Options ignored;
    QString answer;
    const Outcome outcome = Options::parse(QCoreApplication::arguments(), &ignored, &answer);
    if (outcome != Parse::ShowHelp && outcome != Parse::ShowVersion)
        return false;
    std::printf("%s", qPrintable(answer));
    return true;
}

// A reader that went away (| head) or a file at its size limit is a failed
// write, reported and survived, not the end of the process.
void ignoreWriteSignals();

// SIGINT and SIGTERM handled from the event loop, where devices can be
// stopped and files closed: the handler only writes the signal's number to a
// pipe, and `handle` is called once, with it, in `context`'s thread.
bool handleStopSignals(QObject *context, const std::function<void(int signal)> &handle);

} // namespace CommandLine

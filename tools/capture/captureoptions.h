#pragma once

#include "commandline.h"

#include <QtGlobal>

// How tav47-capture ends. Scripts test these numbers.
namespace ExitCode {
constexpr int Captured = 0; // captured, and every limit given was met
constexpr int Usage = 1;
constexpr int PortFailed = 2; // the port could not be opened
constexpr int NoFrames = 3; // no measurement frame for the silence timeout
constexpr int DeviceLost = 4;
constexpr int CsvFailed = 5; // or the summary
constexpr int LimitMissed = 6;
constexpr int Interrupted = 130; // SIGINT, as shells report it
constexpr int Terminated = 143; // SIGTERM
constexpr int All[] = { Captured,  Usage,       PortFailed,  NoFrames,  DeviceLost,
                        CsvFailed, LimitMissed, Interrupted, Terminated };
} // namespace ExitCode

// What the command line asks of tav47-capture.
struct CaptureOptions : CommandLine::Parse
{
    static constexpr qint32 DefaultBaud = 460800; // the window's default
    static constexpr int DefaultRateHz = 100; // the window's default
    static constexpr double DefaultSeconds = 10.0;
    static constexpr double DefaultSilenceSeconds = 2.0;

    enum Summary { Text, Json };

    QString port;
    qint32 baud = DefaultBaud;
    int rateHz = DefaultRateHz;
    int rateCode = 1; // rateHz as the device's rate code 0..5
    quint64 frames = 0; // stop after this many frames; 0: stop on time
    double seconds = DefaultSeconds; // used when frames is 0
    QString csvPath; // empty: no CSV; "-": standard output
    Summary summary = Text;
    bool listen = false; // send nothing, only read
    bool quiet = false;
    bool expectDistance = false;
    double minDistance = 0;
    double maxDistance = 0;
    bool limitStdDistance = false;
    double maxStdDistance = 0;
    bool hasReference = false;
    double referenceMm = 0; // the target's true distance: the summary gives the error
    bool limitError = false; // needs a reference
    double maxErrorMm = 0;
    double silenceSeconds = DefaultSilenceSeconds; // 0: wait for ever
    double minRateHz = -1; // < 0: half the commanded rate, none when listening

    // The frames per second a capture must reach; 0 for no limit.
    double rateLimitHz() const { return minRateHz >= 0 ? minRateHz : listen ? 0.0 : rateHz / 2.0; }

    // Reads the arguments (program name first). Invalid leaves the reason in
    // *message, ShowHelp the help text; *options is set only for Run.
    static Outcome parse(const QStringList &arguments, CaptureOptions *options, QString *message);
};

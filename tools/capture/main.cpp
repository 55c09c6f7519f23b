// tav47-capture: measurements of a TAV47 captured from the command line, for
// scripts and test rigs, with the window's device control, decoder and CSV
// format. See --help.

#include "capture.h"
#include "captureoptions.h"

#include <QCoreApplication>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // A standard stream the caller closed (>&-) would lend its number to the
    // next file opened, the port or the CSV, and the summary would go there.
    // Held open read-only instead, writes to it fail, as they should.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            ::open("/dev/null", O_RDONLY);
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tav47-capture"));

    // A reader of standard output that went away makes the CSV fail (exit 5)
    // rather than killing us with the device still streaming.
    CommandLine::ignoreWriteSignals();
    CaptureOptions options;
    if (const int status = CommandLine::read(&options, "tav47-capture", ExitCode::Usage,
                                             "See tav47-capture --help.\n");
        status >= 0)
        return status;

    Capture capture(options);
    // SIGINT and SIGTERM end the capture the way its end does: the device
    // stopped, the file closed.
    const bool signalsHandled = CommandLine::handleStopSignals(&capture, [&capture](int number) {
        if (number == SIGINT)
            capture.interrupt(ExitCode::Interrupted, QStringLiteral("interrupted (SIGINT)"));
        else
            capture.interrupt(ExitCode::Terminated, QStringLiteral("terminated (SIGTERM)"));
    });
    if (!signalsHandled) {
        std::perror("tav47-capture: signal pipe");
        return ExitCode::Usage;
    }
    QObject::connect(
        &capture, &Capture::finished, &app, [](int code) { QCoreApplication::exit(code); },
        Qt::QueuedConnection);
    QTimer::singleShot(0, &capture, &Capture::begin);
    return app.exec();
}

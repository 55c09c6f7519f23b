// tav47-capture: measurements of a TAV47 captured from the command line, for
// scripts and test rigs, with the window's device control, decoder and CSV
// format. See --help.

#include "capture.h"
#include "captureoptions.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int number)
{
    const int savedErrno = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

// SIGINT and SIGTERM end the capture from the event loop, where the device can
// be stopped and the file closed; the handler only writes a byte.
bool endOnSignals(Capture &capture)
{
    if (::pipe(signalPipe) != 0)
        return false;
    for (int fd : signalPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &capture);
    QObject::connect(notifier, &QSocketNotifier::activated, &capture, [notifier, &capture] {
        char number = 0;
        if (::read(signalPipe[0], &number, 1) != 1)
            return;
        notifier->setEnabled(false);
        if (number == SIGINT)
            capture.interrupt(ExitCode::Interrupted, QStringLiteral("interrupted (SIGINT)"));
        else
            capture.interrupt(ExitCode::Terminated, QStringLiteral("terminated (SIGTERM)"));
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader of standard output that went away makes the CSV fail (exit 5)
    // rather than killing us with the device still streaming.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN); // a file at its size limit: a failed write too
    return true;
}

} // namespace

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

    CaptureOptions options;
    QString message;
    switch (CaptureOptions::parse(QCoreApplication::arguments(), &options, &message)) {
    case CaptureOptions::ShowHelp:
        std::fputs(qPrintable(message), stdout);
        return ExitCode::Captured;
    case CaptureOptions::Invalid:
        std::fprintf(stderr, "tav47-capture: %s\nSee tav47-capture --help.\n", qPrintable(message));
        return ExitCode::Usage;
    case CaptureOptions::Run:
        break;
    }

    Capture capture(options);
    if (!endOnSignals(capture)) {
        std::perror("tav47-capture: signal pipe");
        return ExitCode::Usage;
    }
    QObject::connect(
        &capture, &Capture::finished, &app, [](int code) { QCoreApplication::exit(code); },
        Qt::QueuedConnection);
    QTimer::singleShot(0, &capture, &Capture::begin);
    return app.exec();
}

#include "commandline.h"

#include "commandtable.h"
#include "portlist.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cmath>
#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace CommandLine {

Outcome parse(QCommandLineParser &parser, const QList<QCommandLineOption> &options,
              const QStringList &arguments, const QString &unexpected, QString *message)
{
    parser.addOption(
        { { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Show this help.") });
    parser.addOption({ QStringLiteral("version"), QStringLiteral("Show the version.") });
    parser.addOptions(options);
    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return Parse::Invalid;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        *message = parser.helpText();
        return Parse::ShowHelp;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        // The name as run, without its folder: help2man and users see
        // "tav47-capture", not the build path.
        *message = QStringLiteral("%1 %2 (Qt %3)\n")
                       .arg(QFileInfo(arguments.value(0)).fileName(), QStringLiteral(TAV47_VERSION),
                            QLatin1String(qVersion()));
        return Parse::ShowVersion;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message = unexpected.arg(parser.positionalArguments().constFirst());
        return Parse::Invalid;
    }
    return Parse::Run;
}

bool readNumber(const QString &text, double least, double most, double *value)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < least || v > most)
        return false;
    *value = v;
    return true;
}

bool readPort(const QString &text, QString *port)
{
    const QString path = portPath(text);
    if (path.isEmpty())
        return false;
    *port = path;
    return true;
}

bool readRateHz(const QString &text, int *hz)
{
    int v = 0;
    if (!readWhole(text, std::numeric_limits<int>::min(), &v) || CommandTable::rateCode(v) < 0)
        return false;
    *hz = v;
    return true;
}

int status(Outcome outcome, const QString &message, const char *program, int usageStatus,
           const char *hint)
{
    switch (outcome) {
    case Parse::ShowHelp:
    case Parse::ShowVersion:
        std::printf("%s", qPrintable(message));
        return 0;
    case Parse::Invalid:
        std::fprintf(stderr, "%s: %s\n%s", program, qPrintable(message), hint);
        return usageStatus;
    case Parse::Run:
        break;
    }
    return -1;
}

// Neither signal, nor the self-pipe below, exists where there is no POSIX.
#ifdef Q_OS_UNIX

void ignoreWriteSignals()
{
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int number)
{
    const int savedErrno = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

bool handleStopSignals(QObject *context, const std::function<void(int signal)> &handle)
{
    if (::pipe(signalPipe) != 0)
        return false;
    for (int fd : signalPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    // A burst of signals must not block the handler on a full pipe.
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier, handle] {
        char number = 0;
        if (::read(signalPipe[0], &number, 1) != 1)
            return;
        notifier->setEnabled(false);
        handle(number);
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
}

#else

void ignoreWriteSignals() { }

bool handleStopSignals(QObject *, const std::function<void(int)> &)
{
    return false;
}

#endif

} // namespace CommandLine

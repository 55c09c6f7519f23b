#include "mainwindow.h"
#include "tooloptions.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    // A recording's reader that went away (--record - | head) is a failed
    // write, reported and survived, not the end of the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN); // a file at its size limit: a failed write too

    // QApplication aborts where there is no display, and help must not need
    // one: it is answered under a core application first.
    {
        QCoreApplication core(argc, argv);
        ToolOptions ignored;
        QString help;
        if (ToolOptions::parse(QCoreApplication::arguments(), &ignored, &help)
            == ToolOptions::ShowHelp) {
            std::printf("%s", qPrintable(help));
            return 0;
        }
    }

    // The rest is read from what QApplication leaves of the command line once
    // it has taken its own options (-platform, -style, ...).
    QApplication app(argc, argv);
    ToolOptions options;
    QString message;
    switch (ToolOptions::parse(QCoreApplication::arguments(), &options, &message)) {
    case ToolOptions::ShowHelp:
        std::printf("%s", qPrintable(message));
        return 0;
    case ToolOptions::Invalid:
        std::fprintf(stderr, "tav47: %s\n", qPrintable(message));
        return 2;
    case ToolOptions::Run:
        break;
    }

    MainWindow window(options.port.isEmpty()
                          ? MainWindow::PortNameSource(&MainWindow::systemPortNames)
                          : MainWindow::withPort(options.port));
    if (!options.port.isEmpty())
        window.selectPort(options.port);
    if (!options.recordFile.isEmpty() && !window.startRecording(options.recordFile)) {
        std::fprintf(stderr, "tav47: cannot record: %s\n", qPrintable(window.recordingError()));
        return 1;
    }
    window.show();
    return app.exec();
}

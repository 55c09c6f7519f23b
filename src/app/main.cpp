#include "mainwindow.h"
#include "tooloptions.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    CommandLine::ignoreWriteSignals();
    if (CommandLine::helpAnswered<ToolOptions>(argc, argv))
        return 0;
    // The rest is read from what QApplication leaves of the command line once
    // it has taken its own options (-platform, -style, ...).
    QApplication app(argc, argv);
    ToolOptions options;
    if (const int status = CommandLine::read(&options, "tav47", 2); status >= 0)
        return status;

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
    if (!options.historyFile.isEmpty())
        window.showHistory(options.historyFile);
    return app.exec();
}

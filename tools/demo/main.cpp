// tav47-demo: the host tool with a simulated TAV47 already attached, for
// trying it without the device. The simulated port is listed and selected;
// click Open, then Start Scan.

#include "mainwindow.h"
#include "simulatorthread.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QMessageBox>

#include <memory>

namespace {

// What the command line asks of the demo.
struct DemoOptions
{
    SimulatorOptions simulator;
};

DemoOptions parseOptions(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The TAV47 host tool with a simulated range finder on a pseudo-terminal.\n"
        "The simulated port is selected in the port list: click Open, then Start Scan."));
    parser.addHelpOption();
    parser.process(app);
    return DemoOptions();
}

// The Refresh button sees the system's ports plus ours, so the simulated port
// is never removed as unknown to the system.
MainWindow::PortNameSource withSimulatedPort(const QString &path)
{
    return [path] {
        QStringList names = MainWindow::systemPortNames();
        names.append(path);
        return names;
    };
}

void selectPort(MainWindow &window, const QString &path)
{
    auto *ports = window.findChild<QComboBox *>(QStringLiteral("portnameCombo"));
    if (ports)
        ports->setCurrentIndex(ports->findText(path));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tav47-demo"));
    const DemoOptions options = parseOptions(app);

    // Declared before the window, so the window (and its open port) goes
    // first: the device vanishing under an open port would raise an error box.
    SimulatorThread simulator(options.simulator);
    if (!simulator.start()) {
        QMessageBox::critical(
            nullptr, QStringLiteral("tav47-demo"),
            QStringLiteral("Cannot create the simulated device: %1").arg(simulator.errorString()));
        return 1;
    }

    auto window = std::make_unique<MainWindow>(withSimulatedPort(simulator.portPath()));
    selectPort(*window, simulator.portPath());
    window->show();

    const int status = app.exec();
    window.reset();
    simulator.stop();
    return status;
}

// tav47-demo: the host tool with a simulated TAV47 already attached, for
// trying it without the device. The simulated port is listed and selected;
// click Open, then Start Scan. Options drive the same window unattended and
// report what the run cost (see --help).

#include "demooptions.h"
#include "mainwindow.h"
#include "runstats.h"
#include "simulatorthread.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSerialPort>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// After Stop Scan, what is still on the line is read for this long before
// quitting, so a run ends with every frame the device sent taken in.
constexpr int DrainMs = 300;

template<typename T>
T *child(const MainWindow &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

// The port itself, not the Open button: a lost device closes the port at
// once, and the button only after its error box has been answered.
bool portIsOpen(const MainWindow &window)
{
    auto *port = window.findChild<QSerialPort *>();
    return port && port->isOpen();
}

// The summary lines: on standard error when the recording has standard
// output, so the CSV there stays whole.
FILE *summaryStream(const DemoOptions &options)
{
    return options.recordFile == QLatin1String("-") ? stderr : stdout;
}

void printLine(FILE *stream, const QString &line)
{
    std::fprintf(stream, "%s\n", qPrintable(line));
    std::fflush(stream);
}

void complain(const QString &message)
{
    std::fprintf(stderr, "tav47-demo: %s\n", qPrintable(message));
}

// Drives the window as the options ask: open, start, stop and quit, and
// collects the figures of the run.
class Script : public QObject
{
public:
    Script(const DemoOptions &options, MainWindow *window, const SimulatorThread *simulator,
           const QElapsedTimer &runClock)
        : m_options(options)
        , m_window(window)
        , m_simulator(simulator)
        , m_runClock(runClock)
    {
        if (auto *chart = window->findChild<QWidget *>(QStringLiteral("chart")))
            m_repaints = new RepaintWatch(chart, window->findChild<QSerialPort *>());
    }

    void begin()
    {
        if (m_options.quitAfterSeconds >= 0)
            QTimer::singleShot(int(m_options.quitAfterSeconds * 1000), Qt::PreciseTimer, this,
                               [this] { finish(); });
        if (m_options.statsEverySeconds > 0) {
            auto *stats = new QTimer(this);
            connect(stats, &QTimer::timeout, this,
                    [this] { printLine(summaryStream(m_options), summary().line()); });
            stats->start(int(m_options.statsEverySeconds * 1000));
        }
        // Clicks go through the event loop, as a user's would.
        QTimer::singleShot(0, this, [this] { act(); });
    }

    RunSummary summary() const
    {
        RunSummary s;
        s.frames = m_window->decodedFrameCount();
        s.bytes = m_window->receivedByteCount();
        s.seconds = double(m_runClock.nsecsElapsed()) / 1e9;
        s.usage = ProcessUsage::now();
        if (m_repaints) {
            s.maxRepaintGapMs = m_repaints->maxGapMs();
            s.repaints = m_repaints->repaints();
        }
        if (m_simulator && m_simulator->simulator()) {
            const Tav47Simulator *device = m_simulator->simulator();
            s.hasSimulator = true;
            s.simSent = device->framesSent();
            s.simIntact = device->framesIntact();
            s.simFalse = device->falseFrames();
        }
        return s;
    }

    bool failed() const { return m_failed; }

private:
    void act()
    {
        if (!m_options.open)
            return;
        // A failed open shows its message box; an unattended run still ends
        // on time, as the quit timer closes the box's loop.
        click("openBtn");
        if (!portIsOpen(*m_window)) {
            fail(QStringLiteral("cannot open %1").arg(m_options.port));
            return;
        }
        if (m_options.startHz <= 0)
            return;
        auto *rates = child<QComboBox>(*m_window, "LidarModeCombo");
        const int index
            = rates ? rates->findText(QStringLiteral("%1 Hz").arg(m_options.startHz)) : -1;
        if (index < 0) {
            fail(QStringLiteral("the window offers no rate of %1 Hz").arg(m_options.startHz));
            return;
        }
        rates->setCurrentIndex(index);
        click("Lidar_StartBtn");
        m_started = portIsOpen(*m_window);
        if (!m_started)
            fail(QStringLiteral("the port closed while starting the scan"));
    }

    void finish()
    {
        if (m_started) {
            m_started = false;
            // A device lost under the open port ends a measured run as failed.
            if (!portIsOpen(*m_window)) {
                fail(QStringLiteral("the port closed during the run"));
            } else {
                // The picture shows the scan running, before it is stopped.
                takeScreenshot();
                click("Lidar_StopBtn");
                QTimer::singleShot(DrainMs, this, [this] { quit(); });
                return;
            }
        }
        quit();
    }

    void quit()
    {
        takeScreenshot();
        QCoreApplication::quit();
    }

    void takeScreenshot()
    {
        if (m_options.screenshotFile.isEmpty() || m_screenshotTaken)
            return;
        m_screenshotTaken = true;
        if (!m_window->grab().save(m_options.screenshotFile))
            fail(QStringLiteral("cannot write the screenshot to %1").arg(m_options.screenshotFile));
    }

    void click(const char *button)
    {
        if (auto *b = child<QPushButton>(*m_window, button))
            b->click();
    }

    void fail(const QString &message)
    {
        complain(message);
        m_failed = true;
    }

    const DemoOptions m_options;
    MainWindow *m_window;
    const SimulatorThread *m_simulator;
    const QElapsedTimer &m_runClock;
    RepaintWatch *m_repaints = nullptr;
    bool m_started = false;
    bool m_screenshotTaken = false;
    bool m_failed = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer runClock;
    runClock.start();
    // A recording's reader that went away (--record - | head): the run goes
    // on to its end and fails, rather than dying.
    CommandLine::ignoreWriteSignals();
    QCoreApplication::setApplicationName(QStringLiteral("tav47-demo"));
    if (CommandLine::helpAnswered<DemoOptions>(argc, argv))
        return 0;
    // Everything else is read from what QApplication leaves of the command
    // line once it has taken its own options (-platform, -style, ...).
    QApplication app(argc, argv);
    DemoOptions options;
    if (const int status = CommandLine::read(&options, "tav47-demo", 2); status >= 0)
        return status;

    // Declared before the window, so the window (and its open port) goes
    // first: the device vanishing under an open port would raise an error box.
    std::unique_ptr<SimulatorThread> simulator;
    if (options.port.isEmpty()) {
        simulator = std::make_unique<SimulatorThread>();
        if (!simulator->start()) {
            const QString reason = QStringLiteral("Cannot create the simulated device: %1")
                                       .arg(simulator->errorString());
            complain(reason);
            if (options.quitAfterSeconds < 0)
                QMessageBox::critical(nullptr, QStringLiteral("tav47-demo"), reason);
            return 1;
        }
        options.port = simulator->portPath();
    }

    // Refresh sees the system's ports plus ours, so ours is never removed as
    // unknown to the system.
    auto window = std::make_unique<MainWindow>(MainWindow::withPort(options.port));
    window->selectPort(options.port);
    if (!options.recordFile.isEmpty() && !window->startRecording(options.recordFile)) {
        complain(window->recordingError());
        return 1;
    }
    Script script(options, window.get(), simulator.get(), runClock);
    window->show();
    script.begin();

    int status = app.exec();
    printLine(summaryStream(options), script.summary().line());
    if (status == 0 && script.failed())
        status = 1;
    // A recording that lost rows to a failed write fails the run.
    if (!options.recordFile.isEmpty() && !window->stopRecording()) {
        complain(window->recordingError());
        status = status == 0 ? 1 : status;
    }
    window.reset();
    if (simulator)
        simulator->stop();
    return status;
}

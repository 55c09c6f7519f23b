#include "simulatorthread.h"

SimulatorThread::SimulatorThread(const SimulatorOptions &options)
    : m_simulator(new Tav47Simulator(options))
{
    m_thread.setObjectName(QStringLiteral("tav47-sim"));
}

SimulatorThread::~SimulatorThread()
{
    stop();
    delete m_simulator;
}

bool SimulatorThread::start()
{
    if (m_thread.isRunning())
        return true;
    m_simulator->moveToThread(&m_thread);
    m_thread.start();
    bool opened = false;
    Tav47Simulator *simulator = m_simulator;
    QMetaObject::invokeMethod(
        simulator, [simulator, &opened] { opened = simulator->open(); },
        Qt::BlockingQueuedConnection);
    m_path = m_simulator->portPath();
    m_error = m_simulator->errorString();
    if (!opened)
        stop();
    return opened;
}

void SimulatorThread::stop()
{
    if (!m_thread.isRunning())
        return;
    // Notifiers and timers must go in the thread that owns them; then the
    // object comes back to us, to be read and deleted here.
    QThread *home = QThread::currentThread();
    Tav47Simulator *simulator = m_simulator;
    QMetaObject::invokeMethod(
        simulator,
        [simulator, home] {
            simulator->closeMaster();
            simulator->moveToThread(home);
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void SimulatorThread::closeMaster()
{
    if (!m_thread.isRunning())
        return;
    QMetaObject::invokeMethod(m_simulator, &Tav47Simulator::closeMaster,
                              Qt::BlockingQueuedConnection);
}

#pragma once

#include "simulator.h"

#include <QThread>

// A simulator running in a thread of its own, so that its timing does not
// depend on how busy the caller's event loop is (the demo's window repaints).
class SimulatorThread
{
public:
    explicit SimulatorThread(const SimulatorOptions &options = SimulatorOptions());
    ~SimulatorThread();
    SimulatorThread(const SimulatorThread &) = delete;
    SimulatorThread &operator=(const SimulatorThread &) = delete;

    // Starts the thread and opens the pseudo-terminal in it. False with
    // errorString() when the pseudo-terminal cannot be had.
    bool start();
    // Closes the device end and ends the thread; the counters stay readable.
    void stop();

    QString portPath() const { return m_path; }
    QString errorString() const { return m_error; }
    // Lives in the other thread while running: use only its thread-safe
    // members (counters, lastFrame, received*) from outside.
    const Tav47Simulator *simulator() const { return m_simulator; }
    // The device end goes away, as a pulled cable would.
    void closeMaster();

private:
    QThread m_thread;
    Tav47Simulator *m_simulator;
    QString m_path;
    QString m_error;
};

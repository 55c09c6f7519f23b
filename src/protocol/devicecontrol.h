#pragma once

#include "commandtable.h"

#include <QObject>
#include <QTimer>

class QIODevice;

// Starts and stops the device. A start is the rate frame, then the start
// frame twice, each 400 ms after the one before; the waits run on a timer of
// the caller's event loop, so reads and repaints go on meanwhile and nothing
// re-enters the caller. A new start or a stop cancels a start still running,
// so the device always ends in the state last asked for.
class DeviceControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int CommandGapMs = 400; // the device needs this long between commands

    enum Result {
        Sent, // the frame went out
        NotOpen, // the port is closed: nothing was sent
        WriteFailed // the port is open but refused the bytes
    };
    Q_ENUM(Result)

    explicit DeviceControl(QIODevice *port, QObject *parent = nullptr);

    // Writes one frame of the command table now.
    Result send(int entry);

    // Begins a start at rate code 0..5 (the rate selector's index; out of range
    // is clamped). The rate frame goes out at once; the outcome of the whole
    // sequence arrives as startFinished().
    void start(int rateCode);
    // Cancels a running start, then sends the stop frame.
    Result stop();
    // Ends a running start with no further frame and no signal.
    void cancel();
    bool isStarting() const { return m_step > 0; }

signals:
    // Sent when every frame of a start has gone out, or with the reason the
    // start ended early.
    void startFinished(DeviceControl::Result result);

private:
    void sendNext();

    QIODevice *m_port;
    const CommandTable m_table;
    QTimer m_gap;
    int m_rateEntry = CommandTable::Rate100Hz;
    int m_step = 0; // frames of the running start sent so far; 0: none running
};

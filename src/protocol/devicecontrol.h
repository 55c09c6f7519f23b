#pragma once

#include "commandtable.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QIODevice;

// Starts and stops the device. A start is the rate frame, then the start
// frame twice, each 400 ms after the one before has left the port (not after
// it was handed to the port's buffer: a busy event loop holds bytes back, and
// the device counts the gap on the line). The first frame keeps the same gap
// after the last frame sent before it, such as the stop sent at Open. The
// waits run on a timer of the caller's event loop, so reads and repaints go on
// meanwhile and nothing re-enters the caller. A new start or a stop cancels a
// start still running, so the device always ends in the state last asked for.
class DeviceControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int CommandGapMs = 400; // the device needs this long between commands
    // Bytes not gone from the port by then never will: the line is stuck.
    static constexpr int WriteTimeoutMs = 5000;

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
    // is clamped). The rate frame goes out once the line has been quiet for the
    // gap; the outcome of the whole sequence arrives as startFinished().
    void start(int rateCode);
    // Cancels a running start, then sends the stop frame.
    Result stop();
    // Ends a running start with no further frame and no signal.
    void cancel();
    bool isStarting() const { return m_step >= 0; }

    // The rate code of the last rate frame sent, -1 before any.
    int rateCode() const { return m_sentRateCode; }

signals:
    // Sent when every frame of a start has gone out, or with the reason the
    // start ended early.
    void startFinished(DeviceControl::Result result);

private:
    void onBytesWritten();
    void onTimer();
    void waitForGap();
    void sendNext();
    void finish(Result result);

    QIODevice *m_port;
    const CommandTable m_table;
    QTimer m_timer; // the gap, or while bytes are still queued, the write timeout
    QElapsedTimer m_sinceLeft; // since our last bytes left the port; invalid before any
    bool m_queued = false; // bytes we wrote are still in the port's buffer
    int m_rateEntry = CommandTable::Rate100Hz;
    int m_sentRateCode = -1;
    int m_step = -1; // frames of the running start sent so far; -1: none running
};

#pragma once

#include "framedecoder.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QSerialPort;

// Finds the baud rate a streaming device talks at: listens a while at each
// rate of a list, sending nothing, and keeps the rate that decoded the most
// measurement frames. Runs on a timer, so the window goes on meanwhile.
//
// While it runs it reads the port itself, into a decoder of its own: frames
// heard at a trial rate reach neither the chart nor a recording, so whoever
// reads the port otherwise must leave it alone while isRunning(). Closing the
// port cancels it.
class BaudSearch : public QObject
{
    Q_OBJECT

public:
    static constexpr int ListenMs = 300;

    enum Outcome {
        Found, // the port is at foundRate()
        NoneDecoded, // the port is back at the rate it had
        Cancelled, // the port was closed
    };

    explicit BaudSearch(QSerialPort *port, QObject *parent = nullptr);

    // False, starting nothing, on a closed port, an empty list or while one runs.
    bool start(const QList<qint32> &rates);
    bool isRunning() const { return m_running; }

    qint32 userRate() const { return m_userRate; }
    qint32 foundRate() const { return m_foundRate; }
    int foundFrames() const { return m_bestFrames; }
    qint64 elapsedMs() const { return m_elapsedMs; }
    // What the status line says when it ends.
    QString report(Outcome outcome) const;

signals:
    void finished(BaudSearch::Outcome outcome);

private:
    void listenAt(int index);
    void read();
    void endListening();
    void finish(Outcome outcome);
    void cancel();

    QSerialPort *m_port;
    QTimer m_timer;
    QElapsedTimer m_clock;
    FrameDecoder m_decoder;
    QList<qint32> m_rates;
    int m_index = 0;
    int m_frames = 0; // at the rate being tried
    int m_bestFrames = 0;
    qint32 m_foundRate = 0;
    qint32 m_userRate = 0;
    qint64 m_elapsedMs = 0;
    bool m_running = false;
};

#pragma once

#include "framedecoder.h"
#include "measurement.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <random>

class QSocketNotifier;
class QTimer;

// How a simulated TAV47 starts.
struct SimulatorOptions
{
    int rateCode = -1; // 0..5 streams from the start at that rate; -1 waits for a start command
    quint32 seed = 1;
    quint64 frameLimit = 0; // stop streaming after this many frames; 0 for no limit
    double noiseFraction = 0.0; // share of the line's bytes that are random noise, 0 <= f <= 0.9
    // The device's baud rate: a host that sets its port to another reads
    // what a UART at that rate would make of the frames, and is not
    // understood either. 0: the line works at any rate.
    int baud = 0;
};

// A TAV47 on the master end of a pseudo-terminal: the host opens portPath()
// like any serial port. It obeys the rate (0x64), start (0x60) and stop (0x61)
// frames and streams 9-byte measurement frames (command 0x01: distance u16
// little-endian, energy u8, ambient u8) at the commanded rate.
//
// Frames are due on a fixed grid, start + k * period on the monotonic clock,
// and each timer tick sends every frame that has fallen due, so the rate does
// not drift however late the ticks come.
//
// The object runs in the event loop of the thread it lives in (QSocketNotifier
// and timers). Counters and the last frame may be read from any thread.
class Tav47Simulator : public QObject
{
    Q_OBJECT

public:
    static constexpr int RateCount = 6;
    static int rateHz(int rateCode); // 10, 100, 200, 500, 1000, 1800; 0 for an unknown code

    explicit Tav47Simulator(const SimulatorOptions &options = SimulatorOptions(),
                            QObject *parent = nullptr);
    ~Tav47Simulator() override;

    // Opens the pseudo-terminal pair and starts listening. Call in the thread
    // the simulator lives in. False with errorString() on failure.
    bool open();
    bool isOpen() const { return m_master >= 0; }
    QString portPath() const { return m_portPath; }
    QString errorString() const { return m_error; }

    // A host has the port open (as far as the last look tells).
    bool hostConnected() const { return m_hostConnected; }
    bool isStreaming() const { return m_streaming.load(); }
    int currentRateHz() const { return rateHz(m_rateCode.load()); }

    // Counters, safe from any thread.
    quint64 framesSent() const { return m_framesSent.load(); }
    // Frames that a receiver reading the whole line decodes exactly as sent;
    // noise can only spoil a frame when it forms a false frame that passes
    // its checksum and swallows the real one.
    quint64 framesIntact() const { return m_framesIntact.load(); }
    // False frames in the noise that pass their checksum and carry at least a
    // measurement's worth of payload: a receiver that takes every such frame
    // counts framesIntact() + falseFrames() measurements.
    quint64 falseFrames() const { return m_falseFrames.load(); }
    quint64 noiseBytes() const { return m_noiseBytes.load(); }
    quint64 bytesSent() const { return m_bytesSent.load(); }
    // Frames that fell due while no host had the port open, or while the
    // host did not read and the output backlog was full.
    quint64 framesSkipped() const { return m_framesSkipped.load(); }
    quint64 commandsReceived() const { return m_commands.load(); }
    Measurement lastFrame() const;

    // Every byte the host wrote, in order, and each command frame decoded from
    // them with its arrival time on the monotonic clock (ns since open()).
    struct ReceivedCommand
    {
        qint64 atNs;
        quint8 command;
        QByteArray payload;
    };
    QByteArray receivedBytes() const;
    QList<ReceivedCommand> receivedCommands() const;
    void clearReceived();

public slots:
    // Sends bytes as they are, outside the frame schedule.
    void injectBytes(const QByteArray &bytes);
    // Closes the master end: to the host the device is gone.
    void closeMaster();

signals:
    void commandReceived(quint8 command, const QByteArray &payload);
    // The frame limit was reached and every frame has been handed to the line.
    void finished();

private:
    void onReadable();
    void onTick();
    void checkHost();
    void handleCommand(const DecodedFrame &frame);
    void startStreaming();
    void scheduleTick();
    void sendDueFrames();
    void appendFrame(QByteArray &out);
    bool flush();
    bool limitReached() const;
    void reportFinished();
    void onShadowFrame(const DecodedFrame &frame);
    void hostGone();
    // The rate the host's port is set to, when it is not the device's; 0 when
    // the line works.
    int mismatchedHostBaud() const;

    SimulatorOptions m_options;
    int m_master = -1;
    QString m_portPath;
    QString m_error;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer *m_tick = nullptr;
    QTimer *m_hostWatch = nullptr;
    bool m_hostConnected = false;

    QElapsedTimer m_clock; // started by open()
    qint64 m_streamStartNs = 0; // grid origin
    qint64 m_streamIndex = 0; // next frame on the grid
    double m_signalTime = 0.0; // seconds of signal generated, drives the target's motion
    double m_noiseCredit = 0.0;
    QByteArray m_backlog; // bytes the line did not take yet
    bool m_finishedSignalled = false;

    FrameDecoder m_commandDecoder;
    FrameDecoder m_shadowDecoder; // a receiver that reads exactly what we send
    std::deque<quint32> m_awaitingShadow; // sent frames it has not yet decoded
    std::mt19937 m_random;

    std::atomic<int> m_rateCode { -1 };
    std::atomic<bool> m_streaming { false };
    std::atomic<quint64> m_framesSent { 0 };
    std::atomic<quint64> m_framesIntact { 0 };
    std::atomic<quint64> m_falseFrames { 0 };
    std::atomic<quint64> m_noiseBytes { 0 };
    std::atomic<quint64> m_bytesSent { 0 };
    std::atomic<quint64> m_framesSkipped { 0 };
    std::atomic<quint64> m_commands { 0 };
    std::atomic<quint32> m_lastFrame { 0 }; // distance | energy << 16 | ambient << 24

    mutable QMutex m_receivedMutex;
    QByteArray m_received;
    QList<ReceivedCommand> m_receivedCommands;
};

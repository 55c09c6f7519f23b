#pragma once

#include "captureoptions.h"
#include "capturestats.h"
#include "csvrecorder.h"
#include "devicecontrol.h"
#include "measurement.h"
#include "measurementfeed.h"
#include "recordingsidecar.h"
#include "silencewatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <utility>

// One capture, from opening the port to closing it, on the caller's event
// loop. However it ends, the device is stopped (unless listening or gone), the
// CSV is closed whole and the summary is printed before finished() comes.
class Capture : public QObject, private MeasurementListener
{
    Q_OBJECT

public:
    static constexpr int DiscardMs
        = 100; // what a device still streaming sends meanwhile is dropped
    static constexpr int ProgressMs = 200;
    static constexpr int StopWaitMs = 1000;

    explicit Capture(const CaptureOptions &options, QObject *parent = nullptr);

    // Opens the port and goes on from there. Call once the event loop runs.
    void begin();
    // Ends the capture now, as one that ran its course, but with this code.
    void interrupt(int exitCode, const QString &reason);

signals:
    void finished(int exitCode);

private:
    enum Phase { Idle, Discarding, Starting, Capturing, Done };

    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void onPhaseTimeout();
    void onStartFinished(DeviceControl::Result result);
    void beginCapture();
    void take(const QByteArray &chunk);
    void newRead() override;
    void addMeasurement(const Measurement &frame) override;
    void settleUnflushed(bool written);
    bool frameTargetReached() const;
    void end(int exitCode, const QString &reason = QString());
    int checkLimits(int exitCode);
    bool printSummary();
    void drawProgress();
    void clearProgress();
    void complain(const QString &message);

    const CaptureOptions m_options;
    Phase m_phase = Idle;
    QSerialPort m_port;
    DeviceControl m_control;
    MeasurementFeed m_feed; // from the end of the discard on
    CsvRecorder m_csv;
    RecordingSidecar m_notes; // beside a CSV file
    CaptureStats m_stats; // of the frames written, when there is a CSV
    // Frames appended to the CSV that are not yet on disk, with their read
    // times: the summary takes them in only once they are.
    QVector<std::pair<Measurement, qint64>> m_unflushed;
    qint64 m_rowsSettled = 0; // of the CSV's rows, those taken into the summary
    quint64 m_taken = 0; // frames captured, written or not
    qint64 m_readNs = -1; // when the read being decoded was taken; -1 until a frame needs it
    QStringList m_complaints; // printed after the summary
    QTimer m_phaseTimer; // the discard
    SilenceWatch m_silence;
    QTimer m_deadline;
    QTimer m_progress;
    QElapsedTimer m_clock; // since the capture began
    bool m_showProgress = false;
    bool m_progressShown = false;
    quint64 m_progressFrames = 0;
    qint64 m_progressNs = 0;
};

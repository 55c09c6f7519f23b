#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

// What a recording was, beside it: NAME.csv gets NAME.json (whatever the last
// suffix, it is replaced) holding the program, the line, the commanded rate, the
// moment elapsed_s 0 of the CSV stands for, and the events of the recording
// with their elapsed_s on the CSV's clock:
//   { "format": "tav47-recording", "format_version": 1, "program": "tav47",
//     "version": "1.2", "port": "/dev/ttyUSB0", "baud": 460800,
//     "rate_hz": 1800, "start_utc": "2026-12-08T07:40:00.123Z",
//     "events": [ { "elapsed_s": 0.0, "event": "open" }, ... ] }
// Port, baud and rate are null while unknown.
//
// The whole file is written again at each event, aside and renamed over the
// old one, so it is always valid JSON and a crash keeps what came before. The
// writing is done on a thread of its own: a slow disk holds up no one. A write
// that fails ends the notes (the recording itself goes on) and leaves one
// message for takeError().
class RecordingSidecar
{
public:
    RecordingSidecar();
    ~RecordingSidecar();
    RecordingSidecar(const RecordingSidecar &) = delete;
    RecordingSidecar &operator=(const RecordingSidecar &) = delete;

    // Where the notes of a recording in `csvPath` go; empty for standard
    // output ("-") and for anything not a regular file, a FIFO say, whose
    // reader would find no notes beside it.
    static QString pathFor(const QString &csvPath);

    // Starts the notes of a recording in `csvPath` whose elapsed_s 0 is
    // `startUtc`, and writes them; false when that recording gets none.
    bool begin(const QString &csvPath, const QString &program, const QDateTime &startUtc);
    // Writes what is pending and ends the notes.
    void end();
    bool isActive() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }

    // Each written at once. A port of "" and a baud or rate of 0 are unknown.
    void setLine(const QString &port, qint32 baud);
    void setRateHz(int hz);
    void addEvent(double elapsedSeconds, const QString &event, const QString &detail = QString());

    // The document as it stands.
    QByteArray json() const;
    // Waits until what was handed over has been written (or has failed).
    void sync();
    // The message of the write that failed, once; empty otherwise.
    QString takeError();

private:
    void write();
    void run();

    QString m_path;
    QString m_program;
    QDateTime m_start;
    QString m_port;
    qint32 m_baud = 0;
    int m_rateHz = 0;
    QJsonArray m_events;

    // Shared with the writer.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    QString m_pendingPath; // empty: nothing to write
    QByteArray m_pending;
    bool m_busy = false;
    bool m_failed = false;
    bool m_errorTaken = false;
    QString m_error;
    bool m_quit = false;
    std::thread m_writer;
};

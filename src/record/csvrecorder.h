#pragma once

#include "measurement.h"
#include "measurementfeed.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>

// Comma-separated text as spreadsheets and scripts read it (RFC 4180).
namespace Csv {
// A field quoted when it holds a comma, a quote or a line break, with its
// quotes doubled; otherwise as it is.
QString field(const QString &text);
// Fields joined by commas, quoted as needed, ended by a line feed.
QByteArray row(const QStringList &fields);
// Seconds with six decimals, from nanoseconds: 1234567890 -> "1.234567".
QByteArray seconds(qint64 nanoseconds);
// ISO 8601 in UTC with milliseconds: "2026-12-07T15:18:37.123Z".
QByteArray utcTime(const QDateTime &time);
} // namespace Csv

// Writes measurement frames to a CSV file, one row per frame:
//   host_time,elapsed_s,distance_mm,energy,ambient
// host_time is the moment the read that completed the frame was taken;
// elapsed_s counts from the start of the recording on a monotonic clock.
// Rows are kept in memory and reach the disk at least once a second (flush
// when due), so a crash costs at most the last second. They are formatted on
// the caller's thread and written and synced on a thread of their own, so a
// slow disk never holds up the caller. A write that fails ends the recording
// with error() naming the file and the system's reason; the rows already on
// disk stay whole.
//
// Nothing here waits on another program: a FIFO that no program reads is
// refused at open(), and what a full pipe cannot take waits in memory for the
// writer, up to MaxBacklogBytes (a reader that far behind ends the
// recording). Standard output is written as it is, waiting if it must.
class CsvRecorder : public MeasurementListener
{
public:
    static constexpr int FlushIntervalMs = 1000;
    static constexpr int MaxBacklogBytes = 8 << 20; // minutes of rows at the fastest rate
    // How long close() gives a pipe's reader to take the last rows.
    static constexpr int CloseWaitMs = 1000;
    static const char Header[];

    CsvRecorder();
    ~CsvRecorder();
    CsvRecorder(const CsvRecorder &) = delete;
    CsvRecorder &operator=(const CsvRecorder &) = delete;

    // Creates or replaces the file and writes the header. "-" is standard
    // output. A FIFO or pipe is written, never truncated.
    bool open(const QString &path);
    // Writes what is pending and closes the file; false if that write failed.
    bool close();
    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_path; }
    QString error() const { return m_error; }
    qint64 rows() const { return m_rows; }
    // Nanoseconds on the clock of elapsed_s of the rows beginRead() stamps.
    qint64 elapsedNs() const { return m_clock.isValid() ? m_clock.nsecsElapsed() : 0; }
    // Rows appended that are not yet on disk: a write that fails loses them.
    bool hasPending() const;
    // Rows known to be on disk (or taken by the pipe's reader), in the order
    // appended: the first rowsWritten() of rows(). Kept after close().
    qint64 rowsWritten() const;
    // Makes each sync take `ms` longer, to show a slow disk holds no one up.
    static void setSyncDelayForTesting(int ms);

    // Stamps the rows that follow with the time of the read they came from.
    void beginRead(const QDateTime &utcNow, qint64 monotonicNs);
    void beginRead(qint64 utcMsecsSinceEpoch, qint64 monotonicNs);
    void beginRead(); // now, from the clocks
    void append(const Measurement &frame);

    // As a feed's listener: rows while open, each stamped with its read. A
    // closed recorder costs a test of a flag per frame, not a call.
    void newRead() override
    {
        m_recordingRead = isOpen();
        if (m_recordingRead)
            beginRead();
    }
    void addMeasurement(const Measurement &frame) override
    {
        if (m_recordingRead)
            append(frame);
    }
    // Hands the pending rows to the writer if the last hand-over is a second
    // old; `force` hands them over now and waits until they are written (or,
    // for a pipe, until it takes no more). False once a write has failed.
    bool flushIfDue(bool force = false);

private:
    class Writer;

    bool openFile(const QString &path);
    bool fail(const QString &reason = QString());
    // Where rows written to `fd` begin, for cutting off a row a failed write
    // left half done; -1 where nothing may be cut.
    static qint64 startOfOwnBytes(int fd);

    QFile m_file;
    QString m_path;
    QString m_error;
    bool m_pipe = false; // written without waiting
    bool m_recordingRead = false; // open when the feed's current read began
    qint64 m_start = 0; // offset of the header in the file; -1: never cut
    QByteArray m_pending;
    void makeStamp();

    // The read's time, turned into text only when a row needs it: at high
    // rates most reads complete no frame, and formatting a date is dear.
    qint64 m_readMsecs = 0;
    qint64 m_readNs = 0;
    bool m_stampValid = false;
    QByteArray m_stamp; // "host_time,elapsed_s," of the current read
    qint64 m_stampSecond = -1; // the second m_secondText shows
    QByteArray m_secondText; // "2026-12-07T15:18:37", reused within the second
    QElapsedTimer m_clock; // monotonic, since open()
    qint64 m_lastFlushMs = 0;
    qint64 m_rows = 0;
    std::unique_ptr<Writer> m_writer; // while open, and its counts after
};

#include "csvrecorder.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Csv {

QString field(const QString &text)
{
    const bool needsQuotes = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"'))
        || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    if (!needsQuotes)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray row(const QStringList &fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString &f : fields)
        quoted.append(field(f));
    return quoted.join(QLatin1Char(',')).toUtf8() + '\n';
}

QByteArray seconds(qint64 nanoseconds)
{
    const qint64 micro = nanoseconds / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%06lld", static_cast<long long>(micro / 1000000),
                  static_cast<long long>(micro % 1000000));
    return QByteArray(text);
}

QByteArray utcTime(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs).toLatin1();
}

} // namespace Csv

namespace {
std::atomic<int> syncDelayMs { 0 };
}

// Takes blocks of whole rows from the recorder and writes them in order; a
// regular file is synced after each block. The first failure is kept for the
// recorder to report, and ends the writing: later blocks would leave a gap.
class CsvRecorder::Writer
{
public:
    using Clock = std::chrono::steady_clock;

    // `file` stays the recorder's, open until the writer is finished; `start`
    // is where our bytes begin in it (-1: never cut).
    Writer(QFile *file, bool pipe, bool sync, qint64 start)
        : m_file(file)
        , m_fd(file->handle())
        , m_pipe(pipe)
        , m_sync(sync)
        , m_start(start)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~Writer() { finish(false); }

    // Adds bytes to write and returns the number of this hand-over.
    quint64 hand(const QByteArray &bytes)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue += bytes;
        m_outstanding += bytes.size();
        m_wake.notify_all();
        return ++m_handed;
    }
    // Until the writer has tried hand-over `number`: written and synced, or,
    // for a pipe, written as far as the pipe takes it now.
    void waitFor(quint64 number)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [&] { return m_tried >= number || m_done; });
    }
    // Ends the thread once all is written; a pipe's reader gets CloseWaitMs
    // to take it (`wait`), else what is left is dropped.
    void finish(bool wait)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_stopping)
                m_deadline = Clock::now() + std::chrono::milliseconds(wait ? CloseWaitMs : 0);
            m_stopping = true;
            m_wake.notify_all();
        }
        if (m_thread.joinable())
            m_thread.join();
    }
    QString error() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_error;
    }
    bool failed() const { return m_failed.load(); }
    bool hasOutstanding() const { return m_outstanding.load() > 0; }
    // Lines on disk, the header first.
    qint64 lines() const { return m_lines.load(); }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        QByteArray block; // taken, not yet written
        for (;;) {
            const quint64 number = m_handed;
            block += m_queue;
            m_queue.clear();
            QString error;
            if (!block.isEmpty()) {
                lock.unlock();
                error = write(block);
                lock.lock();
            }
            m_outstanding = block.size() + m_queue.size();
            if (error.isEmpty() && m_pipe && m_outstanding > MaxBacklogBytes)
                error = QStringLiteral("the program reading it falls too far behind");
            if (error.isEmpty() && !block.isEmpty() && m_stopping && Clock::now() >= m_deadline)
                error = QStringLiteral("the program reading it did not take the last rows");
            m_tried = number;
            if (!error.isEmpty()) {
                m_error = error;
                m_failed = true;
                m_outstanding = 0; // lost, not pending
            }
            const bool idle = block.isEmpty() && m_queue.isEmpty();
            if (m_failed || (idle && m_stopping)) {
                m_done = true;
                m_wake.notify_all();
                return;
            }
            m_wake.notify_all();
            if (idle) {
                m_wake.wait(lock, [&] { return m_handed > m_tried || m_stopping; });
            } else if (!block.isEmpty()) {
#ifdef Q_OS_UNIX
                // A full pipe: back when it has room, or soon to see what came.
                lock.unlock();
                pollfd ready { m_fd, POLLOUT, 0 };
                ::poll(&ready, 1, 50);
                lock.lock();
#endif
            }
        }
    }

    // Writes what it can of `block` and removes it from there; the system's
    // reason if a write failed.
    QString write(QByteArray &block)
    {
        qint64 done = 0;
        QString error;
#ifdef Q_OS_UNIX
        // A write the system cuts short (the disk filling up) is retried for
        // the rest, which then fails with the system's reason; a full pipe
        // takes what it can and the rest waits.
        while (done < block.size()) {
            const ssize_t n = ::write(m_fd, block.constData() + done, size_t(block.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && m_pipe && errno == EAGAIN)
                break;
            if (n <= 0) {
                error = qt_error_string(n < 0 ? errno : ENOSPC);
                break;
            }
            done += n;
        }
#else
        const qint64 n = m_file->write(block);
        if (n != block.size() || !m_file->flush())
            error = m_file->errorString();
        done = qMax<qint64>(n, 0);
#endif
        if (m_pipe) {
            m_lines += block.left(int(done)).count('\n');
            block.remove(0, int(done));
            return error;
        }
        if (!error.isEmpty()) {
            // A row cut short by the failed write would make the file invalid.
            if (m_start >= 0)
                m_file->resize(m_start + m_committed);
            return error;
        }
#ifdef Q_OS_UNIX
        // Into the page cache is not onto the disk: a power cut would lose it.
        if (m_sync)
            ::fdatasync(m_fd);
#endif
        if (const int delay = syncDelayMs.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        m_committed += block.size();
        m_lines += block.count('\n');
        block.clear();
        return error;
    }

    QFile *const m_file;
    const int m_fd;
    const bool m_pipe; // written without waiting
    const bool m_sync;
    const qint64 m_start;
    qint64 m_committed = 0; // bytes of whole rows on disk; the writer's own
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    QByteArray m_queue; // handed, not yet taken
    quint64 m_handed = 0;
    quint64 m_tried = 0;
    bool m_stopping = false;
    bool m_done = false;
    Clock::time_point m_deadline;
    QString m_error;
    std::atomic<bool> m_failed { false };
    std::atomic<qint64> m_outstanding { 0 };
    std::atomic<qint64> m_lines { 0 };
};

const char CsvRecorder::Header[] = "host_time,elapsed_s,distance_mm,energy,ambient\n";

CsvRecorder::CsvRecorder() = default;

CsvRecorder::~CsvRecorder()
{
    close();
}

void CsvRecorder::setSyncDelayForTesting(int ms)
{
    syncDelayMs = ms;
}

bool CsvRecorder::open(const QString &path)
{
    close();
    m_writer.reset();
    m_path = path;
    m_error.clear();
    m_rows = 0;
    m_pipe = false;
    m_start = 0;
    m_pending = Header;
    const bool toStdout = path == QLatin1String("-");
    // Standard output unbuffered, as a file is: a row a failed write cut short
    // must not linger in a stdio buffer that would write it at exit.
    if (toStdout) {
        std::fflush(stdout);
        m_start = startOfOwnBytes(fileno(stdout));
    }
    const bool opened = toStdout
        ? m_file.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered,
                      QFileDevice::DontCloseHandle)
        : openFile(path);
    if (!opened)
        return m_error.isEmpty() ? fail() : false;
    m_writer
        = std::make_unique<Writer>(&m_file, m_pipe, !toStdout && !m_pipe, m_pipe ? -1 : m_start);
    m_clock.start();
    m_lastFlushMs = 0;
    beginRead();
    // The header at once: a file that exists is a file that can be read.
    return flushIfDue(true);
}

qint64 CsvRecorder::startOfOwnBytes(int fd)
{
#ifdef Q_OS_UNIX
    // Standard output may be a file the shell opened with text of its own in
    // it (>> or a group's earlier output): what lies before our rows is not
    // ours to cut. Appending, they begin at its end; otherwise where it stands.
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    const int flags = ::fcntl(fd, F_GETFL);
    return flags != -1 && (flags & O_APPEND) ? qint64(info.st_size)
                                             : qint64(::lseek(fd, 0, SEEK_CUR));
#else
    Q_UNUSED(fd);
    return -1;
#endif
}

bool CsvRecorder::openFile(const QString &path)
{
#ifdef Q_OS_UNIX
    // Without waiting: a FIFO would hold open() until some program reads it,
    // and with it the window or the capture's event loop.
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat info
    {
    };
    if (fd < 0) {
        const int error = errno;
        m_error = error == ENXIO && ::stat(name.constData(), &info) == 0 && S_ISFIFO(info.st_mode)
            ? QStringLiteral("%1: no program is reading from this pipe").arg(path)
            : QStringLiteral("%1: %2").arg(path, qt_error_string(error));
        return false;
    }
    m_pipe = ::fstat(fd, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
    // Only a regular file is replaced; a device or a pipe has nothing to cut.
    const bool ready = (!S_ISREG(info.st_mode) || ::ftruncate(fd, 0) == 0)
        && (m_pipe || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0);
    if (!ready
        || !m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                        QFileDevice::AutoCloseHandle)) {
        m_error = QStringLiteral("%1: %2").arg(path, qt_error_string(errno));
        ::close(fd);
        return false;
    }
    return true;
#else
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
#endif
}

bool CsvRecorder::close()
{
    if (!m_file.isOpen())
        return m_error.isEmpty();
    // What a full pipe has not taken yet gets a moment more, then counts as
    // lost: the reader fell behind or stopped reading.
    bool ok = flushIfDue(true);
    if (ok) {
        m_writer->finish(true);
        ok = !m_writer->failed() || fail();
    }
    if (m_file.isOpen())
        m_file.close();
    return ok;
}

bool CsvRecorder::hasPending() const
{
    return !m_pending.isEmpty() || (m_writer && m_writer->hasOutstanding());
}

qint64 CsvRecorder::rowsWritten() const
{
    return m_writer ? qMax<qint64>(m_writer->lines() - 1, 0) : 0;
}

void CsvRecorder::beginRead(const QDateTime &utcNow, qint64 monotonicNs)
{
    beginRead(utcNow.toMSecsSinceEpoch(), monotonicNs);
}

void CsvRecorder::beginRead(qint64 utcMsecsSinceEpoch, qint64 monotonicNs)
{
    m_readMsecs = utcMsecsSinceEpoch;
    m_readNs = monotonicNs;
    m_stampValid = false;
}

void CsvRecorder::beginRead()
{
    beginRead(QDateTime::currentMSecsSinceEpoch(), m_clock.isValid() ? m_clock.nsecsElapsed() : 0);
}

void CsvRecorder::makeStamp()
{
    // Floor division, so times before 1970 keep their second.
    const qint64 second = m_readMsecs >= 0 ? m_readMsecs / 1000 : -((999 - m_readMsecs) / 1000);
    if (second != m_stampSecond) {
        const QByteArray whole
            = Csv::utcTime(QDateTime::fromMSecsSinceEpoch(second * 1000, Qt::UTC));
        m_secondText = whole.left(whole.lastIndexOf('.'));
        m_stampSecond = second;
    }
    const int ms = int(m_readMsecs - second * 1000);
    const char millis[]
        = { '.', char('0' + ms / 100), char('0' + ms / 10 % 10), char('0' + ms % 10), 'Z', ',' };
    m_stamp = m_secondText;
    m_stamp.append(millis, int(sizeof millis));
    m_stamp += Csv::seconds(m_readNs);
    m_stamp += ',';
    m_stampValid = true;
}

void CsvRecorder::append(const Measurement &frame)
{
    if (!m_file.isOpen())
        return;
    if (!m_stampValid)
        makeStamp();
    m_pending += m_stamp;
    m_pending += QByteArray::number(frame.distance);
    m_pending += ',';
    m_pending += QByteArray::number(frame.energy);
    m_pending += ',';
    m_pending += QByteArray::number(frame.ambient);
    m_pending += '\n';
    ++m_rows;
}

bool CsvRecorder::flushIfDue(bool force)
{
    if (!m_file.isOpen())
        return m_error.isEmpty();
    if (m_writer->failed())
        return fail();
    const qint64 now = m_clock.isValid() ? m_clock.elapsed() : 0;
    if (!force && now - m_lastFlushMs < FlushIntervalMs)
        return true;
    m_lastFlushMs = now;
    if (m_pending.isEmpty() && !force)
        return true;
    const quint64 handed = m_writer->hand(m_pending);
    m_pending.clear();
    if (force)
        m_writer->waitFor(handed);
    return !m_writer->failed() || fail();
}

bool CsvRecorder::fail(const QString &reason)
{
    // The writer's reason, when it met one, is the one to give.
    if (m_writer) {
        m_writer->finish(false);
        if (m_writer->failed())
            m_error = QStringLiteral("%1: %2").arg(m_path, m_writer->error());
    }
    if (!m_writer || !m_writer->failed())
        m_error = QStringLiteral("%1: %2").arg(m_path,
                                               reason.isEmpty() ? m_file.errorString() : reason);
    if (m_file.isOpen())
        m_file.close();
    m_pending.clear();
    return false;
}

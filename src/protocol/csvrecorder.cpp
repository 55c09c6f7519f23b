#include "csvrecorder.h"

#include <cerrno>
#include <cstdio>

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

const char CsvRecorder::Header[] = "host_time,elapsed_s,distance_mm,energy,ambient\n";

CsvRecorder::~CsvRecorder()
{
    close();
}

bool CsvRecorder::open(const QString &path)
{
    close();
    m_path = path;
    m_error.clear();
    m_rows = 0;
    m_committed = 0;
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
    bool ok = flushIfDue(true);
#ifdef Q_OS_UNIX
    // What a full pipe has not taken yet gets a moment more, then counts as
    // lost: the reader fell behind or stopped reading.
    QElapsedTimer waited;
    waited.start();
    while (ok && m_pipe && !m_pending.isEmpty()) {
        pollfd ready { m_file.handle(), POLLOUT, 0 };
        const int left = CloseWaitMs - int(waited.elapsed());
        if (left <= 0 || (::poll(&ready, 1, left) < 0 && errno != EINTR))
            ok = fail(QStringLiteral("the program reading it did not take the last rows"));
        else
            ok = flushIfDue(true);
    }
#endif
    if (m_file.isOpen())
        m_file.close();
    return ok;
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
    const qint64 now = m_clock.isValid() ? m_clock.elapsed() : 0;
    if (!force && now - m_lastFlushMs < FlushIntervalMs)
        return true;
    m_lastFlushMs = now;
    if (m_pending.isEmpty())
        return true;
#ifdef Q_OS_UNIX
    if (m_pipe) {
        // A full pipe takes what it can; the rest waits for the next flush.
        qint64 done = 0;
        while (done < m_pending.size()) {
            const ssize_t n = ::write(m_file.handle(), m_pending.constData() + done,
                                      size_t(m_pending.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return fail(qt_error_string(errno));
            if (n < 0)
                break;
            done += n;
        }
        m_pending.remove(0, int(done));
        if (m_pending.size() > MaxBacklogBytes)
            return fail(QStringLiteral("the program reading it falls too far behind"));
        return true;
    }
#endif
    // A write the system cuts short (the disk filling up) is retried for the
    // rest, which then fails with the system's reason for the message.
    for (qint64 done = 0; done < m_pending.size();) {
        const qint64 n = m_file.write(m_pending.constData() + done, m_pending.size() - done);
        if (n <= 0)
            return fail();
        done += n;
    }
    if (!m_file.flush())
        return fail();
#ifdef Q_OS_UNIX
    // Into the page cache is not onto the disk: a power cut would lose it.
    if (m_file.handle() >= 0 && m_path != QLatin1String("-"))
        ::fdatasync(m_file.handle());
#endif
    m_committed += m_pending.size();
    m_pending.clear();
    return true;
}

bool CsvRecorder::fail(const QString &reason)
{
    m_error
        = QStringLiteral("%1: %2").arg(m_path, reason.isEmpty() ? m_file.errorString() : reason);
    if (m_file.isOpen()) {
        // A row cut short by the failed write would make the file invalid.
        if (!m_pipe && m_start >= 0)
            m_file.resize(m_start + m_committed);
        m_file.close();
    }
    m_pending.clear();
    return false;
}

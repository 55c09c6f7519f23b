#include "recordingloader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char Header[] = "host_time,elapsed_s,distance_mm,energy,ambient";
constexpr qint64 BlockBytes = 4 << 20;
constexpr qint64 MaxLineBytes = 4096; // a longer line is no row of ours
constexpr qint64 MaxSidecarBytes = 16 << 20;

QString tr(const char *text)
{
    return RecordingLoader::tr(text);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Opens `path` for reading only if it is a regular file, so that a FIFO, a
// device or a folder is refused before anything could wait on it. -1 with
// `why` set otherwise.
int openRegular(const QString &path, struct stat *st, QString *why)
{
    const QByteArray name = QFile::encodeName(path);
    auto refuse = [&](const struct stat &s) {
        if (S_ISREG(s.st_mode))
            return false;
        if (S_ISDIR(s.st_mode))
            *why = tr("%1 is a folder, not a recording.").arg(path);
        else if (S_ISFIFO(s.st_mode))
            *why = tr("%1 is a FIFO (named pipe). Only a recording saved as a file can be "
                      "opened.")
                       .arg(path);
        else
            *why = tr("%1 is a device or socket, not a recording.").arg(path);
        return true;
    };
    if (::stat(name.constData(), st) != 0) {
        *why = tr("%1 cannot be opened: %2").arg(path, systemError(errno));
        return -1;
    }
    if (refuse(*st))
        return -1;
    // Non-blocking, in case it was swapped for a FIFO since the look.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = tr("%1 cannot be opened: %2").arg(path, systemError(errno));
        return -1;
    }
    if (::fstat(fd, st) != 0 || refuse(*st)) {
        if (why->isEmpty())
            *why = tr("%1 cannot be opened: %2").arg(path, systemError(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

// Unsigned decimal of at most `maxDigits` digits over [p, end); false on
// anything else.
inline bool parseUnsigned(const char *p, const char *end, int maxDigits, quint64 *out)
{
    if (p == end || end - p > maxDigits)
        return false;
    quint64 v = 0;
    for (; p < end; ++p) {
        const unsigned digit = unsigned(*p) - '0';
        if (digit > 9)
            return false;
        v = v * 10 + digit;
    }
    *out = v;
    return true;
}

// "12.345678" to microseconds; a seventh decimal and beyond are rounded off.
inline bool parseSeconds(const char *p, const char *end, qint64 *us)
{
    const char *dot = static_cast<const char *>(std::memchr(p, '.', size_t(end - p)));
    quint64 whole;
    if (!parseUnsigned(p, dot ? dot : end, 12, &whole))
        return false;
    quint64 fraction = 0;
    if (dot) {
        const char *q = dot + 1;
        if (q == end)
            return false;
        int digits = 0;
        for (; q < end; ++q, ++digits) {
            const unsigned digit = unsigned(*q) - '0';
            if (digit > 9)
                return false;
            if (digits < 6)
                fraction = fraction * 10 + digit;
            else if (digits == 6 && digit >= 5)
                ++fraction; // may carry into the whole seconds, as it should
        }
        for (; digits < 6; ++digits)
            fraction *= 10;
    }
    *us = qint64(whole * 1000000 + fraction);
    return true;
}

struct Parser
{
    HistoryStore *store = nullptr;
    RecordingLoader::Result *result = nullptr;
    qint64 line = 0;
    QByteArray firstHostTime;
    qint64 firstElapsedUs = 0;

    void malformed()
    {
        if (result->malformedRows++ == 0)
            result->firstMalformedLine = line;
    }

    // One row, without its line feed.
    void row(const char *p, const char *end)
    {
        if (end > p && end[-1] == '\r')
            --end;
        const char *field[6];
        int fields = 0;
        field[fields++] = p;
        for (const char *q = p; q < end; ++q) {
            if (*q == ',') {
                if (fields == 5)
                    return malformed();
                field[fields++] = q + 1;
            }
        }
        if (fields != 5 || field[1] - 1 == field[0])
            return malformed();
        field[5] = end + 1;
        qint64 us;
        quint64 values[3];
        if (!parseSeconds(field[1], field[2] - 1, &us))
            return malformed();
        for (int i = 0; i < 3; ++i)
            if (!parseUnsigned(field[2 + i], field[3 + i] - 1, 9, &values[i]))
                return malformed();
        if (values[0] > 0xFFFF || values[1] > 0xFF || values[2] > 0xFF) {
            if (result->clampedRows++ == 0)
                result->firstClampedLine = line;
        }
        if (result->rows++ == 0) {
            firstHostTime = QByteArray(field[0], int(field[1] - 1 - field[0]));
            firstElapsedUs = us;
        }
        store->append(us, quint16(std::min<quint64>(values[0], 0xFFFF)),
                      quint8(std::min<quint64>(values[1], 0xFF)),
                      quint8(std::min<quint64>(values[2], 0xFF)));
    }
};

// The sidecar's start time and events, when there is a readable one.
void readSidecar(const QString &csvPath, HistoryStore *store)
{
    const QFileInfo info(csvPath);
    const QString path = info.dir().filePath(info.completeBaseName() + QStringLiteral(".json"));
    struct stat st;
    QString why;
    const int fd = openRegular(path, &st, &why);
    if (fd < 0)
        return;
    QByteArray text;
    if (st.st_size <= MaxSidecarBytes) {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly))
            text = file.read(MaxSidecarBytes);
    }
    ::close(fd);
    const QJsonObject root = QJsonDocument::fromJson(text).object();
    if (root.value(QStringLiteral("format")).toString() != QLatin1String("tav47-recording"))
        return;
    const QDateTime start = QDateTime::fromString(
        root.value(QStringLiteral("start_utc")).toString(), Qt::ISODateWithMs);
    if (start.isValid())
        store->startUtc = start.toUTC();
    for (const QJsonValue &v : root.value(QStringLiteral("events")).toArray()) {
        const QJsonObject e = v.toObject();
        const double seconds = e.value(QStringLiteral("elapsed_s")).toDouble(-1);
        const QString name = e.value(QStringLiteral("event")).toString();
        if (!(seconds >= 0 && seconds < 1e12) || name.isEmpty())
            continue;
        store->events.push_back({ qint64(std::llround(seconds * 1e6)), name,
                                  e.value(QStringLiteral("detail")).toString() });
    }
    std::stable_sort(
        store->events.begin(), store->events.end(),
        [](const HistoryEvent &a, const HistoryEvent &b) { return a.timeUs < b.timeUs; });
}

} // namespace

RecordingLoader::Result loadRecording(const QString &path,
                                      const std::function<bool(int permille)> &progress)
{
    RecordingLoader::Result result;
    struct stat st;
    const int fd = openRegular(path, &st, &result.error);
    if (fd < 0)
        return result;
    const qint64 size = st.st_size;
    if (size == 0) {
        ::close(fd);
        result.error = tr("%1 is empty.").arg(path);
        return result;
    }

    auto store = std::make_shared<HistoryStore>();
    Parser parser;
    parser.store = store.get();
    parser.result = &result;
    std::vector<char> buffer(size_t(BlockBytes + MaxLineBytes));
    qint64 offset = 0; // bytes read
    qint64 held = 0; // bytes in the buffer: the start of a line
    bool skipping = false; // within a line too long to be a row
    bool headerSeen = false;
    const QByteArray header(Header);
    while (offset < size) {
        const qint64 want = std::min(BlockBytes, size - offset);
        const ssize_t got = ::read(fd, buffer.data() + held, size_t(want));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.error = tr("%1 could not be read: %2").arg(path, systemError(errno));
            break;
        }
        if (got == 0) {
            result.shrank = true;
            break;
        }
        offset += got;
        const char *p = buffer.data();
        const char *end = p + held + got;
        while (const char *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)))) {
            ++parser.line;
            if (!headerSeen) {
                QByteArray first(p, int(lf - p));
                if (first.startsWith("\xEF\xBB\xBF"))
                    first.remove(0, 3);
                if (first.endsWith('\r'))
                    first.chop(1);
                if (skipping || first != header)
                    break;
                headerSeen = true;
            } else if (skipping) {
                parser.malformed();
            } else {
                parser.row(p, lf);
            }
            skipping = false;
            p = lf + 1;
        }
        if (!headerSeen && (parser.line > 0 || end - p > MaxLineBytes))
            break; // the first line is not our header
        held = end - p;
        if (held > MaxLineBytes) {
            skipping = true;
            held = 0;
        } else {
            std::memmove(buffer.data(), p, size_t(held));
        }
        if (progress && !progress(int(offset * 1000 / size))) {
            result.cancelled = true;
            break;
        }
    }
    if (!headerSeen && !skipping && held > 0 && QByteArray(buffer.data(), int(held)) == header) {
        headerSeen = true; // and nothing after it
        held = 0;
    }
    if (!result.error.isEmpty() || result.cancelled || !headerSeen) {
        ::close(fd);
        if (result.cancelled)
            result.error = tr("Loading %1 was cancelled.").arg(path);
        else if (result.error.isEmpty())
            result.error = tr("%1 is not a recording: its first line is not \"%2\".")
                               .arg(path, QLatin1String(Header));
        return result;
    }
    struct stat now;
    result.grew = ::fstat(fd, &now) == 0 && now.st_size > size;
    ::close(fd);
    // A last line with no line feed is a row unless the file is still being
    // written, when it is most likely cut short.
    if (held > 0 && !skipping && !result.grew) {
        ++parser.line;
        parser.row(buffer.data(), buffer.data() + held);
    }
    if (result.rows == 0) {
        result.error = result.malformedRows
            ? tr("%1 holds no readable measurements (line %2 is the first that is not one).")
                  .arg(path)
                  .arg(result.firstMalformedLine)
            : tr("%1 holds no measurements.").arg(path);
        return result;
    }
    const QDateTime first
        = QDateTime::fromString(QString::fromLatin1(parser.firstHostTime), Qt::ISODateWithMs);
    if (first.isValid())
        store->startUtc = first.toUTC().addMSecs(-parser.firstElapsedUs / 1000);
    readSidecar(path, store.get());
    result.store = std::move(store);
    return result;
}

QString RecordingLoader::Result::message() const
{
    if (!error.isEmpty())
        return error;
    QStringList parts;
    parts << tr("%n measurement(s) loaded.", nullptr, int(std::min<qint64>(rows, INT_MAX)));
    if (store && store->droppedFrames() > 0)
        parts << tr("The history keeps at most %1 frames: the oldest %2 are not shown.")
                     .arg(store->capacity())
                     .arg(store->droppedFrames());
    if (malformedRows > 0)
        parts << tr("%1 row(s) could not be read and were skipped; the first is line %2.")
                     .arg(malformedRows)
                     .arg(firstMalformedLine);
    if (clampedRows > 0)
        parts << tr("%1 row(s) held a value too large for its field (distance over 65535 mm, "
                    "energy or ambient over 255), shown as the largest that fits; the first is "
                    "line %2.")
                     .arg(clampedRows)
                     .arg(firstClampedLine);
    if (grew)
        parts << tr("The file grew while it was read (is it still being recorded?): only the "
                    "rows it held when opened are shown.");
    if (shrank)
        parts << tr("The file was cut short while it was read: only the rows read before are "
                    "shown.");
    return parts.join(QLatin1Char(' '));
}

RecordingLoader::RecordingLoader(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<RecordingLoader::Result>();
}

RecordingLoader::~RecordingLoader()
{
    stop();
}

void RecordingLoader::stop()
{
    if (m_cancel)
        *m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
    m_loading = false;
}

void RecordingLoader::cancel()
{
    if (m_cancel)
        *m_cancel = true;
}

bool RecordingLoader::isLoading() const
{
    return m_loading;
}

void RecordingLoader::load(const QString &path)
{
    stop();
    // Whatever the last load still has queued for this thread is dropped.
    const quint64 generation = ++m_generation;
    auto cancel = std::make_shared<std::atomic_bool>(false);
    m_cancel = cancel;
    m_loading = true;
    m_thread = std::thread([this, path, cancel, generation] {
        int last = -1;
        Result result = loadRecording(path, [&](int permille) {
            if (permille != last) {
                last = permille;
                QMetaObject::invokeMethod(
                    this,
                    [this, permille, generation] {
                        if (generation == m_generation)
                            emit progress(permille);
                    },
                    Qt::QueuedConnection);
            }
            return !*cancel;
        });
        QMetaObject::invokeMethod(
            this,
            [this, result, generation] {
                if (generation != m_generation)
                    return;
                stop();
                emit finished(result);
            },
            Qt::QueuedConnection);
    });
}

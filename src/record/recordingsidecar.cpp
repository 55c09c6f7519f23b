#include "recordingsidecar.h"

#include "csvrecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

RecordingSidecar::RecordingSidecar()
    : m_writer([this] { run(); })
{ }

RecordingSidecar::~RecordingSidecar()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_writer.join();
}

QString RecordingSidecar::pathFor(const QString &csvPath)
{
    const QFileInfo info(csvPath);
    if (csvPath == QLatin1String("-") || !info.isFile())
        return QString();
    // The name readers of recordings look for: the last suffix replaced. A
    // recording itself named .json gets none rather than being overwritten.
    const QString notes = info.dir().filePath(info.completeBaseName() + QLatin1String(".json"));
    return QFileInfo(notes) == info ? QString() : notes;
}

bool RecordingSidecar::begin(const QString &csvPath, const QString &program,
                             const QDateTime &startUtc)
{
    end();
    m_path = pathFor(csvPath);
    m_program = program;
    m_start = startUtc;
    m_events = QJsonArray();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failed = m_errorTaken = false;
        m_error.clear();
    }
    if (m_path.isEmpty())
        return false;
    // A file of that name that is not a recording's notes is someone's data:
    // it is left alone, and the recording goes without notes.
    QFile existing(m_path);
    if (QFileInfo(m_path).isFile() && existing.open(QIODevice::ReadOnly)
        && QJsonDocument::fromJson(existing.read(1 << 20)).object().value(QLatin1String("format"))
            != QLatin1String("tav47-recording")) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failed = true;
        m_error = QCoreApplication::translate("RecordingSidecar",
                                              "%1 holds something other than a recording's "
                                              "notes and is left alone; the recording goes on "
                                              "without them.")
                      .arg(m_path);
        return true;
    }
    write();
    return true;
}

void RecordingSidecar::end()
{
    sync();
    m_path.clear();
}

void RecordingSidecar::setLine(const QString &port, qint32 baud)
{
    m_port = port;
    m_baud = baud;
    write();
}

void RecordingSidecar::setRateHz(int hz)
{
    m_rateHz = hz;
    write();
}

void RecordingSidecar::addEvent(double elapsedSeconds, const QString &event, const QString &detail)
{
    if (m_path.isEmpty())
        return;
    // Microseconds, as the CSV's elapsed_s.
    QJsonObject entry { { QStringLiteral("elapsed_s"), std::round(elapsedSeconds * 1e6) / 1e6 },
                        { QStringLiteral("event"), event } };
    if (!detail.isEmpty())
        entry.insert(QStringLiteral("detail"), detail);
    m_events.append(entry);
    write();
}

QByteArray RecordingSidecar::json() const
{
    const QJsonValue null;
    const QJsonObject o {
        { QStringLiteral("format"), QStringLiteral("tav47-recording") },
        { QStringLiteral("format_version"), 1 },
        { QStringLiteral("program"), m_program },
        { QStringLiteral("version"), QStringLiteral(TAV47_VERSION) },
        { QStringLiteral("port"), m_port.isEmpty() ? null : QJsonValue(m_port) },
        { QStringLiteral("baud"), m_baud > 0 ? QJsonValue(m_baud) : null },
        { QStringLiteral("rate_hz"), m_rateHz > 0 ? QJsonValue(m_rateHz) : null },
        { QStringLiteral("start_utc"), QString::fromLatin1(Csv::utcTime(m_start)) },
        { QStringLiteral("events"), m_events },
    };
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

void RecordingSidecar::write()
{
    if (m_path.isEmpty())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_failed)
            return;
        // Only the newest document matters: one the writer has not begun is
        // replaced.
        m_pendingPath = m_path;
        m_pending = json();
    }
    m_wake.notify_all();
}

void RecordingSidecar::sync()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return m_pendingPath.isEmpty() && !m_busy; });
}

QString RecordingSidecar::takeError()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_failed || m_errorTaken)
        return QString();
    m_errorTaken = true;
    return m_error;
}

void RecordingSidecar::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_pendingPath.isEmpty(); });
        if (m_pendingPath.isEmpty())
            return; // quitting, nothing left
        const QString path = m_pendingPath;
        const QByteArray document = m_pending;
        m_pendingPath.clear();
        m_busy = true;
        lock.unlock();

        // Aside and renamed over the old notes: never half a file.
        QSaveFile file(path);
        const bool ok = file.open(QIODevice::WriteOnly) && file.write(document) == document.size()
            && file.commit();
        const QString reason = ok ? QString() : file.errorString();

        lock.lock();
        m_busy = false;
        if (!ok && !m_failed) {
            m_failed = true;
            m_pendingPath.clear();
            m_error = QCoreApplication::translate("RecordingSidecar",
                                                  "The recording's notes %1 cannot be written "
                                                  "(%2); the recording goes on without them.")
                          .arg(path, reason);
        }
        m_done.notify_all();
    }
}

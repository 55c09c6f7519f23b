#include "historyexport.h"

#include "csvrecorder.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cstdio>

namespace {

bool fail(const QString &path, const QString &reason, QString *error)
{
    *error = QStringLiteral("%1: %2").arg(path, reason);
    return false;
}

bool writeSidecar(const HistoryStore &store, qint64 t0Us, qint64 t1Us, const QString &csvPath,
                  QString *error)
{
    const QFileInfo csv(csvPath);
    const QString path
        = csv.path() + QLatin1Char('/') + csv.completeBaseName() + QStringLiteral(".json");
    QJsonArray events;
    for (const HistoryEvent &event : store.events) {
        if (event.timeUs < t0Us || event.timeUs >= t1Us)
            continue;
        QJsonObject entry { { QStringLiteral("elapsed_s"), double(event.timeUs) / 1e6 },
                            { QStringLiteral("event"), event.name } };
        if (!event.detail.isEmpty())
            entry.insert(QStringLiteral("detail"), event.detail);
        events.append(entry);
    }
    QJsonObject root { { QStringLiteral("format"), QStringLiteral("tav47-recording") },
                       { QStringLiteral("format_version"), 1 },
                       { QStringLiteral("program"), QStringLiteral("tav47") },
                       { QStringLiteral("version"), QStringLiteral("1.2") },
                       { QStringLiteral("events"), events } };
    if (store.startUtc.isValid())
        root.insert(QStringLiteral("start_utc"), QString::fromLatin1(Csv::utcTime(store.startUtc)));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0
        || !file.commit())
        return fail(path, file.errorString(), error);
    return true;
}

} // namespace

bool writeHistoryCsv(const HistoryStore &store, qint64 t0Us, qint64 t1Us, const QString &path,
                     QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(path, file.errorString(), error);
    QByteArray block(CsvRecorder::Header);
    const qint64 startMs = store.startUtc.isValid() ? store.startUtc.toMSecsSinceEpoch() : 0;
    qint64 second = -1;
    QByteArray secondText; // a date is dear to format: once per second
    const qint64 end = store.lowerBound(t1Us);
    for (qint64 i = store.lowerBound(t0Us); i < end; ++i) {
        const HistoryFrame frame = store.at(i);
        const qint64 ms = startMs + frame.timeUs / 1000;
        if (ms / 1000 != second) {
            second = ms / 1000;
            const QByteArray whole
                = Csv::utcTime(QDateTime::fromMSecsSinceEpoch(second * 1000, Qt::UTC));
            secondText = whole.left(whole.lastIndexOf('.'));
        }
        char row[96];
        const int n = std::snprintf(
            row, sizeof row, ".%03dZ,%lld.%06lld,%u,%u,%u\n", int(ms - second * 1000),
            static_cast<long long>(frame.timeUs / 1000000),
            static_cast<long long>(frame.timeUs % 1000000), unsigned(frame.distance),
            unsigned(frame.energy), unsigned(frame.ambient));
        block += secondText;
        block.append(row, n);
        if (block.size() > (1 << 20)) {
            if (file.write(block) < 0)
                return fail(path, file.errorString(), error);
            block.clear();
        }
    }
    if (file.write(block) < 0 || !file.commit())
        return fail(path, file.errorString(), error);
    return writeSidecar(store, t0Us, t1Us, path, error);
}

// The History window's data: the store's column extremes and statistics
// against a plain pass over the same frames, and the loader of recordings.

#include "historyrecorder.h"
#include "historystore.h"
#include "lidarframe.h"
#include "recordingloader.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <cmath>

using namespace testsupport;

namespace {

__extension__ typedef __int128 Wide;

// Every frame appended, dropped ones too, beside the store they went into.
struct Filled
{
    std::vector<HistoryFrame> frames;
    std::vector<double> means; // Mean10 of each frame
    HistoryStore store;

    Filled(int count, qint64 capacity, int chunkBits, bool pauses)
        : store(capacity, chunkBits)
    {
        QRandomGenerator random(47);
        qint64 t = 1000;
        for (int i = 0; i < count; ++i) {
            // Mostly ~555 us apart, some frames of one read sharing a time, and
            // pauses long enough to outgrow a chunk's 32-bit offsets.
            const quint32 r = random.bounded(1000u);
            t += r < 100 ? 0 : (pauses && r == 999) ? (qint64(1) << 32) + 7 : 500 + r % 110;
            HistoryFrame f { t, quint16(1500 + random.bounded(40)), quint8(random.bounded(256)),
                             quint8(random.bounded(30)) };
            if (r == 500 || r == 501) // one-frame spikes that must show in every view
                f.distance = r == 500 ? 65535 : 0;
            frames.push_back(f);
            store.append(f.timeUs, f.distance, f.energy, f.ambient);
            quint32 sum = 0;
            const int from = std::max(0, i - 9);
            for (int k = from; k <= i; ++k)
                sum += frames[size_t(k)].distance;
            means.push_back(double(sum / quint32(i - from + 1)));
        }
    }
    qint64 firstHeld() const { return qint64(frames.size()) - store.size(); }
    double value(HistoryChannel channel, size_t i) const
    {
        switch (channel) {
        case HistoryChannel::Distance:
            return frames[i].distance;
        case HistoryChannel::Energy:
            return frames[i].energy;
        case HistoryChannel::Ambient:
            return frames[i].ambient;
        case HistoryChannel::Mean10:
            break;
        }
        return means[i];
    }
};

// Mean and population deviation by a plain pass; 0, 0 for none.
std::pair<double, double> meanAndDeviation(const std::vector<double> &v)
{
    if (v.empty())
        return { 0, 0 };
    double sum = 0, squares = 0;
    for (double x : v)
        sum += x;
    const double mean = sum / double(v.size());
    for (double x : v)
        squares += (x - mean) * (x - mean);
    return { mean, std::sqrt(squares / double(v.size())) };
}

bool near(double a, double b)
{
    return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(b));
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void storeMatchesPlainPass_data();
    void storeMatchesPlainPass();
    void viewAnalysis_data();
    void viewAnalysis();
    void loadsRecordings_data();
    void loadsRecordings();
    void loaderReportsOnlyTheLatestLoad();
    void recorderStampsEachRead();
};

void TestHistory::storeMatchesPlainPass_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<qint64>("capacity");
    QTest::addColumn<int>("chunkBits");
    QTest::addColumn<bool>("pauses");
    QTest::addColumn<int>("columns");
    QTest::addColumn<double>("from"); // of the held span
    QTest::addColumn<double>("to");
    const qint64 all = HistoryStore::DefaultCapacity;
    QTest::newRow("five frames") << 5 << all << 16 << false << 3 << 0.0 << 1.0;
    QTest::newRow("fewer frames than columns") << 300 << all << 16 << false << 1920 << 0.0 << 1.0;
    QTest::newRow("ranges cutting chunks") << 5000 << all << 5 << false << 37 << 0.13 << 0.87;
    QTest::newRow("one column") << 5000 << all << 6 << false << 1 << 0.0 << 1.0;
    QTest::newRow("a column a block") << 3000 << all << 7 << false << 1000 << 0.0 << 1.0;
    QTest::newRow("after dropping the oldest")
        << 4000 << qint64(1000) << 5 << false << 50 << 0.0 << 1.0;
    QTest::newRow("capacity under a chunk") << 700 << qint64(100) << 8 << false << 7 << 0.3 << 1.0;
    QTest::newRow("view beyond the data") << 2000 << all << 6 << false << 64 << -0.5 << 1.5;
    QTest::newRow("pauses seal chunks early")
        << 6000 << qint64(5000) << 10 << true << 90 << 0.0 << 1.0;
    QTest::newRow("large, default chunks") << 300000 << all << 16 << false << 1920 << 0.01 << 0.99;
}

void TestHistory::storeMatchesPlainPass()
{
    QFETCH(int, count);
    QFETCH(qint64, capacity);
    QFETCH(int, chunkBits);
    QFETCH(bool, pauses);
    QFETCH(int, columns);
    QFETCH(double, from);
    QFETCH(double, to);
    const Filled f(count, capacity, chunkBits, pauses);
    const HistoryStore &s = f.store;
    QCOMPARE(s.size(), std::min<qint64>(count, capacity));
    QCOMPARE(s.droppedFrames(), count - s.size());
    const size_t first = size_t(f.firstHeld());
    QCOMPARE(s.at(0).timeUs, f.frames[first].timeUs);
    QCOMPARE(s.at(s.size() - 1).distance, f.frames.back().distance);

    const qint64 held = s.lastTimeUs() - s.firstTimeUs();
    const qint64 t0 = s.firstTimeUs() + qint64(from * double(held));
    const qint64 t1 = s.firstTimeUs() + qint64(to * double(held)) + 1;
    QCOMPARE(s.lowerBound(t0),
             qint64(std::lower_bound(f.frames.begin() + qint64(first), f.frames.end(), t0,
                                     [](const HistoryFrame &a, qint64 t) { return a.timeUs < t; })
                    - f.frames.begin())
                 - qint64(first));

    const auto edge = [&](int k) {
        return t0 + qint64(Wide(t1 - t0) * k / columns);
    };
    for (int ch = 0; ch < HistoryChannelCount; ++ch) {
        const auto channel = HistoryChannel(ch);
        std::vector<ColumnRange> got;
        s.columns(channel, t0, t1, columns, &got);
        QCOMPARE(int(got.size()), columns);
        std::vector<ColumnRange> want { size_t(columns) };
        int k = 0;
        for (size_t i = first; i < f.frames.size(); ++i) {
            const qint64 t = f.frames[i].timeUs;
            if (t < t0 || t >= t1)
                continue;
            // The slice whose [start, end) holds t, as columns() cuts them.
            while (t >= edge(k + 1))
                ++k;
            ColumnRange &w = want[size_t(k)];
            const double v = f.value(channel, i);
            w.min = w.empty ? v : std::min(w.min, v);
            w.max = w.empty ? v : std::max(w.max, v);
            w.empty = false;
        }
        for (int k = 0; k < columns; ++k) {
            const ColumnRange &g = got[size_t(k)], &w = want[size_t(k)];
            QVERIFY2(g.empty == w.empty && g.min == w.min && g.max == w.max,
                     qPrintable(QString::asprintf("channel %d column %d: %g..%g, not %g..%g", ch, k,
                                                  g.min, g.max, w.min, w.max)));
        }
    }

    // Statistics of the same view.
    const ViewStats got = s.stats(t0, t1);
    std::vector<size_t> in;
    for (size_t i = first; i < f.frames.size(); ++i)
        if (f.frames[i].timeUs >= t0 && f.frames[i].timeUs < t1)
            in.push_back(i);
    QCOMPARE(got.frames, qint64(in.size()));
    if (in.empty())
        return;
    QVERIFY(near(got.spanSeconds,
                 double(f.frames[in.back()].timeUs - f.frames[in.front()].timeUs) / 1e6));
    for (int ch = 0; ch < HistoryChannelCount; ++ch) {
        std::vector<double> v;
        for (size_t i : in)
            v.push_back(f.value(HistoryChannel(ch), i));
        const auto [mean, deviation] = meanAndDeviation(v);
        const ChannelStats &c = got.channels[size_t(ch)];
        QVERIFY2(c.count == qint64(in.size()) && near(c.mean, mean) && near(c.stdDev, deviation)
                     && c.min == *std::min_element(v.begin(), v.end())
                     && c.max == *std::max_element(v.begin(), v.end()),
                 qPrintable(QStringLiteral("channel %1").arg(ch)));
    }
    std::vector<double> differences;
    for (size_t k = 1; k < in.size(); ++k)
        differences.push_back(double(f.frames[in[k]].distance) - f.frames[in[k - 1]].distance);
    const double noise = meanAndDeviation(differences).second / std::sqrt(2.0);
    QVERIFY2(near(got.distanceNoise, noise),
             qPrintable(QStringLiteral("noise %1, not %2").arg(got.distanceNoise).arg(noise)));
}

void TestHistory::viewAnalysis_data()
{
    QTest::addColumn<QVector<int>>("distances"); // a millisecond apart
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<QVector<qint64>>("histogram");
    QTest::addColumn<QVector<double>>("allan"); // at tau = 1, 2, 4 ... ms
    QTest::addColumn<bool>("cancel");
    const double r = std::sqrt(0.5);
    QVector<int> alternating, ramp;
    for (int i = 0; i < 16; ++i)
        alternating << 2 * (i % 2);
    for (int i = 0; i < 10; ++i)
        ramp << i;
    QTest::newRow("alternating") << alternating << 0.0 << 2.0 << QVector<qint64> { 8, 8 }
                                 << QVector<double> { 2 * r, 0, 0 } << false;
    QTest::newRow("ramp, top on the last bin") << ramp << 0.0 << 9.0 << QVector<qint64> { 3, 3, 4 }
                                               << QVector<double> { r, 2 * r, 4 * r } << false;
    QTest::newRow("outside the bins")
        << QVector<int> { 5, 10, 15, 20 } << 10.0 << 15.0 << QVector<qint64> { 1, 0, 0, 0, 1 }
        << QVector<double> { 5 * r } << false;
    QTest::newRow("two frames") << QVector<int> { 1, 2 } << 0.0 << 10.0 << QVector<qint64> { 2 }
                                << QVector<double> {} << false;
    QTest::newRow("cancelled") << ramp << 0.0 << 9.0 << QVector<qint64> {} << QVector<double> {}
                               << true;
}

void TestHistory::viewAnalysis()
{
    QFETCH(QVector<int>, distances);
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(QVector<qint64>, histogram);
    QFETCH(QVector<double>, allan);
    QFETCH(bool, cancel);
    HistoryStore store(HistoryStore::DefaultCapacity, 3);
    for (int i = 0; i < distances.size(); ++i)
        store.append(1000 * i, quint16(distances[i]), 0, 0);
    const std::atomic_bool stop { cancel };
    const std::vector<qint64> counts = distanceHistogram(
        store, 0, store.lastTimeUs() + 1, cancel ? 3 : histogram.size(), lo, hi, &stop);
    QCOMPARE(QVector<qint64>(counts.begin(), counts.end()), histogram);
    // A view is read on another thread while the store goes on: what it
    // shows stays as it was when taken.
    const DistanceView view = store.distances(0, store.lastTimeUs() + 1);
    store.clear();
    for (int i = 0; i < 1000; ++i)
        store.append(i, 7, 7, 7);
    const std::vector<AllanPoint> points = allanDeviation(view, &stop);
    QCOMPARE(int(points.size()), allan.size());
    for (int k = 0; k < allan.size(); ++k) {
        QCOMPARE(points[size_t(k)].tauSeconds, 0.001 * (1 << k));
        QVERIFY2(std::abs(points[size_t(k)].deviation - allan[k]) < 1e-12,
                 qPrintable(QString::number(points[size_t(k)].deviation)));
    }
}

namespace {

const QByteArray header = "host_time,elapsed_s,distance_mm,energy,ambient\n";
const QByteArray rows = "2026-12-08T07:40:00.123Z,0.000000,1500,200,10\n"
                        "2026-12-08T07:40:00.124Z,0.000555,1501,201,11\n"
                        "2026-12-08T07:40:00.124Z,0.001110,1502,202,12\n";
const QByteArray sidecar
    = R"({"format": "tav47-recording", "format_version": 1, "start_utc": "2026-12-08T07:40:00.100Z",
              "future_key": [1, 2], "events": [{"elapsed_s": 0.5, "event": "measure_point",
              "detail": "reference 1500 mm"}, {"elapsed_s": 0.0, "event": "open"}]})";

} // namespace

void TestHistory::loadsRecordings_data()
{
    QTest::addColumn<QString>("kind"); // file, fifo, folder, device, missing
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("json"); // the sidecar's, none when empty
    QTest::addColumn<QString>("during"); // done from the progress callback: grow, cancel
    QTest::addColumn<QString>("error"); // part of it; empty when loaded
    QTest::addColumn<qint64>("frames");
    QTest::addColumn<qint64>("malformed");
    QTest::addColumn<qint64>("firstMalformed");
    QTest::addColumn<qint64>("clamped");
    QTest::addColumn<int>("events");
    const QByteArray none;
    const QString file = QStringLiteral("file");
    QTest::newRow("good") << file << header + rows << none << ""
                          << "" << 3ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("CRLF, no last line feed")
        << file << QByteArray(header + rows).replace("\n", "\r\n").chopped(2) << none << ""
        << "" << 3ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("malformed rows") << file
                                    << header + rows.left(46)
            + "x,1.0,1500,1\n\n,1.0,1,2,3\nx,-1.0,1,2,3\nx,1.0,1,2,3,4\n"
              "x,1.,1,2,3\nx,1.0,1e3,2,3\nx,1.0,1500.5,2,3\n"
            + QByteArray(5000, '7') + "\n" + rows.mid(46)
                                    << none << ""
                                    << "" << 3ll << 9ll << 3ll << 0ll << 0;
    QTest::newRow("too large values") << file << header + rows + "x,0.002,70000,300,999\n"
                                      << none << ""
                                      << "" << 4ll << 0ll << 0ll << 1ll << 0;
    QTest::newRow("time going back") << file << header + rows + "x,0.000100,1,2,3\n"
                                     << none << ""
                                     << "" << 4ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("sidecar events") << file << header + rows << sidecar << ""
                                    << "" << 3ll << 0ll << 0ll << 0ll << 2;
    QTest::newRow("sidecar not ours")
        << file << header + rows << QByteArray(sidecar).replace("tav47-recording", "other") << ""
        << "" << 3ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("sidecar broken") << file << header + rows << sidecar.left(90) << ""
                                    << "" << 3ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("grows while read") << file << header + rows << none << "grow"
                                      << "" << 3ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("cancelled") << file << header + rows << none << "cancel"
                               << "cancelled" << 0ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("empty") << file << none << none << ""
                           << "is empty" << 0ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("header only") << file << header << none << ""
                                 << "holds no measurements" << 0ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("header only, no line feed")
        << file << header.chopped(1) << none << ""
        << "holds no measurements" << 0ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("other header") << file << "time,distance\n1,2\n" + rows << none << ""
                                  << "is not a recording" << 0ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("binary") << file << QByteArray(100000, '\0') << none << ""
                            << "is not a recording" << 0ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("FIFO") << "fifo" << none << none << ""
                          << "FIFO" << 0ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("folder") << "folder" << none << none << ""
                            << "folder" << 0ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("device") << "device" << none << none << ""
                            << "device" << 0ll << 0ll << 0ll << 0ll << 0;
    QTest::newRow("missing") << "missing" << none << none << ""
                             << "cannot be opened" << 0ll << 0ll << 0ll << 0ll << 0;
}

void TestHistory::loadsRecordings()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, json);
    QFETCH(QString, during);
    QFETCH(QString, error);
    QFETCH(qint64, frames);
    QFETCH(qint64, malformed);
    QFETCH(qint64, firstMalformed);
    QFETCH(qint64, clamped);
    QFETCH(int, events);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("run.csv"));
    if (kind == QLatin1String("file"))
        writeFile(path, content);
    if (!json.isEmpty())
        writeFile(dir.filePath(QStringLiteral("run.json")), json);
    const Fifo fifo(kind == QLatin1String("fifo") ? path : dir.filePath("unused"), false);
    if (kind == QLatin1String("folder"))
        path = dir.path();
    if (kind == QLatin1String("device"))
        path = QStringLiteral("/dev/null");

    int lastPermille = -1;
    const RecordingLoader::Result r = loadRecording(path, [&](int permille) {
        lastPermille = permille;
        if (during == QLatin1String("grow")) {
            QFile grown(path);
            return grown.open(QIODevice::Append) && grown.write(rows) > 0;
        }
        return during != QLatin1String("cancel");
    });
    QVERIFY2(error.isEmpty() ? r.error.isEmpty() : r.error.contains(error), qPrintable(r.error));
    QCOMPARE(r.message().isEmpty(), false);
    QCOMPARE(r.cancelled, during == QLatin1String("cancel"));
    QCOMPARE(r.grew, during == QLatin1String("grow"));
    QCOMPARE(r.store == nullptr, !error.isEmpty());
    QCOMPARE(r.malformedRows, malformed);
    QCOMPARE(r.firstMalformedLine, firstMalformed);
    QCOMPARE(r.clampedRows, clamped);
    if (!r.store)
        return;
    QCOMPARE(lastPermille, 1000);
    const HistoryStore &s = *r.store;
    QCOMPARE(s.size(), frames);
    for (qint64 i = 1; i < frames; ++i) // kept in order, a time going back held
        QVERIFY(s.at(i).timeUs >= s.at(i - 1).timeUs && s.at(i).timeUs < 3000);
    const HistoryFrame second = s.at(1);
    QCOMPARE(second.timeUs, qint64(555));
    QCOMPARE(int(second.distance), 1501);
    QCOMPARE(int(second.energy), 201);
    QCOMPARE(int(second.ambient), 11);
    if (clamped) {
        const HistoryFrame last = s.at(frames - 1);
        QCOMPARE(int(last.distance) + last.energy + last.ambient, 65535 + 255 + 255);
    }
    QCOMPARE(int(s.events.size()), events);
    // The first row's host time less its elapsed time, unless the sidecar says.
    QCOMPARE(s.startUtc,
             QDateTime::fromString(events ? "2026-12-08T07:40:00.100Z" : "2026-12-08T07:40:00.123Z",
                                   Qt::ISODateWithMs));
    if (events) {
        QCOMPARE(s.events[0].name, QStringLiteral("open"));
        QCOMPARE(s.events[1].timeUs, qint64(500000));
        QCOMPARE(s.events[1].detail, QStringLiteral("reference 1500 mm"));
    }
}

void TestHistory::loaderReportsOnlyTheLatestLoad()
{
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.csv"));
    QByteArray content = header;
    for (int i = 0; i < 20; ++i)
        content += rows;
    writeFile(big, content);
    RecordingLoader loader;
    QSignalSpy progress(&loader, &RecordingLoader::progress);
    QSignalSpy finished(&loader, &RecordingLoader::finished);
    loader.load(dir.filePath(QStringLiteral("missing.csv")));
    loader.load(big);
    QVERIFY(loader.isLoading());
    QVERIFY(finished.wait(30000));
    QTest::qWait(50);
    QCOMPARE(finished.count(), 1);
    const auto r = finished.at(0).at(0).value<RecordingLoader::Result>();
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.store->size(), qint64(60));
    QCOMPARE(progress.last().at(0).toInt(), 1000);
    QVERIFY(!loader.isLoading());
}

void TestHistory::recorderStampsEachRead()
{
    auto frame = [](quint16 distance, char energy, char ambient) {
        return LidarFrame::build(LidarFrame::Command::Measurement,
                                 QByteArray() + char(distance & 0xFF) + char(distance >> 8) + energy
                                     + ambient);
    };
    HistoryStore store;
    HistoryRecorder recorder(&store);
    MeasurementFeed feed;
    feed.addListener(&recorder);
    feed.receive(frame(1500, 1, 2) + frame(1501, 3, 4));
    QThread::msleep(2);
    feed.receive(frame(1502, 5, 6));
    QCOMPARE(store.size(), qint64(3));
    QCOMPARE(store.at(0).timeUs, store.at(1).timeUs);
    QVERIFY(store.at(2).timeUs >= store.at(1).timeUs + 2000);
    QCOMPARE(int(store.at(2).distance) + store.at(2).energy + store.at(2).ambient, 1502 + 5 + 6);
    QVERIFY(store.startUtc.isValid());
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"

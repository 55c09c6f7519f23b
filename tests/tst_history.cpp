// The History window's data: the store's column extremes and statistics
// against a plain pass over the same frames, and the loader of recordings.

#include "historyrecorder.h"
#include "historystore.h"
#include "recordingloader.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
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
                     qPrintable(QStringLiteral("channel %1 column %2: %3..%4, not %5..%6")
                                    .arg(ch)
                                    .arg(k)
                                    .arg(g.empty ? -1 : g.min)
                                    .arg(g.empty ? -1 : g.max)
                                    .arg(w.empty ? -1 : w.min)
                                    .arg(w.empty ? -1 : w.max)));
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
        double sum = 0, lo = 1e9, hi = -1;
        for (size_t i : in) {
            const double v = f.value(HistoryChannel(ch), i);
            sum += v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        const double mean = sum / double(in.size());
        double squares = 0;
        for (size_t i : in)
            squares += (f.value(HistoryChannel(ch), i) - mean)
                * (f.value(HistoryChannel(ch), i) - mean);
        const ChannelStats &c = got.channels[size_t(ch)];
        QCOMPARE(c.count, qint64(in.size()));
        QVERIFY2(near(c.mean, mean) && near(c.stdDev, std::sqrt(squares / double(in.size())))
                     && c.min == lo && c.max == hi,
                 qPrintable(QStringLiteral("channel %1").arg(ch)));
    }
    double diffSum = 0, diffSquares = 0;
    for (size_t k = 1; k < in.size(); ++k)
        diffSum += double(f.frames[in[k]].distance) - double(f.frames[in[k - 1]].distance);
    const double diffMean = in.size() > 1 ? diffSum / double(in.size() - 1) : 0;
    for (size_t k = 1; k < in.size(); ++k) {
        const double d = double(f.frames[in[k]].distance) - double(f.frames[in[k - 1]].distance);
        diffSquares += (d - diffMean) * (d - diffMean);
    }
    const double noise
        = in.size() > 1 ? std::sqrt(diffSquares / double(in.size() - 1)) / std::sqrt(2.0) : 0;
    QVERIFY2(near(got.distanceNoise, noise),
             qPrintable(QStringLiteral("noise %1, not %2").arg(got.distanceNoise).arg(noise)));
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"

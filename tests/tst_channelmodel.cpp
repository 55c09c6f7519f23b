#include "channelmodel.h"
#include "chartranges.h"
#include "gaussiannoise.h"
#include "measurementlog.h"
#include "testsupport.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

using namespace testsupport;

namespace {

QVector<float> repeated(float value, int count)
{
    return QVector<float>(count, value);
}

QVector<float> range(float first, int count)
{
    QVector<float> values;
    for (int i = 0; i < count; ++i)
        values << first + float(i);
    return values;
}

bool near(float got, double expected)
{
    return std::fabs(double(got) - expected) <= 1e-5 * qMax(1.0, std::fabs(expected));
}

// Everything addSample may change, to check that a call changed nothing.
struct Snapshot
{
    QVector<QVector<float>> series;
    QVector<float> positions;
    float count;
    quint16 meanDis, avr10Dis;
    float stdDis, stdEngy;

    explicit Snapshot(const ChannelModel &m)
        : positions(m.samplePositions)
        , count(m.sampleCount)
        , meanDis(m.meanDis)
        , avr10Dis(m.avr10Dis)
        , stdDis(m.stdDis)
        , stdEngy(m.stdEngy)
    {
        for (const ChannelSeries &s : m.series)
            series << s.values();
    }
    bool operator==(const Snapshot &o) const
    {
        return series == o.series && positions == o.positions && count == o.count
            && meanDis == o.meanDis && avr10Dis == o.avr10Dis && stdDis == o.stdDis
            && stdEngy == o.stdEngy;
    }
};

} // namespace

class TestChannelModel : public QObject
{
    Q_OBJECT

private slots:
    void firstFrame();
    void statistics_data();
    void statistics();
    void fullHistory();
    void channelsOneToThreeLeaveStatistics_data();
    void channelsOneToThreeLeaveStatistics();
    void channelOutOfRange_data();
    void channelOutOfRange();
    void constantSeries_data();
    void constantSeries();
    void readoutValue_data();
    void readoutValue();
    void rangesFromSamples_data();
    void rangesFromSamples();
    void runningSumsMatchAFullPass_data();
    void runningSumsMatchAFullPass();
    void differenceNoise_data();
    void differenceNoise();
    void pointAverager_data();
    void pointAverager();
    void logInput_data();
    void logInput();
    void logText();
};

void TestChannelModel::firstFrame()
{
    ChannelModel model;
    addFrame(model, 4660, 128, 0, 7);

    QCOMPARE(model.meanDis, quint16(0));
    QCOMPARE(model.avr10Dis, quint16(0));
    QCOMPARE(model.stdDis, 0.0f);
    QCOMPARE(model.stdEngy, 0.0f);
    QCOMPARE(model.sampleCount, 1.0f);
    QCOMPARE(model.samplePositions, QVector<float> { 0 });
    QCOMPARE(model.series[0].values(), QVector<float> { 4660 });
    QCOMPARE(model.series[1].values(), QVector<float> { 128 });
    QCOMPARE(model.series[2].values(), QVector<float> { 0 });
    QCOMPARE(model.series[3].values(), QVector<float> { 7 });
    QCOMPARE(model.series[4].values(), QVector<float> { 0 });
}

// The statistics seen by a frame describe the frames before it: each row
// feeds its distances and energies, then one more frame with outlying values
// that must not show in any statistic.
void TestChannelModel::statistics_data()
{
    QTest::addColumn<QVector<float>>("distances");
    QTest::addColumn<QVector<float>>("energies"); // zeros when empty
    QTest::addColumn<int>("meanDis");
    QTest::addColumn<int>("avr10Dis");
    QTest::addColumn<double>("stdDis");
    QTest::addColumn<double>("stdEngy");

    const QVector<float> textbook { 2, 4, 4, 4, 5, 5, 7, 9 };
    QTest::newRow("nothing before")
        << QVector<float> {} << QVector<float> {} << 0 << 0 << 0.0 << 0.0;
    QTest::newRow("1 and 2 truncate to 1")
        << QVector<float> { 1, 2 } << QVector<float> {} << 1 << 1 << 0.5 << 0.0;
    QTest::newRow("100 to 109 give 104")
        << range(100, 10) << QVector<float> {} << 104 << 104 << std::sqrt(8.25) << 0.0;
    QTest::newRow("population deviation 2") << textbook << textbook << 5 << 5 << 2.0 << 2.0;
    QTest::newRow("constant distance")
        << repeated(7, 20) << QVector<float> {} << 7 << 7 << 0.0 << 0.0;
    QTest::newRow("constant 65535, full series")
        << repeated(65535, 500) << repeated(255, 500) << 65535 << 65535 << 0.0 << 0.0;
    QTest::newRow("newest ten of twelve")
        << QVector<float> { 1000, 1000 } + range(1, 10) << QVector<float> {} << 171 << 5
        << std::sqrt(137372.1875) << 0.0;
    QTest::newRow("three held: their mean") << QVector<float> { 3, 4, 9 } << QVector<float> {} << 5
                                            << 5 << std::sqrt(62.0 / 9.0) << 0.0;
    QTest::newRow("one held") << QVector<float> { 5 } << QVector<float> {} << 5 << 5 << 0.0 << 0.0;
    QTest::newRow("mean keeps the low 16 bits")
        << QVector<float> { 70000 } << QVector<float> {} << 4464 << 4464 << 0.0 << 0.0;
    QTest::newRow("energy spread, distance steady")
        << repeated(10, 4) << QVector<float> { 0, 10, 0, 10 } << 10 << 10 << 0.0 << 5.0;
    QTest::newRow("oldest of 501 left out")
        << QVector<float> { 60000 } + repeated(3, 500) << QVector<float> {} << 3 << 3 << 0.0 << 0.0;
}

void TestChannelModel::statistics()
{
    QFETCH(QVector<float>, distances);
    QFETCH(QVector<float>, energies);
    QFETCH(int, meanDis);
    QFETCH(int, avr10Dis);
    QFETCH(double, stdDis);
    QFETCH(double, stdEngy);

    ChannelModel model;
    for (int i = 0; i < distances.size(); ++i)
        addFrame(model, distances.at(i), energies.isEmpty() ? 0.0f : energies.at(i), 0, 1);
    addFrame(model, 50000, 250, 0, 1);

    QCOMPARE(int(model.meanDis), meanDis);
    QCOMPARE(int(model.avr10Dis), avr10Dis);
    QVERIFY2(near(model.stdDis, stdDis), qPrintable(QString::number(double(model.stdDis))));
    QVERIFY2(near(model.stdEngy, stdEngy), qPrintable(QString::number(double(model.stdEngy))));
    // Channel 4 receives the 10-sample mean with every distance sample.
    QCOMPARE(model.series[4].last(), float(avr10Dis));
    QCOMPARE(model.series[0].last(), 50000.0f);
}

void TestChannelModel::fullHistory()
{
    ChannelModel model;
    for (int i = 0; i < 501; ++i)
        addFrame(model, float(i), float(i % 256), 0, float(i % 7));

    QVector<float> positions;
    for (int i = 0; i <= 500; ++i)
        positions << float(i);
    for (int c = 0; c < ChannelModel::PlottedChannels; ++c)
        QCOMPARE(model.series[size_t(c)].size(), 500);
    QCOMPARE(model.series[0].at(0), 1.0f); // the first frame's sample is gone
    QCOMPARE(model.series[0].last(), 500.0f);
    QCOMPARE(model.series[1].at(0), 1.0f);
    QCOMPARE(model.series[4].last(), 494.0f); // mean of 490..499, truncated
    QCOMPARE(model.sampleCount, 501.0f);
    QCOMPARE(model.samplePositions, positions);

    for (int i = 0; i < 50; ++i)
        addFrame(model, 7, 7, 0, 7);
    for (int c = 0; c < ChannelModel::PlottedChannels; ++c)
        QCOMPARE(model.series[size_t(c)].size(), 500);
    QCOMPARE(model.series[0].last(), 7.0f);
    QCOMPARE(model.series[0].at(0), 51.0f);
    QCOMPARE(model.sampleCount, 501.0f);
    QCOMPARE(model.samplePositions, positions);
    QCOMPARE(model.series[4].last(), 7.0f);
}

void TestChannelModel::channelsOneToThreeLeaveStatistics_data()
{
    QTest::addColumn<int>("channel");
    QTest::newRow("energy") << int(ChannelModel::Energy);
    QTest::newRow("temperature") << int(ChannelModel::Temperature);
    QTest::newRow("ambient") << int(ChannelModel::Ambient);
}

void TestChannelModel::channelsOneToThreeLeaveStatistics()
{
    QFETCH(int, channel);

    ChannelModel model;
    for (int i = 0; i < 30; ++i)
        addFrame(model, float(100 + i % 5), float(i), 0, 3);
    const Snapshot before(model);

    model.addSample(channel, 9999);

    Snapshot expected = before;
    expected.series[channel].append(9999);
    QVERIFY(Snapshot(model) == expected);
}

void TestChannelModel::channelOutOfRange_data()
{
    QTest::addColumn<int>("channel");
    QTest::newRow("-1") << -1;
    QTest::newRow("4, fed only from channel 0") << 4;
    QTest::newRow("5, a statistic") << 5;
    QTest::newRow("6, a statistic") << 6;
    QTest::newRow("7") << 7;
    QTest::newRow("smallest int") << std::numeric_limits<int>::min();
    QTest::newRow("largest int") << std::numeric_limits<int>::max();
}

void TestChannelModel::channelOutOfRange()
{
    QFETCH(int, channel);

    ChannelModel empty;
    empty.addSample(channel, 1234);
    QVERIFY(Snapshot(empty) == Snapshot(ChannelModel()));

    ChannelModel model;
    for (int i = 0; i < 12; ++i)
        addFrame(model, float(i), float(2 * i), 0, 1);
    const Snapshot before(model);
    model.addSample(channel, 1234);
    QVERIFY(Snapshot(model) == before);
}

void TestChannelModel::constantSeries_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("count");

    QTest::newRow("single sample") << 7.0f << 1;
    QTest::newRow("65535, full series") << 65535.0f << 500;
    // These three leave the computed variance slightly below zero.
    QTest::newRow("0.7, full series") << 0.7f << 500;
    QTest::newRow("1234.567, full series") << 1234.567f << 500;
    QTest::newRow("4660.7, full series") << 4660.7f << 500;
}

void TestChannelModel::constantSeries()
{
    QFETCH(float, value);
    QFETCH(int, count);

    const QVector<float> samples = repeated(value, count);
    const float deviation = SeriesStats::populationStdDev(samples.constData(), samples.size());
    QVERIFY2(deviation == 0.0f, qPrintable(QString::number(double(deviation))));
    QCOMPARE(SeriesStats::populationStdDev(nullptr, 0), 0.0f);
}

void TestChannelModel::readoutValue_data()
{
    QTest::addColumn<float>("deviation");
    QTest::addColumn<int>("shown");

    QTest::newRow("zero") << 0.0f << 0;
    QTest::newRow("half rounds up") << 12.5f << 13;
    QTest::newRow("below half rounds down") << 12.49f << 12;
    QTest::newRow("largest 16-bit value") << 65535.4f << 65535;
    QTest::newRow("rounds up past 16 bits") << 65535.5f << 0;
    QTest::newRow("kept modulo 65536") << 70000.0f << 4464;
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << 0;
    QTest::newRow("infinity") << std::numeric_limits<float>::infinity() << 0;
    QTest::newRow("largest float") << std::numeric_limits<float>::max() << 0;
}

void TestChannelModel::readoutValue()
{
    QFETCH(float, deviation);
    QFETCH(int, shown);
    QCOMPARE(int(SeriesStats::readoutValue(deviation)), shown);
}

// The noise figure against values worked out by hand and in Python.
void TestChannelModel::differenceNoise_data()
{
    QTest::addColumn<QVector<float>>("values");
    QTest::addColumn<double>("noise");

    QTest::newRow("none") << QVector<float>() << 0.0;
    QTest::newRow("one") << QVector<float> { 7 } << 0.0;
    QTest::newRow("constant") << repeated(5, 4) << 0.0;
    QTest::newRow("steady motion") << QVector<float> { 0, 10, 20, 30 } << 0.0;
    QTest::newRow("alternating: 4/3") << QVector<float> { 0, 2, 0, 2 } << 4.0 / 3.0;
    QTest::newRow("steps of 10 and 20: 5/sqrt 2")
        << QVector<float> { 1000, 1010, 1030 } << 3.5355339059327373;
    QTest::newRow("motion with alternation: sqrt 2")
        << QVector<float> { 0, 12, 20, 32, 40 } << 1.414213562373095;
    QTest::newRow("full swings of the sensor's range")
        << QVector<float> { 65535, 0, 65535, 0, 65535 } << 46340.24290506039;
    QVector<float> gaussian;
    for (quint32 d : gaussianDistances(10000).mid(9500))
        gaussian.append(float(d));
    QTest::newRow("the last 500 of 10000 Gaussian, 3 mm") << gaussian << 3.054446143971227;
}

void TestChannelModel::differenceNoise()
{
    QFETCH(QVector<float>, values);
    QFETCH(double, noise);
    const double got = SeriesStats::differenceNoise(values.constData(), values.size());
    QVERIFY2(std::fabs(got - noise) <= 1e-9 * qMax(1.0, noise),
             qPrintable(QString::number(got, 'g', 17)));
}

// Each frame is distance d, energy d % 7, ambient 2 * (d % 7).
void TestChannelModel::pointAverager_data()
{
    QTest::addColumn<QVector<quint32>>("distances");
    QTest::addColumn<int>("target"); // 0: never started
    QTest::addColumn<QVector<double>>("expected"); // frames, mean, std, noise, min, max

    QTest::newRow("never started")
        << QVector<quint32> { 5, 6 } << 0 << QVector<double> { 0, 0, 0, 0, 0, 0 };
    QTest::newRow("three, the rest left out")
        << QVector<quint32> { 1000, 1010, 1030, 9999, 9999 } << 3
        << QVector<double> { 3,   1013.3333333333334, 12.47219128924647, 3.5355339059327373, 1000,
                             1030 };
    QTest::newRow("10000 Gaussian, 3 mm")
        << gaussianDistances(10000) << 10000
        << QVector<double> { 10000, 1999.9076, 2.9989768655326436, 2.9968146538958624, 1988, 2012 };
}

void TestChannelModel::pointAverager()
{
    QFETCH(QVector<quint32>, distances);
    QFETCH(int, target);
    QFETCH(QVector<double>, expected);
    PointAverager averager;
    if (target > 0)
        averager.start(target);
    double energy = 0;
    for (int i = 0; i < distances.size(); ++i) {
        Measurement m;
        m.distance = distances[i];
        m.energy = distances[i] % 7;
        m.ambient = 2 * m.energy;
        if (i < target)
            energy += m.energy;
        QCOMPARE(averager.isCollecting(), i < target);
        averager.addMeasurement(m);
    }
    QCOMPARE(averager.isComplete(), target > 0);
    const PointAverager::Point p = averager.point();
    const double got[] = { double(p.frames), p.mean, p.stdDev, p.noise, p.min, p.max };
    for (int k = 0; k < expected.size(); ++k)
        QVERIFY2(std::fabs(got[k] - expected[k]) <= 1e-9 * qMax(1.0, expected[k]),
                 qPrintable(QString::number(k)));
    QVERIFY(std::fabs(p.meanEnergy - (target ? energy / target : 0)) < 1e-9);
    QVERIFY(std::fabs(p.meanAmbient - 2 * p.meanEnergy) < 1e-9);
}

// What may be typed as a reference and as frames per point.
void TestChannelModel::logInput_data()
{
    QTest::addColumn<bool>("frames"); // else the reference
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value"); // -1: no reference

    QTest::newRow("no reference") << false << " " << true << -1.0;
    QTest::newRow("reference with decimals") << false << " 1500.5 " << true << 1500.5;
    QTest::newRow("reference not a number") << false << "1.5m" << false << 0.0;
    QTest::newRow("reference below 0") << false << "-3" << false << 0.0;
    QTest::newRow("reference infinite") << false << "inf" << false << 0.0;
    QTest::newRow("frames") << true << "1000" << true << 1000.0;
    QTest::newRow("most frames") << true << "10000000" << true << 1e7;
    QTest::newRow("no frames") << true << "0" << false << 0.0;
    QTest::newRow("absurd frames") << true << "10000001" << false << 0.0;
    QTest::newRow("frames not whole") << true << "2.5" << false << 0.0;
}

void TestChannelModel::logInput()
{
    QFETCH(bool, frames);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    QString message;
    bool has = true;
    double mm = 0;
    int n = 0;
    const bool ok = frames ? MeasurementLog::readFrames(text, &n, &message)
                           : MeasurementLog::readReference(text, &has, &mm, &message);
    QCOMPARE(ok, accepted);
    QVERIFY2(accepted == message.isEmpty() && (accepted || message.contains(text.trimmed())),
             qPrintable(message));
    if (accepted)
        QCOMPARE(frames ? double(n) : has ? mm : -1.0, value);
}

void TestChannelModel::logText()
{
    MeasurementLog log;
    PointAverager::Point p { 1000, 1503.25, 1.5, 1.25, 1499, 1507, 60, 3.5 };
    const QDateTime time(QDate(2026, 12, 8), QTime(9, 5, 1));
    log.append({ time, true, 1500, p });
    log.append({ time, false, 0, p });
    QCOMPARE(log.rowCount(), 2);
    const QString row
        = QStringLiteral("2026-12-08 09:05:01\t%1\t1000\t1503.250\t1.500\t1.250\t1499\t"
                         "1507\t60.00\t3.50\t%2\n");
    QCOMPARE(log.tabSeparated(),
             QStringLiteral("time\treference_mm\tframes\tmean_mm\tstd_mm\tnoise_mm\tmin_mm\t"
                            "max_mm\tenergy\tambient\terror_mm\n")
                 + row.arg(QStringLiteral("1500"), QStringLiteral("3.250"))
                 + row.arg(QString(), QString()));
    QCOMPARE(log.csv(), log.tabSeparated().replace('\t', ',').toUtf8());
    QCOMPARE(log.errorPoints(), QVector<QPointF>({ { 1500, 3.25 } }));
    log.clear();
    QCOMPARE(log.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestChannelModel)
// The statistics come from running sums where those are exact; at every
// frame they must equal, bit for bit, a full pass over the samples held.
void TestChannelModel::rangesFromSamples_data()
{
    QTest::addColumn<QVector<float>>("distances");
    QTest::addColumn<float>("energy"); // with each distance
    // Min and Max of the distance, then of the energy.
    QTest::addColumn<QVector<int>>("limits");

    QTest::newRow("spread, a tenth")
        << QVector<float> { 1000, 1200, 1100 } << 100.0f << QVector<int> { 980, 1220, 98, 102 };
    QTest::newRow("flat, the least margin")
        << QVector<float> { 1500, 1500 } << 0.0f << QVector<int> { 1480, 1520, 0, 2 };
    QTest::newRow("near zero, not below")
        << QVector<float> { 5, 10 } << 255.0f << QVector<int> { 0, 30, 253, 257 };
    QTest::newRow("full scale") << QVector<float> { 0, 60000 } << 7.5f
                                << QVector<int> { 0, 66000, 5, 10 };
    QTest::newRow("no samples: kept") << QVector<float> {} << 0.0f << QVector<int> { 5, 7, 5, 7 };
}

void TestChannelModel::rangesFromSamples()
{
    QFETCH(QVector<float>, distances);
    QFETCH(float, energy);
    QFETCH(QVector<int>, limits);

    ChannelModel model;
    for (float d : distances)
        addFrame(model, d, energy);
    ChartRanges::Limits min, max;
    min.fill(5);
    max.fill(7);
    ChartRanges::fromSamples(model, min, max);
    QCOMPARE((QVector<int> { min[0], max[0], min[1], max[1] }), limits);
}

void TestChannelModel::runningSumsMatchAFullPass_data()
{
    QTest::addColumn<QVector<float>>("values"); // fed as distance and energy, cycled
    QTest::addColumn<int>("frames");

    QTest::newRow("sensor range") << QVector<float> { 0, 65535, 1234, 7, 40000, 3 } << 1500;
    QTest::newRow("fractions pass through the window")
        << QVector<float> { 100, 100.5f, 101 } << 1200;
    QTest::newRow("one NaN, then whole numbers again")
        << QVector<float> { std::numeric_limits<float>::quiet_NaN() } + repeated(9, 700) << 1400;
    QTest::newRow("beyond the exact limit") << QVector<float> { 2e6f, 1, 3e9f, -5 } << 1100;
    QTest::newRow("infinity") << QVector<float> { std::numeric_limits<float>::infinity(), 2 }
                              << 600;
}

void TestChannelModel::runningSumsMatchAFullPass()
{
    QFETCH(QVector<float>, values);
    QFETCH(int, frames);

    ChannelModel model;
    for (int i = 0; i < frames; ++i) {
        const ChannelSeries &dis = model.series[ChannelModel::Distance];
        quint16 mean;
        float dev;
        SeriesStats::meanAndStdDev(dis.constData(), dis.size(), &mean, &dev);
        const float energyDev
            = SeriesStats::populationStdDev(model.series[ChannelModel::Energy].constData(),
                                            model.series[ChannelModel::Energy].size());
        const float v = values.at(i % values.size());
        addFrame(model, v, v);
        QCOMPARE(model.meanDis, mean);
        QVERIFY2(std::memcmp(&model.stdDis, &dev, sizeof dev) == 0, qPrintable(QString::number(i)));
        QVERIFY2(std::memcmp(&model.stdEngy, &energyDev, sizeof dev) == 0,
                 qPrintable(QString::number(i)));
    }
}

#include "tst_channelmodel.moc"

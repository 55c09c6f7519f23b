#include "channelmodel.h"
#include "commandtable.h"
#include "framedecoder.h"
#include "lidarframe.h"
#include "linkhealth.h"
#include "measurement.h"
#include "measurementfeed.h"
#include "shownrate.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QtTest>

#include <map>
#include <vector>

using namespace testsupport;

namespace {

QByteArray filled(int count, char value)
{
    return QByteArray(count, value);
}

// A frame as the tests compare it: command byte, then the payload, in hex.
QString frameText(quint8 command, const QByteArray &payload)
{
    return QString::fromLatin1((QByteArray(1, char(command)) + payload).toHex(' '));
}

QStringList frameTexts(std::initializer_list<QByteArray> frames)
{
    QStringList texts;
    for (const QByteArray &frame : frames)
        texts << frameText(quint8(frame.at(2)), frame.mid(4, frame.size() - 5));
    return texts;
}

using Chunks = QVector<QByteArray>;

QStringList decodeChunks(const Chunks &chunks)
{
    FrameDecoder decoder;
    QStringList frames;
    for (const QByteArray &chunk : chunks)
        decoder.decode(chunk, [&](const DecodedFrame &frame) {
            frames << frameText(frame.command, frame.payloadBytes());
        });
    return frames;
}

Chunks fixedChunks(const QByteArray &stream, int size)
{
    Chunks chunks;
    for (int i = 0; i < stream.size(); i += size)
        chunks << stream.mid(i, size);
    return chunks;
}

// Every way the tests cut a short stream: whole, byte by byte, in two at every
// position (with and without an empty chunk at the cut) and, for streams short
// enough, in three at every pair of positions.
QVector<QPair<QString, Chunks>> cuttings(const QByteArray &stream)
{
    QVector<QPair<QString, Chunks>> all;
    all.append({ QStringLiteral("whole"), { stream } });
    all.append({ QStringLiteral("byte by byte"), fixedChunks(stream, 1) });
    for (int cut = 0; cut <= stream.size(); ++cut) {
        const QByteArray left = stream.left(cut), right = stream.mid(cut);
        all.append({ QStringLiteral("cut at %1").arg(cut), { left, right } });
        all.append({ QStringLiteral("empty chunk at %1").arg(cut), { left, {}, right } });
    }
    if (stream.size() <= 64) {
        for (int a = 1; a < stream.size(); ++a)
            for (int b = a + 1; b < stream.size(); ++b)
                all.append({ QStringLiteral("cut at %1 and %2").arg(a).arg(b),
                             { stream.left(a), stream.mid(a, b - a), stream.mid(b) } });
    }
    return all;
}

// Logs what a feed hands it: "a|" for a new read, "a4660" for a measurement.
struct LoggingListener : MeasurementListener
{
    LoggingListener(QChar name, QStringList &log)
        : name(name)
        , log(log)
    { }
    void newRead() override { log << QString(name) + '|'; }
    void addMeasurement(const Measurement &m) override
    {
        log << name + QString::number(m.distance);
    }
    QChar name;
    QStringList &log;
};

// Decoding stated as a search over the whole stream: a frame that starts at
// the current position and checks out is taken and skipped over, otherwise the
// search moves on by one byte. It stops at the first frame not yet complete,
// where a streaming decoder is still waiting.
struct ReferenceFrame
{
    int begin;
    int end;
    QString text;
};

std::vector<ReferenceFrame> referenceDecode(const QByteArray &stream)
{
    std::vector<ReferenceFrame> frames;
    const auto *b = reinterpret_cast<const quint8 *>(stream.constData());
    const int n = stream.size();
    int p = 0;
    while (p < n) {
        if (b[p] != 0xAA) {
            ++p;
            continue;
        }
        if (p + 1 >= n)
            break;
        if (b[p + 1] != 0x55) {
            ++p;
            continue;
        }
        if (p + 3 >= n)
            break;
        const int length = b[p + 3];
        if (length > 46) {
            ++p;
            continue;
        }
        const int end = p + length + 5;
        if (end > n)
            break;
        quint8 sum = 0;
        for (int i = p; i < end - 1; ++i)
            sum = quint8(sum + b[i]);
        if (sum == b[end - 1]) {
            frames.push_back({ p, end, frameText(b[p + 2], stream.mid(p + 4, length)) });
            p = end;
        } else {
            ++p;
        }
    }
    return frames;
}

QByteArray randomBytes(QRandomGenerator &rng, int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(rng.bounded(256));
    return bytes;
}

QByteArray randomFrame(QRandomGenerator &rng)
{
    const int length = rng.bounded(4, LidarFrame::MaxPayload + 1);
    return LidarFrame::build(quint8(rng.bounded(256)), randomBytes(rng, length));
}

// Line noise that is harder on the decoder than uniform bytes: besides random
// bytes it holds stray first header bytes, whole false headers with any length
// and beginnings of frames cut off by a dropout.
QByteArray noiseBurst(QRandomGenerator &rng, int count)
{
    QByteArray noise;
    while (noise.size() < count) {
        const int kind = rng.bounded(100);
        if (kind < 5) {
            noise += hex("aa 55");
            noise += char(rng.bounded(256));
            noise += char(rng.bounded(64));
        } else if (kind < 8) {
            const QByteArray frame = randomFrame(rng);
            noise += frame.left(rng.bounded(1, frame.size()));
        } else if (kind < 12) {
            noise += char(0xAA);
        } else {
            noise += char(rng.bounded(256));
        }
    }
    return noise;
}

} // namespace

class TestFrameDecoder : public QObject
{
    Q_OBJECT

private slots:
    void frames_data();
    void frames();
    void measurements_data();
    void measurements();
    void listeners_data();
    void listeners();
    void decodersAreIndependent();
    void resetForgetsPartialFrame();
    void randomizedStream_data();
    void randomizedStream();
    void shownRate_data();
    void shownRate();
    void linkHealth_data();
    void linkHealth();
};

void TestFrameDecoder::frames_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("expected");

    const QByteArray m1 = hex("aa 55 01 04 34 12 80 07 d1");
    const QByteArray m2 = LidarFrame::build(0x01, hex("10 27 40 09"));
    const QByteArray m3 = LidarFrame::build(0x02, hex("01 02 03 04 05 06"));
    const QByteArray echo = hex("aa 55 61 00 60");
    QByteArray counting;
    for (int i = 0; i < 46; ++i)
        counting += char(i);
    const QByteArray longest = LidarFrame::build(0x01, counting);

    QTest::newRow("measurement frame") << m1 << QStringList { "01 34 12 80 07" };
    QTest::newRow("wrong checksum") << hex("aa 55 01 04 34 12 80 07 d2") << QStringList {};
    QTest::newRow("payload byte corrupted") << hex("aa 55 01 04 34 13 80 07 d1") << QStringList {};
    QTest::newRow("length byte corrupted") << hex("aa 55 01 05 34 12 80 07 d1") << QStringList {};
    QTest::newRow("command echo without payload") << echo << QStringList { "61" };
    QTest::newRow("rate frame with one payload byte")
        << hex("aa 55 64 01 03 67") << QStringList { "64 03" };
    QTest::newRow("two frames in one chunk") << m1 + m2 << frameTexts({ m1, m2 });
    QTest::newRow("length 46 accepted") << longest << frameTexts({ longest });
    QTest::newRow("length 46 between frames")
        << m1 + longest + m2 << frameTexts({ m1, longest, m2 });
    QTest::newRow("length 47 refused, next header found")
        << LidarFrame::build(0x01, filled(47, 0x11)) + m1 << frameTexts({ m1 });
    QTest::newRow("length 255 refused, next header found")
        << LidarFrame::build(0x01, filled(255, 0x22)) + m1 << frameTexts({ m1 });
    QTest::newRow("frame inside an overlong frame")
        << LidarFrame::build(0x01, m1 + filled(38, 0x33)) << frameTexts({ m1 });
    QTest::newRow("noise before a frame") << hex("00 ff 13 55 7e 01") + m1 << frameTexts({ m1 });
    QTest::newRow("noise ending in a first header byte")
        << hex("00 13 aa") + m1 << frameTexts({ m1 });
    QTest::newRow("doubled first header byte") << hex("aa") + m1 << frameTexts({ m1 });
    QTest::newRow("run of first header bytes") << hex("aa aa aa aa") + m1 << frameTexts({ m1 });
    QTest::newRow("lone second header byte") << hex("55") + m1 << frameTexts({ m1 });
    QTest::newRow("false header in noise, then real frames")
        << hex("13 aa 55 10 20") + m1 + m2 + m3 + m1 << frameTexts({ m1, m2, m3, m1 });
    QTest::newRow("false header without payload")
        << hex("aa 55 07 00 13") + m1 << frameTexts({ m1 });
    QTest::newRow("false header claiming an overlong frame")
        << hex("aa 55 01 30") + m1 + m2 << frameTexts({ m1, m2 });
    QTest::newRow("false header's command and length start the frame")
        << hex("aa 55") + m1 << frameTexts({ m1 });
    QTest::newRow("failed checksum byte starts the next frame")
        << hex("aa 55 01 00") + m1 << frameTexts({ m1 });
    QTest::newRow("false headers nested in false frames")
        << hex("aa 55 02 08 aa 55 03 06") + m1 << frameTexts({ m1 });
    QTest::newRow("frame cut short by the next frame") << m1.left(5) + m2 << frameTexts({ m2 });
    QTest::newRow("echo, measurement, echo") << echo + m1 + echo << frameTexts({ echo, m1, echo });
    QTest::newRow("empty stream") << QByteArray() << QStringList {};
    QTest::newRow("header still waiting for its frame") << hex("aa 55 01") << QStringList {};
    QTest::newRow("frame still waiting for its checksum") << m1.chopped(1) << QStringList {};
}

void TestFrameDecoder::frames()
{
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, expected);

    for (const auto &cutting : cuttings(stream)) {
        const QStringList got = decodeChunks(cutting.second);
        if (got != expected)
            QFAIL(qPrintable(QStringLiteral("%1: got [%2], expected [%3]")
                                 .arg(cutting.first, got.join(" | "), expected.join(" | "))));
    }
}

void TestFrameDecoder::measurements_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QVector<float>>("distances");
    QTest::addColumn<QVector<float>>("energies");
    QTest::addColumn<QVector<float>>("ambients");
    QTest::addColumn<int>("outside"); // bytes outside frames
    QTest::addColumn<int>("checksumErrors");

    const QByteArray m1 = hex("aa 55 01 04 34 12 80 07 d1");
    const QByteArray m2 = LidarFrame::build(0x01, hex("10 27 40 09"));
    const QByteArray echo = hex("aa 55 61 00 60");

    using F = QVector<float>;
    QTest::newRow("measurement frame") << m1 << F { 4660 } << F { 128 } << F { 7 } << 0 << 0;
    QTest::newRow("two frames in one chunk")
        << m1 + m2 << F { 4660, 10000 } << F { 128, 64 } << F { 7, 9 } << 0 << 0;
    QTest::newRow("wrong checksum")
        << hex("aa 55 01 04 34 12 80 07 d2") << F {} << F {} << F {} << 9 << 1;
    QTest::newRow("noise around a frame")
        << hex("00 aa") + m1 + hex("12") << F { 4660 } << F { 128 } << F { 7 } << 3 << 0;
    QTest::newRow("frame cut off at the end")
        << m1 + m2.left(5) << F { 4660 } << F { 128 } << F { 7 } << 5 << 0;
    QTest::newRow("command echo alone") << echo << F {} << F {} << F {} << 0 << 0;
    QTest::newRow("command echo after a measurement")
        << m1 + echo << F { 4660 } << F { 128 } << F { 7 } << 0 << 0;
    QTest::newRow("rate frame after a measurement")
        << m1 + hex("aa 55 64 01 03 67") << F { 4660 } << F { 128 } << F { 7 } << 0 << 0;
    QTest::newRow("three payload bytes after a measurement")
        << m1 + LidarFrame::build(0x01, hex("99 88 77")) << F { 4660 } << F { 128 } << F { 7 } << 0
        << 0;
    QTest::newRow("longer payload, first four bytes count")
        << LidarFrame::build(0x01, hex("ff ff fe 03 11 22 33")) << F { 65535 } << F { 254 }
        << F { 3 } << 0 << 0;
    QTest::newRow("any command carries a measurement")
        << LidarFrame::build(0xC3, hex("34 12 80 07")) << F { 4660 } << F { 128 } << F { 7 } << 0
        << 0;
}

// The feed as the window uses it, with the chart's model as its listener: the
// same samples and line figures however the stream is cut into reads.
void TestFrameDecoder::measurements()
{
    QFETCH(QByteArray, stream);
    QFETCH(QVector<float>, distances);
    QFETCH(QVector<float>, energies);
    QFETCH(QVector<float>, ambients);
    QFETCH(int, outside);
    QFETCH(int, checksumErrors);

    const QVector<float> zeros(distances.size(), 0.0f);
    for (const auto &cutting : cuttings(stream)) {
        MeasurementFeed feed;
        ChannelModel model;
        feed.addListener(&model);
        for (const QByteArray &chunk : cutting.second)
            feed.receive(chunk);
        const QByteArray where = cutting.first.toLatin1();
        QVERIFY2(feed.bytesReceived() == quint64(stream.size()), where);
        QVERIFY2(feed.measurementFrames() == quint64(distances.size()), where);
        QVERIFY2(feed.bytesOutsideFrames() == quint64(outside), where);
        QVERIFY2(feed.checksumErrors() == quint64(checksumErrors), where);
        QVERIFY2(model.series[0].values() == distances, where);
        QVERIFY2(model.series[1].values() == energies, where);
        QVERIFY2(model.series[2].values() == zeros, where);
        QVERIFY2(model.series[3].values() == ambients, where);
        QVERIFY2(model.series[4].size() == distances.size(), where);
        const Measurement &latest = feed.latest();
        QVERIFY2(latest.distance == (distances.isEmpty() ? 0u : quint32(distances.last())), where);
        QVERIFY2(latest.energy == (energies.isEmpty() ? 0u : quint32(energies.last())), where);
        QVERIFY2(latest.temperature == 0u, where);
        QVERIFY2(latest.ambient == (ambients.isEmpty() ? 0u : quint32(ambients.last())), where);
    }
}

void TestFrameDecoder::listeners_data()
{
    QTest::addColumn<Chunks>("reads"); // a null chunk: the counters are reset there
    QTest::addColumn<QStringList>("log");

    const QByteArray m1 = hex("aa 55 01 04 34 12 80 07 d1");
    const QByteArray m2 = LidarFrame::build(0x01, hex("10 27 40 09"));
    using L = QStringList;
    QTest::newRow("two in one read")
        << Chunks { m1 + m2 } << L { "a|", "b|", "a4660", "b4660", "a10000", "b10000" };
    QTest::newRow("a read without one, then one across two")
        << Chunks { hex("aa 55 61 00 60"), m1.left(5), m1.mid(5) + m2.left(1), m2.mid(1) }
        << L { "a|", "b|", "a4660", "b4660", "a|", "b|", "a10000", "b10000" };
    QTest::newRow("a frame begun before a reset is dropped")
        << Chunks { m1.left(5), QByteArray(), m1.mid(5) + m2 }
        << L { "a|", "b|", "a10000", "b10000" };
}

// Each measurement reaches every listener, in the order they were added,
// before the next is decoded; a new read is announced before its first.
void TestFrameDecoder::listeners()
{
    QFETCH(Chunks, reads);
    QFETCH(QStringList, log);

    QStringList got;
    LoggingListener a('a', got), b('b', got);
    MeasurementFeed feed;
    feed.addListener(&a);
    feed.addListener(&b);
    for (const QByteArray &read : reads) {
        if (read.isNull())
            feed.resetCounters();
        else
            feed.receive(read);
    }
    QCOMPARE(got, log);
    // No byte counts on both lines, so none is outside frames twice over.
    QVERIFY(feed.bytesOutsideFrames() <= feed.bytesReceived());
}

void TestFrameDecoder::decodersAreIndependent()
{
    const QByteArray m1 = hex("aa 55 01 04 34 12 80 07 d1");
    const QByteArray m2 = LidarFrame::build(0x01, hex("10 27 40 09"));
    FrameDecoder a, b;
    QStringList gotA, gotB;
    auto sinkA = [&](const DecodedFrame &f) {
        gotA << frameText(f.command, f.payloadBytes());
    };
    auto sinkB = [&](const DecodedFrame &f) {
        gotB << frameText(f.command, f.payloadBytes());
    };

    a.decode(m1.left(6), sinkA);
    b.decode(m2.left(3), sinkB);
    a.decode(m2, sinkA); // breaks a's frame: m1 is lost, m2 is found
    b.decode(m2.mid(3), sinkB);
    a.decode(m1, sinkA);

    QCOMPARE(gotA, frameTexts({ m2, m1 }));
    QCOMPARE(gotB, frameTexts({ m2 }));
}

void TestFrameDecoder::resetForgetsPartialFrame()
{
    const QByteArray m1 = hex("aa 55 01 04 34 12 80 07 d1");
    FrameDecoder decoder;
    int frames = 0;
    auto count = [&](const DecodedFrame &) {
        ++frames;
    };

    decoder.decode(m1.left(5), count);
    QCOMPARE(decoder.pending(), 5);
    decoder.reset();
    QCOMPARE(decoder.pending(), 0);
    decoder.decode(m1.mid(5), count);
    QCOMPARE(frames, 0);
    decoder.decode(m1, count);
    QCOMPARE(frames, 1);
    QCOMPARE(decoder.pending(), 0);
}

void TestFrameDecoder::randomizedStream_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("frameCount");

    QTest::newRow("seed 1") << 1u << 4000;
    QTest::newRow("seed 2") << 2u << 4000;
    QTest::newRow("seed 47") << 47u << 4000;
}

void TestFrameDecoder::randomizedStream()
{
    QFETCH(quint32, seed);
    QFETCH(int, frameCount);

    struct SentFrame
    {
        int begin;
        int end;
        bool intact;
        QString text;
    };

    QRandomGenerator rng(seed);
    QByteArray line;
    std::vector<bool> clean; // byte belongs to a sent frame that no noise touched
    std::vector<SentFrame> sent;
    int noiseBytes = 0;
    auto append = [&](const QByteArray &bytes, bool isClean) {
        line += bytes;
        clean.insert(clean.end(), size_t(bytes.size()), isClean);
    };
    auto appendNoise = [&](int count) {
        const QByteArray noise = noiseBurst(rng, count);
        noiseBytes += noise.size();
        append(noise, false);
    };

    for (int i = 0; i < frameCount; ++i) {
        appendNoise(rng.bounded(17));
        QByteArray frame = randomFrame(rng);
        SentFrame s { line.size(), 0, true,
                      frameText(quint8(frame.at(2)), frame.mid(4, frame.size() - 5)) };
        const int damage = rng.bounded(100);
        if (damage == 0) { // one byte hit by noise
            const int at = rng.bounded(frame.size());
            frame[at] = char(frame.at(at) ^ rng.bounded(1, 256));
            s.intact = false;
            append(frame, false);
        } else if (damage == 1) { // noise in the middle of the frame
            const int cut = rng.bounded(1, frame.size());
            s.intact = false;
            append(frame.left(cut), false);
            appendNoise(rng.bounded(1, 8));
            append(frame.mid(cut), false);
        } else {
            append(frame, true);
        }
        s.end = line.size();
        sent.push_back(s);
    }
    const double noiseShare = double(noiseBytes) / line.size();
    // An idle line at the end, so that no false frame is left undecided.
    append(filled(LidarFrame::MaxSize, 0), false);

    // The same frames whatever the chunking.
    const QStringList whole = decodeChunks({ line });
    QVector<QPair<QString, Chunks>> chunkings {
        { "byte by byte", fixedChunks(line, 1) },
        { "2-byte chunks", fixedChunks(line, 2) },
        { "7-byte chunks", fixedChunks(line, 7) },
        { "51-byte chunks", fixedChunks(line, 51) },
        { "4096-byte chunks", fixedChunks(line, 4096) },
    };
    for (int round = 0; round < 2; ++round) {
        Chunks chunks;
        for (int i = 0; i < line.size();) {
            const int size = rng.bounded(round == 0 ? 12 : 200); // empty chunks included
            chunks << line.mid(i, size);
            i += size;
        }
        chunkings.append({ QStringLiteral("random chunks %1").arg(round), chunks });
    }
    for (const auto &chunking : chunkings) {
        const QStringList got = decodeChunks(chunking.second);
        QVERIFY2(got == whole, qPrintable(chunking.first));
    }

    // A decoder never holds more than one frame's worth of bytes.
    {
        FrameDecoder decoder;
        int maxPending = 0;
        for (char b : line) {
            decoder.decode(&b, 1, [](const DecodedFrame &) {});
            maxPending = qMax(maxPending, decoder.pending());
        }
        QVERIFY(maxPending < LidarFrame::MaxSize);
    }

    // Where each decoded frame lay on the line.
    const std::vector<ReferenceFrame> located = referenceDecode(line);
    QStringList locatedTexts;
    for (const ReferenceFrame &f : located)
        locatedTexts << f.text;
    QCOMPARE(whole, locatedTexts);

    std::map<int, size_t> sentAt;
    for (size_t i = 0; i < sent.size(); ++i)
        sentAt[sent[i].begin] = i;
    std::vector<bool> recovered(sent.size(), false);
    std::vector<const ReferenceFrame *> collisions;
    for (const ReferenceFrame &f : located) {
        const auto it = sentAt.find(f.begin);
        if (it != sentAt.end() && sent[it->second].intact && sent[it->second].end == f.end) {
            QCOMPARE(f.text, sent[it->second].text);
            recovered[it->second] = true;
            continue;
        }
        // Not a sent frame: it must be a false frame born of noise that passed
        // its sum by chance, so some of its bytes are not from an intact frame.
        bool touchesNoise = false;
        for (int i = f.begin; i < f.end && !touchesNoise; ++i)
            touchesNoise = !clean[size_t(i)];
        QVERIFY2(touchesNoise,
                 qPrintable(QStringLiteral("frame at %1 made of clean bytes").arg(f.begin)));
        collisions.push_back(&f);
    }

    int intact = 0, found = 0, covered = 0;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (!sent[i].intact)
            continue;
        ++intact;
        if (recovered[i]) {
            ++found;
            continue;
        }
        // A lost intact frame must lie under a false frame that was accepted.
        bool underCollision = false;
        for (const ReferenceFrame *c : collisions)
            underCollision = underCollision || (c->begin < sent[i].end && sent[i].begin < c->end);
        QVERIFY2(underCollision,
                 qPrintable(QStringLiteral("intact frame at %1 lost").arg(sent[i].begin)));
        ++covered;
    }

    const double rate = double(found) / intact;
    qInfo("seed %u: %d bytes, %.1f%% noise; %d of %d intact frames recovered (%.3f%%), "
          "%d lost under %d false frames that passed their sum",
          seed, int(line.size()), 100.0 * noiseShare, found, intact, 100.0 * rate, covered,
          int(collisions.size()));
    QVERIFY(noiseShare > 0.22 && noiseShare < 0.30);
    QVERIFY(rate >= 0.995);
}

void TestFrameDecoder::shownRate_data()
{
    QTest::addColumn<int>("commandedHz"); // 0: no start sent
    // Each reading: x ms on the clock, y measurement frames received since the one before.
    QTest::addColumn<QList<QPoint>>("readings");
    QTest::addColumn<int>("shownHz");

    QTest::newRow("nothing known") << 0 << QList<QPoint> {} << 0;
    QTest::newRow("10 Hz, a frame short") << 10 << QList<QPoint> { { 0, 0 }, { 1100, 9 } } << 8;
    QTest::newRow("near the commanded rate")
        << 1800 << QList<QPoint> { { 0, 0 }, { 1000, 1802 } } << 1802;
    QTest::newRow("streaming at another rate")
        << 1800 << QList<QPoint> { { 0, 0 }, { 1000, 100 } } << 100;
    QTest::newRow("streaming, none commanded")
        << 0 << QList<QPoint> { { 0, 0 }, { 1000, 500 } } << 500;
    QTest::newRow("readings late, longer window")
        << 0 << QList<QPoint> { { 0, 0 }, { 600, 60 }, { 2500, 190 } } << 100;
    QTest::newRow("stream stopped")
        << 1800 << QList<QPoint> { { 0, 0 }, { 1000, 100 }, { 2000, 0 } } << 1800;
}

void TestFrameDecoder::shownRate()
{
    QFETCH(int, commandedHz);
    QFETCH(QList<QPoint>, readings);
    QFETCH(int, shownHz);

    const QByteArray frame = LidarFrame::build(0x01, hex("34 12 80 07"));
    MeasurementFeed feed;
    for (const QPoint &reading : readings) {
        feed.receive(frame.repeated(reading.y()));
        feed.sampleRate(reading.x());
    }
    QCOMPARE(shownRateHz(commandedHz, feed.rateHz()), shownHz);
}

// One reading of the link: at ms, after `noise` bytes that make no frame and
// `frames` measurement frames arrived; frames -1 is a port opened anew.
struct LinkStep
{
    int ms, noise, frames;
};
Q_DECLARE_METATYPE(QVector<LinkStep>)

void TestFrameDecoder::linkHealth_data()
{
    QTest::addColumn<QVector<LinkStep>>("steps");
    QTest::addColumn<QString>("corner");

    const QString none;
    QTest::newRow("frames flowing")
        << QVector<LinkStep> { { 0, 0, 0 }, { 1500, 100, 900 } } << none;
    QTest::newRow("wrong baud, a second")
        << QVector<LinkStep> { { 0, 0, 0 }, { 500, 3000, 0 }, { 1000, 3840, 0 } }
        << QStringLiteral("no frames in 6,840 bytes — baud rate?");
    QTest::newRow("wrong baud, under a second")
        << QVector<LinkStep> { { 0, 0, 0 }, { 900, 6840, 0 } } << none;
    QTest::newRow("frames again") << QVector<LinkStep> {
        { 0, 0, 0 }, { 1200, 5000, 0 }, { 1300, 0, 1 }
    } << none;
    QTest::newRow("counted from the last frame")
        << QVector<LinkStep> { { 0, 0, 5 }, { 100, 200, 0 }, { 1200, 300, 0 } }
        << QStringLiteral("no frames in 500 bytes — baud rate?");
    QTest::newRow("a frame cut short")
        << QVector<LinkStep> { { 0, 0, 1 }, { 2000, 30, 0 } } << none;
    QTest::newRow("port opened anew")
        << QVector<LinkStep> { { 0, 9000, 0 }, { 1500, 0, 0 }, { 1600, 0, -1 }, { 1700, 100, 0 } }
        << none;
    QTest::newRow("port opened anew, silent again")
        << QVector<LinkStep> { { 0, 0, 3 }, { 100, 0, -1 }, { 1200, 80, 0 } }
        << QStringLiteral("no frames in 80 bytes — baud rate?");
}

void TestFrameDecoder::linkHealth()
{
    QFETCH(QVector<LinkStep>, steps);
    QFETCH(QString, corner);

    const QByteArray frame = LidarFrame::build(0x01, hex("34 12 80 07"));
    MeasurementFeed feed;
    LinkHealth health;
    health.reset(feed, 0);
    for (const LinkStep &step : steps) {
        if (step.frames < 0)
            feed.resetCounters();
        feed.receive(QByteArray(step.noise, '\0'));
        feed.receive(frame.repeated(qMax(step.frames, 0)));
        health.update(feed, step.ms);
    }
    QCOMPARE(health.cornerText(), corner);
    QVERIFY(LinkHealth::toolTip(feed, 0).endsWith(QStringLiteral("commanded rate: none sent")));
}

QTEST_GUILESS_MAIN(TestFrameDecoder)
#include "tst_framedecoder.moc"

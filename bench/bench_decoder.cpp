// Throughput of the frame decoder and cost of the per-frame statistics.
// The serial line at 2,000,000 baud carries at most about 22,000 measurement
// frames a second; the decoder should manage hundreds of times that.

#include "channelmodel.h"
#include "commandtable.h"
#include "framedecoder.h"
#include "lidarframe.h"
#include "measurement.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QRandomGenerator>

namespace {

QByteArray measurementFrame(quint16 distance, quint8 energy, quint8 ambient)
{
    QByteArray payload;
    payload += char(distance & 0xFF);
    payload += char(distance >> 8);
    payload += char(energy);
    payload += char(ambient);
    return LidarFrame::build(LidarFrame::Command::Measurement, payload);
}

constexpr int FramesPerStream = 10000;

// 9-byte measurement frames back to back.
QByteArray cleanStream()
{
    QRandomGenerator rng(1);
    QByteArray stream;
    for (int i = 0; i < FramesPerStream; ++i)
        stream += measurementFrame(quint16(rng.bounded(65536)), quint8(rng.bounded(256)),
                                   quint8(rng.bounded(256)));
    return stream;
}

// The same frames with noise between them, a quarter of the bytes on the
// line, including stray header bytes and false headers that make the decoder
// go back over what it has taken in.
QByteArray noisyStream()
{
    QRandomGenerator rng(2);
    QByteArray stream;
    for (int i = 0; i < FramesPerStream; ++i) {
        const int noise = rng.bounded(7);
        for (int n = 0; n < noise; ++n) {
            const int kind = rng.bounded(100);
            if (kind < 5) {
                stream += char(0xAA);
                stream += char(0x55);
                stream += char(rng.bounded(256));
                stream += char(rng.bounded(48));
                n += 3;
            } else if (kind < 10) {
                stream += char(0xAA);
            } else {
                stream += char(rng.bounded(256));
            }
        }
        stream += measurementFrame(quint16(rng.bounded(65536)), quint8(rng.bounded(256)),
                                   quint8(rng.bounded(256)));
    }
    return stream;
}

void decodeStream(benchmark::State &state, const QByteArray &stream)
{
    const qsizetype chunk = state.range(0);
    FrameDecoder decoder;
    Measurement measurement;
    qint64 frames = 0;
    for (auto _ : state) {
        for (qsizetype at = 0; at < stream.size(); at += chunk) {
            decoder.decode(
                stream.constData() + at, qMin(chunk, stream.size() - at),
                [&](const DecodedFrame &f) { frames += measurement.update(f.payload, f.length); });
        }
        benchmark::DoNotOptimize(measurement);
    }
    state.SetBytesProcessed(qint64(state.iterations()) * stream.size());
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["frames/pass"] = double(frames) / double(state.iterations());
}

void BM_DecodeClean(benchmark::State &state)
{
    static const QByteArray stream = cleanStream();
    decodeStream(state, stream);
}

void BM_DecodeNoisy(benchmark::State &state)
{
    static const QByteArray stream = noisyStream();
    decodeStream(state, stream);
}

// The argument is the chunk size: a whole buffer at once, and the small reads
// a serial port tends to deliver.
BENCHMARK(BM_DecodeClean)->Arg(1 << 20)->Arg(64)->Arg(1);
BENCHMARK(BM_DecodeNoisy)->Arg(1 << 20)->Arg(64);

// One frame's four addSample calls with every series already full.
void BM_AddSampleFullSeries(benchmark::State &state)
{
    ChannelModel model;
    for (int i = 0; i < ChannelModel::SeriesCapacity + 1; ++i) {
        model.addSample(0, float(1000 + i % 37));
        model.addSample(1, float(i % 256));
        model.addSample(2, 0);
        model.addSample(3, float(i % 11));
    }
    float distance = 1000;
    for (auto _ : state) {
        model.addSample(0, distance);
        model.addSample(1, 128);
        model.addSample(2, 0);
        model.addSample(3, 7);
        distance = distance < 2000 ? distance + 1 : 1000;
        benchmark::DoNotOptimize(model.stdDis);
    }
    state.counters["frames/s"]
        = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AddSampleFullSeries);

} // namespace

BENCHMARK_MAIN();

// The History window's data: the per-column extremes of a view, which must
// cost about the same whatever the number of frames held, and the statistics
// of a view.

#include "historystore.h"

#include <benchmark/benchmark.h>

#include <QRandomGenerator>

#include <map>
#include <memory>

namespace {

// 1800 Hz with jitter, distances with noise and spikes; built once per size.
const HistoryStore &storeOf(qint64 frames)
{
    static std::map<qint64, std::unique_ptr<HistoryStore>> stores;
    auto &store = stores[frames];
    if (!store) {
        store = std::make_unique<HistoryStore>(frames);
        QRandomGenerator random(47);
        qint64 t = 0;
        for (qint64 i = 0; i < frames; ++i) {
            const quint32 r = random.generate();
            t += 500 + r % 111;
            store->append(t, quint16((r >> 8) % 997 == 0 ? 9000 : 1500 + (r >> 16) % 40),
                          quint8(r >> 20), quint8(r >> 26));
        }
    }
    return *store;
}

void columns(benchmark::State &state, HistoryChannel channel)
{
    const HistoryStore &store = storeOf(state.range(0));
    std::vector<ColumnRange> out;
    for (auto _ : state) {
        store.columns(channel, store.firstTimeUs(), store.lastTimeUs() + 1, 1920, &out);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_ColumnsDistance(benchmark::State &state)
{
    columns(state, HistoryChannel::Distance);
}

void BM_ColumnsMean10(benchmark::State &state)
{
    columns(state, HistoryChannel::Mean10);
}

void BM_Stats(benchmark::State &state)
{
    const HistoryStore &store = storeOf(state.range(0));
    // A view that cuts blocks at both ends.
    const qint64 t0 = store.firstTimeUs() + 777, t1 = store.lastTimeUs() - 777;
    for (auto _ : state)
        benchmark::DoNotOptimize(store.stats(t0, t1));
}

void sizes(benchmark::internal::Benchmark *b)
{
    for (qint64 n : { 10000ll, 100000ll, 1000000ll, 10000000ll, 13000000ll })
        b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

} // namespace

BENCHMARK(BM_ColumnsDistance)->Apply(sizes);
BENCHMARK(BM_ColumnsMean10)->Apply(sizes);
BENCHMARK(BM_Stats)->Apply(sizes);

BENCHMARK_MAIN();

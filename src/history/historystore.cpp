#include "historystore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Exact products of 64-bit sums.
__extension__ typedef __int128 Wide;

struct MinMax16
{
    quint16 lo, hi;
};
struct MinMax8
{
    quint8 lo, hi;
};

template<typename MM>
inline MM nothing()
{
    return { std::numeric_limits<decltype(MM::lo)>::max(), 0 };
}

template<typename MM>
inline MM merged(MM a, MM b)
{
    return { std::min(a.lo, b.lo), std::max(a.hi, b.hi) };
}

// Running sums of a chunk, indexed as below; 64-bit and unsigned, so they wrap
// but the difference of two stays exact for any range a store can hold.
enum SumIndex { SumD, SumD2, SumE, SumE2, SumA, SumA2, SumM, SumM2, SumDiff2, SumCount };

} // namespace

struct HistoryStore::Sums
{
    std::array<quint64, SumCount> v {};

    void add(quint16 d, quint8 e, quint8 a, quint16 m, quint64 diff2)
    {
        v[SumD] += d;
        v[SumD2] += quint64(d) * d;
        v[SumE] += e;
        v[SumE2] += quint64(e) * e;
        v[SumA] += a;
        v[SumA2] += quint64(a) * a;
        v[SumM] += m;
        v[SumM2] += quint64(m) * m;
        v[SumDiff2] += diff2;
    }
    void addRange(const Sums &to, const Sums &from) // += to - from
    {
        for (int i = 0; i < SumCount; ++i)
            v[i] += to.v[i] - from.v[i];
    }
};

struct HistoryStore::Chunk
{
    Chunk(qint64 base, int bits, const std::array<quint16, 9> &recent, int recentCount)
        : baseUs(base)
        , capacity(1 << bits)
        , sumBits(std::min(bits, SumBits))
        , levels(1 + (bits - LeafBits) / FanoutBits)
        , time(new quint32[capacity])
        , distance(new quint16[capacity])
        , energy(new quint8[capacity])
        , ambient(new quint8[capacity])
        , before(recent)
        , beforeCount(recentCount)
        , sums(new Sums[(capacity >> sumBits) + 1])
    {
        int nodes = 0;
        for (int l = 0; l < levels; ++l) {
            levelOffset[l] = nodes;
            nodes += (capacity >> LeafBits) >> (FanoutBits * l);
        }
        distanceMm.reset(new MinMax16[nodes]);
        meanMm.reset(new MinMax16[nodes]);
        energyMm.reset(new MinMax8[nodes]);
        ambientMm.reset(new MinMax8[nodes]);
        sums[0] = Sums();
    }

    qint64 timeUs(int j) const { return baseUs + time[j]; }
    // Distance at k, where -beforeCount <= k < 0 are the frames before this chunk.
    quint16 distanceAt(int k) const { return k >= 0 ? distance[k] : before[9 + k]; }
    int firstMeanFrame(int j) const { return std::max(j - 9, -beforeCount); }
    quint64 diff2(int j) const
    {
        if (j == 0 && beforeCount == 0)
            return 0;
        const int d = int(distance[j]) - int(distanceAt(j - 1));
        return quint64(qint64(d) * d);
    }

    // Calls f(j, mean10) for each frame of [a, b), sliding the window.
    template<typename F>
    void forMeans(int a, int b, F f) const
    {
        if (a >= b)
            return;
        quint32 sum = 0;
        for (int k = firstMeanFrame(a); k <= a; ++k)
            sum += distanceAt(k);
        for (int j = a; j < b; ++j) {
            if (j > a) {
                sum += distance[j];
                if (j - 10 >= -beforeCount)
                    sum -= distanceAt(j - 10);
            }
            f(j, quint16(sum / quint32(std::min(10, j + 1 + beforeCount))));
        }
    }

    qint64 baseUs;
    int capacity;
    int sumBits;
    int levels;
    int fill = 0;
    std::unique_ptr<quint32[]> time; // since baseUs
    std::unique_ptr<quint16[]> distance;
    std::unique_ptr<quint8[]> energy;
    std::unique_ptr<quint8[]> ambient;
    std::array<quint16, 9> before; // the newest distances before this chunk, oldest first
    int beforeCount;
    // The pyramid: level l holds blocks of 8 << 4l frames, at levelOffset[l].
    std::array<int, 32> levelOffset {};
    std::unique_ptr<MinMax16[]> distanceMm;
    std::unique_ptr<MinMax16[]> meanMm;
    std::unique_ptr<MinMax8[]> energyMm;
    std::unique_ptr<MinMax8[]> ambientMm;
    // sums[k]: over frames [0, k << sumBits)
    std::unique_ptr<Sums[]> sums;
    Sums running; // over frames [0, fill)
    std::array<quint16, 1 << LeafBits> leafMeans {}; // the means of the block being filled
};

HistoryStore::HistoryStore(qint64 capacity, int chunkBits)
    : m_capacity(std::max<qint64>(capacity, 1))
    , m_chunkBits(std::clamp(chunkBits, LeafBits, 24))
{ }

HistoryStore::~HistoryStore() = default;

void HistoryStore::clear()
{
    m_chunks.clear();
    m_chunkStart.clear();
    m_size = 0;
    m_dropped = 0;
    m_frontLocal = 0;
    m_lastTimeUs = 0;
    m_recentCount = 0;
}

void HistoryStore::startChunk(qint64 timeUs)
{
    const qint64 start
        = m_chunkStart.empty() ? m_dropped + m_size : m_chunkStart.back() + m_chunks.back()->fill;
    m_chunks.push_back(std::make_shared<Chunk>(timeUs, m_chunkBits, m_recent, m_recentCount));
    m_chunkStart.push_back(start);
}

void HistoryStore::append(qint64 timeUs, quint16 distance, quint8 energy, quint8 ambient)
{
    if (m_size > 0 || !m_chunks.empty())
        timeUs = std::max(timeUs, m_lastTimeUs);
    if (m_chunks.empty() || m_chunks.back()->fill == m_chunks.back()->capacity
        || timeUs - m_chunks.back()->baseUs > std::numeric_limits<quint32>::max())
        startChunk(timeUs);
    Chunk &c = *m_chunks.back();
    const int j = c.fill;
    c.time[j] = quint32(timeUs - c.baseUs);
    c.distance[j] = distance;
    c.energy[j] = energy;
    c.ambient[j] = ambient;

    quint32 sum = distance;
    for (int k = 0; k < m_recentCount; ++k)
        sum += m_recent[8 - k];
    const quint16 mean = quint16(sum / quint32(m_recentCount + 1));
    const quint64 diff2 = c.diff2(j);
    std::copy(m_recent.begin() + 1, m_recent.end(), m_recent.begin());
    m_recent[8] = distance;
    m_recentCount = std::min(m_recentCount + 1, 9);

    c.running.add(distance, energy, ambient, mean, diff2);
    c.leafMeans[j & ((1 << LeafBits) - 1)] = mean;
    c.fill = j + 1;
    if ((c.fill & ((1 << c.sumBits) - 1)) == 0)
        c.sums[c.fill >> c.sumBits] = c.running;
    if ((c.fill & ((1 << LeafBits) - 1)) == 0) {
        const int first = c.fill - (1 << LeafBits);
        MinMax16 d { c.distance[first], c.distance[first] };
        MinMax8 e { c.energy[first], c.energy[first] };
        MinMax8 a { c.ambient[first], c.ambient[first] };
        MinMax16 m { c.leafMeans[0], c.leafMeans[0] };
        for (int k = 1; k < (1 << LeafBits); ++k) {
            d = merged(d, MinMax16 { c.distance[first + k], c.distance[first + k] });
            e = merged(e, MinMax8 { c.energy[first + k], c.energy[first + k] });
            a = merged(a, MinMax8 { c.ambient[first + k], c.ambient[first + k] });
            m = merged(m, MinMax16 { c.leafMeans[k], c.leafMeans[k] });
        }
        int node = first >> LeafBits;
        c.distanceMm[node] = d;
        c.energyMm[node] = e;
        c.ambientMm[node] = a;
        c.meanMm[node] = m;
        // Each last child completes its parent.
        for (int l = 0; l + 1 < c.levels && (node & (Fanout - 1)) == Fanout - 1; ++l) {
            const int children = c.levelOffset[l] + (node & ~(Fanout - 1));
            const int parent = c.levelOffset[l + 1] + (node >> FanoutBits);
            auto merge = [&](auto &nodes) {
                auto v = nodes[children];
                for (int k = 1; k < Fanout; ++k)
                    v = merged(v, nodes[children + k]);
                nodes[parent] = v;
            };
            merge(c.distanceMm);
            merge(c.energyMm);
            merge(c.ambientMm);
            merge(c.meanMm);
            node >>= FanoutBits;
        }
    }

    m_lastTimeUs = timeUs;
    ++m_size;
    if (m_size > m_capacity)
        dropOldest();
}

void HistoryStore::dropOldest()
{
    --m_size;
    ++m_dropped;
    ++m_frontLocal;
    if (m_chunks.size() > 1 && m_frontLocal == m_chunks.front()->fill) {
        m_chunks.erase(m_chunks.begin());
        m_chunkStart.erase(m_chunkStart.begin());
        m_frontLocal = 0;
    }
}

int HistoryStore::chunkIndexOf(qint64 index) const
{
    const qint64 abs = m_dropped + index;
    // Chunks are full but for the newest unless a long pause sealed one early.
    const qint64 guess = (abs - m_chunkStart.front()) >> m_chunkBits;
    if (guess < qint64(m_chunks.size()) && m_chunkStart[guess] <= abs
        && (guess + 1 == qint64(m_chunks.size()) || abs < m_chunkStart[guess + 1]))
        return int(guess);
    return int(std::upper_bound(m_chunkStart.begin(), m_chunkStart.end(), abs)
               - m_chunkStart.begin())
        - 1;
}

const HistoryStore::Chunk &HistoryStore::chunkOf(qint64 index, qint64 *local) const
{
    const int k = chunkIndexOf(index);
    *local = m_dropped + index - m_chunkStart[k];
    return *m_chunks[k];
}

template<typename Visit>
void HistoryStore::forChunks(qint64 first, qint64 last, Visit visit) const
{
    first = std::max<qint64>(first, 0);
    last = std::min(last, m_size);
    if (first >= last)
        return;
    int k = chunkIndexOf(first);
    qint64 a = m_dropped + first - m_chunkStart[k];
    qint64 remaining = last - first;
    while (remaining > 0) {
        const Chunk &c = *m_chunks[k];
        const qint64 b = std::min<qint64>(c.fill, a + remaining);
        visit(c, int(a), int(b));
        remaining -= b - a;
        a = 0;
        ++k;
    }
}

HistoryFrame HistoryStore::at(qint64 index) const
{
    qint64 j;
    const Chunk &c = chunkOf(index, &j);
    return { c.timeUs(int(j)), c.distance[j], c.energy[j], c.ambient[j] };
}

double HistoryStore::valueAt(HistoryChannel channel, qint64 index) const
{
    qint64 j;
    const Chunk &c = chunkOf(index, &j);
    switch (channel) {
    case HistoryChannel::Distance:
        return c.distance[j];
    case HistoryChannel::Energy:
        return c.energy[j];
    case HistoryChannel::Ambient:
        return c.ambient[j];
    case HistoryChannel::Mean10:
        break;
    }
    double mean = 0;
    c.forMeans(int(j), int(j) + 1, [&](int, quint16 m) { mean = m; });
    return mean;
}

qint64 HistoryStore::firstTimeUs() const
{
    return m_size ? m_chunks.front()->timeUs(int(m_frontLocal)) : 0;
}

qint64 HistoryStore::lastTimeUs() const
{
    return m_size ? m_lastTimeUs : 0;
}

qint64 HistoryStore::lowerBound(qint64 timeUs) const
{
    if (m_size == 0 || timeUs <= firstTimeUs())
        return 0;
    if (timeUs > m_lastTimeUs)
        return m_size;
    // The first chunk whose newest frame is not before timeUs holds the answer.
    const auto chunk = std::partition_point(m_chunks.begin(), m_chunks.end(), [&](const auto &c) {
        return c->timeUs(c->fill - 1) < timeUs;
    });
    const Chunk &c = **chunk;
    const int k = int(chunk - m_chunks.begin());
    const int from = k == 0 ? int(m_frontLocal) : 0;
    const quint32 offset = quint32(std::max<qint64>(timeUs - c.baseUs, 0));
    const int j
        = int(std::lower_bound(c.time.get() + from, c.time.get() + c.fill, offset) - c.time.get());
    return m_chunkStart[k] + j - m_dropped;
}

namespace {

// The extremes of [a, b) of one chunk: whole pyramid blocks where they fit,
// single frames at the ends.
template<typename MM, typename Leaf>
void chunkRange(const MM *nodes, const std::array<int, 32> &levelOffset, int levels, int a, int b,
                Leaf leaf, MM *acc, bool *any)
{
    constexpr int Fanout = HistoryStore::Fanout;
    // acc starts as nothing (lo at its largest, hi at 0), so no test a block.
    auto take = [&](MM v) {
        *acc = merged(*acc, v);
    };
    *any = *any || a < b;
    int la = (a + (1 << HistoryStore::LeafBits) - 1) >> HistoryStore::LeafBits;
    int lb = b >> HistoryStore::LeafBits;
    if (la >= lb) {
        leaf(a, b, take);
        return;
    }
    leaf(a, la << HistoryStore::LeafBits, take);
    leaf(lb << HistoryStore::LeafBits, b, take);
    // At each level the blocks up to the first whole parent and from the
    // last, then the parents between.
    for (int level = 0;; ++level) {
        const MM *n = nodes + levelOffset[size_t(level)];
        const int na = (la + Fanout - 1) & ~(Fanout - 1), nb = lb & ~(Fanout - 1);
        if (level + 1 == levels || na >= nb) {
            for (int i = la; i < lb; ++i)
                take(n[i]);
            return;
        }
        for (int i = la; i < na; ++i)
            take(n[i]);
        for (int i = nb; i < lb; ++i)
            take(n[i]);
        la = na >> HistoryStore::FanoutBits;
        lb = nb >> HistoryStore::FanoutBits;
    }
}

} // namespace

namespace {
constexpr int Lookahead = 4; // columns
}

template<typename F>
void HistoryStore::withChannel(HistoryChannel channel, F f) const
{
    auto values = [](auto field) {
        return [field](const Chunk &c, int x, int y, auto take) {
            const auto *v = (c.*field).get();
            for (int j = x; j < y; ++j)
                take({ v[j], v[j] });
        };
    };
    switch (channel) {
    case HistoryChannel::Distance:
        return f([](const Chunk &c) { return c.distanceMm.get(); }, values(&Chunk::distance));
    case HistoryChannel::Energy:
        return f([](const Chunk &c) { return c.energyMm.get(); }, values(&Chunk::energy));
    case HistoryChannel::Ambient:
        return f([](const Chunk &c) { return c.ambientMm.get(); }, values(&Chunk::ambient));
    case HistoryChannel::Mean10:
        return f([](const Chunk &c) { return c.meanMm.get(); },
                 [](const Chunk &c, int x, int y, auto take) {
                     c.forMeans(x, y, [&](int, quint16 m) { take({ m, m }); });
                 });
    }
}

namespace {

template<typename MM>
ColumnRange columnRange(const MM &acc, bool any)
{
    ColumnRange out;
    out.empty = !any;
    if (any) {
        out.min = acc.lo;
        out.max = acc.hi;
    }
    return out;
}

// The first of [from, to) not before `target`, looked for near `guess`: frames
// come at a steady rate, so a bracket widened one, two, four ... frames from
// it is soon found, then halved.
int lowerBoundNear(const quint32 *time, int from, int guess, int to, quint32 target)
{
    int lo = from, hi = to, step = 1;
    if (time[guess] < target) {
        lo = guess + 1;
        while (lo + step - 1 < to && time[lo + step - 1] < target) {
            lo += step;
            step *= 2;
        }
        hi = std::min(to, lo + step - 1);
    } else {
        hi = guess;
        while (hi - step >= from && time[hi - step] >= target) {
            hi -= step;
            step *= 2;
        }
        lo = std::max(from, hi - step + 1);
    }
    return int(std::lower_bound(time + lo, time + hi, target) - time);
}

} // namespace

ColumnRange HistoryStore::rangeOf(HistoryChannel channel, qint64 first, qint64 last) const
{
    ColumnRange out;
    withChannel(channel, [&](auto nodes, auto leaf) {
        using MM = std::remove_const_t<std::remove_pointer_t<decltype(nodes(*m_chunks[0]))>>;
        MM acc = nothing<MM>();
        bool any = false;
        forChunks(first, last, [&](const Chunk &c, int a, int b) {
            chunkRange(
                nodes(c), c.levelOffset, c.levels, a, b,
                [&](int x, int y, auto take) { leaf(c, x, y, take); }, &acc, &any);
        });
        out = columnRange(acc, any);
    });
    return out;
}

void HistoryStore::columns(HistoryChannel channel, qint64 t0Us, qint64 t1Us, int columns,
                           std::vector<ColumnRange> *out) const
{
    out->assign(size_t(std::max(columns, 0)), ColumnRange());
    if (columns <= 0 || t1Us <= t0Us || m_size == 0)
        return;
    const qint64 first = lowerBound(t0Us);
    if (first == m_size)
        return;
    const qint64 span = t1Us - t0Us;
    const qint64 perColumn = (lowerBound(t1Us) - first) / columns;
    withChannel(channel, [&](auto nodes, auto leaf) {
        using MM = std::remove_const_t<std::remove_pointer_t<decltype(nodes(*m_chunks[0]))>>;
        MM acc = nothing<MM>();
        bool any = false;
        size_t k = size_t(chunkIndexOf(first));
        int a = int(m_dropped + first - m_chunkStart[k]);
        int column = 0;
        qint64 end = t0Us + qint64(Wide(span) / columns); // of the column
        // Chunk by chunk, column by column, each column's end looked for from
        // the last one's.
        while (column < columns && k < m_chunks.size()) {
            const Chunk &c = *m_chunks[k];
            // A column's end and the blocks around it are far apart in a
            // large store: ask for those of the columns ahead now, so that
            // their fetches overlap this column's work.
            for (qint64 ahead = a + Lookahead * perColumn; ahead < c.fill && perColumn > 8;) {
                __builtin_prefetch(c.time.get() + ahead);
                const auto *n = nodes(c);
                __builtin_prefetch(n + (ahead >> LeafBits));
                if (c.levels > 1)
                    __builtin_prefetch(n + c.levelOffset[1] + (ahead >> (LeafBits + FanoutBits)));
                break;
            }
            int b = c.fill;
            if (c.timeUs(c.fill - 1) >= end) {
                const qint64 offset = end - c.baseUs;
                b = offset <= 0 ? a
                                : lowerBoundNear(c.time.get(), a,
                                                 int(std::min<qint64>(a + perColumn, c.fill - 1)),
                                                 c.fill, quint32(offset));
            }
            if (b > a)
                chunkRange(
                    nodes(c), c.levelOffset, c.levels, a, b,
                    [&](int x, int y, auto take) { leaf(c, x, y, take); }, &acc, &any);
            if (b == c.fill) { // the column goes on in the next chunk
                ++k;
                a = 0;
                continue;
            }
            (*out)[size_t(column)] = columnRange(acc, any);
            acc = nothing<MM>();
            any = false;
            a = b;
            ++column;
            end = t0Us + qint64(Wide(span) * (column + 1) / columns);
        }
        if (any && column < columns)
            (*out)[size_t(column)] = columnRange(acc, any);
    });
}

namespace {

// Population deviation from integer sums, exact up to the last division.
double deviation(qint64 n, qint64 sum, quint64 sumSquares)
{
    if (n <= 0)
        return 0;
    const Wide spread = Wide(n) * Wide(sumSquares) - Wide(sum) * Wide(sum);
    return spread > 0 ? std::sqrt(double(spread)) / double(n) : 0.0;
}

} // namespace

ViewStats HistoryStore::statsOf(qint64 first, qint64 last) const
{
    ViewStats out;
    first = std::max<qint64>(first, 0);
    last = std::min(last, m_size);
    if (first >= last)
        return out;
    Sums total;
    forChunks(first, last, [&](const Chunk &c, int a, int b) {
        auto brute = [&](int x, int y) {
            c.forMeans(x, y, [&](int j, quint16 m) {
                total.add(c.distance[j], c.energy[j], c.ambient[j], m, c.diff2(j));
            });
        };
        const int step = 1 << c.sumBits;
        const int sa = (a + step - 1) >> c.sumBits, sb = b >> c.sumBits;
        if (sa >= sb) {
            brute(a, b);
            return;
        }
        brute(a, sa << c.sumBits);
        total.addRange(c.sums[sb], c.sums[sa]);
        brute(sb << c.sumBits, b);
    });
    const qint64 n = last - first;
    out.frames = n;
    out.spanSeconds = double(at(last - 1).timeUs - at(first).timeUs) / 1e6;
    const SumIndex sumOf[] = { SumD, SumE, SumA, SumM };
    for (int ch = 0; ch < HistoryChannelCount; ++ch) {
        ChannelStats &s = out.channels[size_t(ch)];
        s.count = n;
        s.mean = double(total.v[sumOf[ch]]) / double(n);
        s.stdDev = deviation(n, qint64(total.v[sumOf[ch]]), total.v[sumOf[ch] + 1]);
        const ColumnRange r = rangeOf(HistoryChannel(ch), first, last);
        s.min = r.min;
        s.max = r.max;
    }
    // The first frame's difference is with a frame outside the view.
    qint64 j;
    const Chunk &c = chunkOf(first, &j);
    const quint64 diff2 = total.v[SumDiff2] - c.diff2(int(j));
    if (n > 1) {
        const qint64 diffSum = qint64(at(last - 1).distance) - qint64(at(first).distance);
        out.distanceNoise = deviation(n - 1, diffSum, diff2) / std::sqrt(2.0);
    }
    return out;
}

ViewStats HistoryStore::stats(qint64 t0Us, qint64 t1Us) const
{
    return statsOf(lowerBound(t0Us), lowerBound(t1Us));
}

DistanceView HistoryStore::distances(qint64 t0Us, qint64 t1Us) const
{
    DistanceView view;
    const qint64 first = lowerBound(t0Us), last = lowerBound(t1Us);
    if (first >= last)
        return view;
    size_t k = size_t(chunkIndexOf(first));
    qint64 a = m_dropped + first - m_chunkStart[k];
    for (qint64 remaining = last - first; remaining > 0; ++k, a = 0) {
        const std::shared_ptr<Chunk> &c = m_chunks[k];
        const qint64 b = std::min<qint64>(c->fill, a + remaining);
        view.m_runs.push_back(
            { std::shared_ptr<const quint16>(c, c->distance.get() + a), int(b - a) });
        remaining -= b - a;
    }
    view.m_size = last - first;
    view.m_firstTimeUs = at(first).timeUs;
    view.m_lastTimeUs = at(last - 1).timeUs;
    return view;
}

bool DistanceView::forRuns(const std::function<bool(const quint16 *values, int count)> &visit) const
{
    for (const Run &run : m_runs)
        if (!visit(run.values.get(), run.count))
            return false;
    return true;
}

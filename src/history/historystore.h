#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// One frame as kept: time in microseconds since the run's start, and the values.
struct HistoryFrame
{
    qint64 timeUs;
    quint16 distance;
    quint8 energy;
    quint8 ambient;
};

// Mean10 is the truncated mean of the newest ten distances up to and including
// the frame (of all of them while fewer came before). The live chart's mean
// channel is the same taken one frame earlier: its statistics of a frame are
// those of the frames before it.
enum class HistoryChannel { Distance, Energy, Ambient, Mean10 };
constexpr int HistoryChannelCount = 4;

struct ColumnRange
{
    bool empty = true;
    double min = 0, max = 0;
};

// Standard deviations are population ones, as the live readouts show.
struct ChannelStats
{
    qint64 count = 0;
    double mean = 0, stdDev = 0, min = 0, max = 0;
};

struct ViewStats
{
    qint64 frames = 0;
    double spanSeconds = 0; // from the first frame in view to the last
    // Standard deviation of successive distance differences over √2: the
    // frame-to-frame noise, blind to slow drift.
    double distanceNoise = 0;
    std::array<ChannelStats, HistoryChannelCount> channels; // indexed by HistoryChannel
};

struct HistoryEvent
{
    qint64 timeUs;
    QString name;
    QString detail;
};

// Every frame since the start, up to a capacity; beyond it the oldest go.
//
// Frames are kept in chunks of 2^chunkBits: per frame a 32-bit time offset
// from the chunk's first frame and the three values (8 bytes). Beside them
// each chunk keeps a pyramid of minima and maxima over blocks of 8, 128,
// 2048 ... frames, so the extremes of any range come from at most 30 blocks
// a level, side by side in memory, plus at most 14 frames; and running sums
// every 256 frames, so the statistics of any range cost two look-ups a chunk
// plus at most 510 frames. Dropping the oldest frames frees whole chunks; a
// chunk's frames before the first held are never used.
class HistoryStore
{
public:
    static constexpr qint64 DefaultCapacity = 2 * 3600 * 1800;
    static constexpr int DefaultChunkBits = 16;
    static constexpr int LeafBits = 3; // frames per pyramid leaf: 8
    static constexpr int FanoutBits = 4; // pyramid blocks per block of the level above: 16
    static constexpr int Fanout = 1 << FanoutBits;
    static constexpr int SumBits = 8; // frames per running-sum step: 256
    // Per frame: time offset and values, plus the pyramid (16/15 nodes per
    // leaf in all, each 12 bytes over the four channels) and the running sums
    // (nine 64-bit sums per step).
    static constexpr double BytesPerFrame
        = 8.0 + 12.0 / (1 << LeafBits) * Fanout / (Fanout - 1) + 9.0 * 8.0 / (1 << SumBits);

    // chunkBits (3..24) only matters to tests, which use small chunks to cut
    // ranges at chunk ends.
    explicit HistoryStore(qint64 capacity = DefaultCapacity, int chunkBits = DefaultChunkBits);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // Time must not decrease; a time before the last frame's is taken as the
    // last frame's, so the frames stay in order.
    void append(qint64 timeUs, quint16 distance, quint8 energy, quint8 ambient);
    void clear(); // frames and drop count; startUtc and events stay
    qint64 capacity() const { return m_capacity; }
    qint64 size() const { return m_size; } // frames held
    qint64 droppedFrames() const { return m_dropped; } // dropped from the front since the start
    HistoryFrame at(qint64 index) const; // 0 = oldest held
    double valueAt(HistoryChannel channel, qint64 index) const;
    qint64 firstTimeUs() const; // 0 when empty
    qint64 lastTimeUs() const;
    qint64 lowerBound(qint64 timeUs) const; // first index with time >= timeUs; size() if none

    // The min and max of `channel` over each of `columns` equal slices of
    // [t0Us, t1Us): slice k is [t0 + (t1-t0)*k/columns, t0 + (t1-t0)*(k+1)/columns).
    // Exact. The work per column does not grow with the frames held; only the
    // memory it touches lies further apart (figures in bench/README.md).
    void columns(HistoryChannel channel, qint64 t0Us, qint64 t1Us, int columns,
                 std::vector<ColumnRange> *out) const;
    ViewStats stats(qint64 t0Us, qint64 t1Us) const;
    // The same by frame index, [first, last).
    ColumnRange rangeOf(HistoryChannel channel, qint64 first, qint64 last) const;
    ViewStats statsOf(qint64 first, qint64 last) const;

    // The distances of the frames in [t0Us, t1Us), to be read on another thread.
    class DistanceView distances(qint64 t0Us, qint64 t1Us) const;

    QDateTime startUtc; // clock time of timeUs 0 (invalid when unknown)
    std::vector<HistoryEvent> events;

private:
    struct Chunk;
    struct Sums;

    const Chunk &chunkOf(qint64 index, qint64 *local) const;
    int chunkIndexOf(qint64 index) const;
    // Calls f(nodes, leaf) with the pyramid and the frame values of `channel`.
    template<typename F>
    void withChannel(HistoryChannel channel, F f) const;
    void startChunk(qint64 timeUs);
    void dropOldest();
    template<typename Visit>
    void forChunks(qint64 first, qint64 last, Visit visit) const;

    qint64 m_capacity;
    int m_chunkBits;
    qint64 m_size = 0;
    qint64 m_dropped = 0;
    qint64 m_frontLocal = 0; // first held frame within the oldest chunk
    qint64 m_lastTimeUs = 0;
    std::vector<std::shared_ptr<Chunk>> m_chunks; // shared with DistanceViews
    std::vector<qint64> m_chunkStart; // index (since the start) of each chunk's first frame
    std::array<quint16, 9> m_recent {}; // newest distances, oldest first, for Mean10
    int m_recentCount = 0;
};

// The distances of a view, apart from the store: they may be read on another
// thread while the store goes on taking, dropping or clearing frames, as the
// chunks they lie in are kept for as long as the view is.
class DistanceView
{
public:
    qint64 size() const { return m_size; }
    qint64 firstTimeUs() const { return m_firstTimeUs; }
    qint64 lastTimeUs() const { return m_lastTimeUs; }
    // Hands the distances to `visit` in runs of consecutive frames, oldest
    // first; stops when it returns false, and returns false then.
    bool forRuns(const std::function<bool(const quint16 *values, int count)> &visit) const;

private:
    friend class HistoryStore;
    struct Run
    {
        std::shared_ptr<const quint16> values; // owns its chunk
        int count;
    };
    std::vector<Run> m_runs;
    qint64 m_size = 0;
    qint64 m_firstTimeUs = 0;
    qint64 m_lastTimeUs = 0;
};

// Histogram of distances in [t0,t1): `bins` equal bins over [lo, hi]; a
// distance of exactly hi falls in the last bin, others outside are not
// counted. Empty when cancelled.
std::vector<qint64> distanceHistogram(const HistoryStore &store, qint64 t0Us, qint64 t1Us, int bins,
                                      double lo, double hi,
                                      const std::atomic_bool *cancel = nullptr);
std::vector<qint64> distanceHistogram(const DistanceView &view, int bins, double lo, double hi,
                                      const std::atomic_bool *cancel = nullptr);

// Overlapping Allan deviation of distance (mm) against tau = m times the mean
// frame interval in [t0,t1), m = 1, 2, 4, ... while at least two differences
// of m-frame means remain. Empty when cancelled or with fewer than three frames.
struct AllanPoint
{
    double tauSeconds;
    double deviation;
};
std::vector<AllanPoint> allanDeviation(const HistoryStore &store, qint64 t0Us, qint64 t1Us,
                                       const std::atomic_bool *cancel = nullptr);
std::vector<AllanPoint> allanDeviation(const DistanceView &view,
                                       const std::atomic_bool *cancel = nullptr);

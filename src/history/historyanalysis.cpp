// The parts of a view's analysis that take a pass over its frames: run them
// off the GUI thread, with a flag to cancel.

#include "historystore.h"

#include <cmath>

namespace {

bool cancelled(const std::atomic_bool *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

} // namespace

std::vector<qint64> distanceHistogram(const HistoryStore &store, qint64 t0Us, qint64 t1Us, int bins,
                                      double lo, double hi, const std::atomic_bool *cancel)
{
    return distanceHistogram(store.distances(t0Us, t1Us), bins, lo, hi, cancel);
}

std::vector<qint64> distanceHistogram(const DistanceView &view, int bins, double lo, double hi,
                                      const std::atomic_bool *cancel)
{
    std::vector<qint64> counts(size_t(std::max(bins, 0)), 0);
    if (bins <= 0 || !(hi >= lo))
        return counts;
    const double scale = hi > lo ? bins / (hi - lo) : 0.0;
    const bool done = view.forRuns([&](const quint16 *v, int n) {
        for (int i = 0; i < n; ++i) {
            const double d = v[i];
            if (d < lo || d > hi)
                continue;
            ++counts[size_t(std::min(int((d - lo) * scale), bins - 1))];
        }
        return !cancelled(cancel);
    });
    return done ? counts : std::vector<qint64>();
}

std::vector<AllanPoint> allanDeviation(const HistoryStore &store, qint64 t0Us, qint64 t1Us,
                                       const std::atomic_bool *cancel)
{
    return allanDeviation(store.distances(t0Us, t1Us), cancel);
}

std::vector<AllanPoint> allanDeviation(const DistanceView &view, const std::atomic_bool *cancel)
{
    const qint64 n = view.size();
    if (n < 3)
        return {};
    const double tau0 = double(view.lastTimeUs() - view.firstTimeUs()) / 1e6 / double(n - 1);
    if (!(tau0 > 0))
        return {};
    // A copy, two bytes a frame, for the many passes below.
    std::vector<quint16> y;
    y.reserve(size_t(n));
    view.forRuns([&](const quint16 *v, int count) {
        y.insert(y.end(), v, v + count);
        return true;
    });
    std::vector<AllanPoint> points;
    for (qint64 m = 1; 2 * m <= n - 1; m *= 2) {
        // Sums of the m-frame means at j and j + m, slid along together.
        qint64 early = 0, late = 0;
        for (qint64 i = 0; i < m; ++i) {
            early += y[size_t(i)];
            late += y[size_t(i + m)];
        }
        const qint64 terms = n - 2 * m + 1;
        double squares = 0;
        for (qint64 j = 0;; ++j) {
            const double d = double(late - early);
            squares += d * d;
            if (j + 1 == terms)
                break;
            early += qint64(y[size_t(j + m)]) - y[size_t(j)];
            late += qint64(y[size_t(j + 2 * m)]) - y[size_t(j + m)];
            if ((j & 0xFFFFF) == 0 && cancelled(cancel))
                return {};
        }
        points.push_back({ tau0 * double(m),
                           std::sqrt(squares / (2.0 * double(m) * double(m) * double(terms))) });
        if (cancelled(cancel))
            return {};
    }
    return points;
}

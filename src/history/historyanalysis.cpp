#include "historystore.h"

std::vector<qint64> distanceHistogram(const HistoryStore &, qint64, qint64, int, double, double,
                                      const std::atomic_bool *)
{
    return {};
}

std::vector<AllanPoint> allanDeviation(const HistoryStore &, qint64, qint64,
                                       const std::atomic_bool *)
{
    return {};
}

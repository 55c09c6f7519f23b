#include "seriesstats.h"

#include "channelseries.h"
#include "differencenoise.h"

#include <cmath>

namespace {

// Rounds to float, truncates toward zero and keeps the low 16 bits, as the
// means are stored. Values no integer can hold give 0 instead of undefined
// behaviour.
quint16 truncateTo16(double value)
{
    const float narrowed = float(value);
    if (!(std::fabs(narrowed) < 9.0e18f))
        return 0;
    return quint16(qint64(narrowed));
}

} // namespace

namespace SeriesStats {

quint16 mean(const float *samples, int count)
{
    if (count <= 0)
        return 0;
    double sum = 0.0;
    for (int i = 0; i < count; ++i)
        sum += samples[i];
    return truncateTo16(sum / double(count));
}

namespace {

void fromSums(double sum, double squares, int count, quint16 *mean, float *stdDev)
{
    const double n = count;
    *mean = truncateTo16(sum / n);
    const double variance = squares / n - (sum / n) * (sum / n);
    if (variance > 0.0)
        *stdDev = float(std::sqrt(variance));
}

} // namespace

void meanAndStdDev(const float *samples, int count, quint16 *mean, float *stdDev)
{
    *mean = 0;
    *stdDev = 0.0f;
    if (count <= 0)
        return;
    double sum = 0.0;
    double squares = 0.0;
    for (int i = 0; i < count; ++i) {
        const double v = samples[i];
        sum += v;
        squares += v * v;
    }
    fromSums(sum, squares, count, mean, stdDev);
}

void meanAndStdDev(const ChannelSeries &series, quint16 *mean, float *stdDev)
{
    if (!series.hasExactSums() || series.isEmpty()) {
        meanAndStdDev(series.constData(), series.size(), mean, stdDev);
        return;
    }
    *mean = 0;
    *stdDev = 0.0f;
    fromSums(series.sum(), series.sumOfSquares(), series.size(), mean, stdDev);
}

float populationStdDev(const float *samples, int count)
{
    quint16 mean;
    float stdDev;
    meanAndStdDev(samples, count, &mean, &stdDev);
    return stdDev;
}

quint16 meanOfNewest10(const ChannelSeries &series)
{
    const int count = qMin(series.size(), 10);
    return mean(series.constData() + series.size() - count, count);
}

double differenceNoise(const float *samples, int count)
{
    DifferenceNoise noise;
    for (int i = 0; i < count; ++i)
        noise.add(samples[i]);
    return noise.value();
}

quint16 readoutValue(float deviation)
{
    return truncateTo16(double(deviation + 0.5f));
}

} // namespace SeriesStats

#pragma once

#include <QtGlobal>

class ChannelSeries;

// Statistics over a run of samples, accumulated in double precision.
namespace SeriesStats {
// Truncated mean reduced to 16 bits; 0 for no samples.
quint16 mean(const float *samples, int count);
// Population standard deviation; 0 for no samples or a variance that rounding
// pushed below zero.
float populationStdDev(const float *samples, int count);
// Both of the above in one pass over the samples, with the same results.
void meanAndStdDev(const float *samples, int count, quint16 *mean, float *stdDev);
// The same results for a whole series, from its running sums when they are
// exact, else by a pass over its samples.
void meanAndStdDev(const ChannelSeries &series, quint16 *mean, float *stdDev);
// Truncated mean of the newest ten (of all of them while fewer are held).
quint16 meanOfNewest10(const ChannelSeries &series);
// The noise figure of DifferenceNoise over the samples, oldest first; 0 for
// fewer than two. Worked out when asked, so the frames pay nothing for it.
double differenceNoise(const float *samples, int count);
// A standard deviation as its readout shows it: rounded half up, reduced to
// 16 bits; NaN and other values no integer can hold show as 0.
quint16 readoutValue(float deviation);
} // namespace SeriesStats

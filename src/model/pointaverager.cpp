#include "pointaverager.h"

#include <cmath>

void PointAverager::start(int frames)
{
    cancel();
    m_target = qBound(1, frames, MostFrames);
}

PointAverager::Point PointAverager::point() const
{
    Point p;
    p.frames = m_count;
    if (m_count == 0)
        return p;
    const double n = m_count;
    const double shift = m_sum / n;
    p.mean = double(m_first) + shift;
    const double variance = m_squares / n - shift * shift;
    p.stdDev = variance > 0 ? std::sqrt(variance) : 0.0;
    p.noise = m_noise.value();
    p.min = m_min;
    p.max = m_max;
    p.meanEnergy = m_energy / n;
    p.meanAmbient = m_ambient / n;
    return p;
}

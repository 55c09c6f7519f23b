#pragma once

#include "differencenoise.h"
#include "measurement.h"
#include "measurementfeed.h"

#include <QtGlobal>

// Averages the next N measurements into one point of the measurement log. As
// a feed's listener it costs a comparison per frame while idle and a few
// additions while collecting, so it may listen all the time.
class PointAverager : public MeasurementListener
{
public:
    static constexpr int DefaultFrames = 1000;
    static constexpr int MostFrames = 10000000;

    struct Point
    {
        int frames = 0;
        double mean = 0; // distances in mm
        double stdDev = 0; // population, divisor n
        double noise = 0; // DifferenceNoise
        double min = 0;
        double max = 0;
        double meanEnergy = 0;
        double meanAmbient = 0;
    };

    // Collects the next `frames` (1 to MostFrames) measurements; a point under
    // way is dropped.
    void start(int frames);
    void cancel() { *this = PointAverager(); }

    bool isCollecting() const { return m_count < m_target; }
    bool isComplete() const { return m_target > 0 && m_count == m_target; }
    int collected() const { return m_count; }
    int target() const { return m_target; }
    // Of the measurements collected so far.
    Point point() const;

    void addMeasurement(const Measurement &m) override
    {
        if (m_count >= m_target)
            return;
        if (m_count == 0)
            m_first = m_min = m_max = m.distance;
        // From the first distance, so the squares stay small and exact.
        const double d = double(m.distance) - double(m_first);
        m_sum += d;
        m_squares += d * d;
        m_min = qMin(m_min, m.distance);
        m_max = qMax(m_max, m.distance);
        m_energy += m.energy;
        m_ambient += m.ambient;
        m_noise.add(m.distance);
        ++m_count;
    }

private:
    int m_target = 0;
    int m_count = 0;
    quint32 m_first = 0;
    quint32 m_min = 0;
    quint32 m_max = 0;
    double m_sum = 0;
    double m_squares = 0;
    double m_energy = 0;
    double m_ambient = 0;
    DifferenceNoise m_noise;
};

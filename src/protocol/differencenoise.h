#pragma once

#include <QtGlobal>

#include <cmath>

// The noise of a reading that ignores motion: the population standard
// deviation of the differences between successive values, divided by √2.
// For white noise on a still target it is the standard deviation itself (the
// Allan deviation at one sample); a target moving at a steady speed only
// shifts the mean difference, which is taken out. Kept as running sums, so
// each value costs a few additions whatever the length of the run.
class DifferenceNoise
{
public:
    void add(double value)
    {
        if (m_started) {
            const double d = value - m_previous;
            m_sum += d;
            m_squares += d * d;
            ++m_differences;
        }
        m_previous = value;
        m_started = true;
    }

    void clear() { *this = DifferenceNoise(); }

    quint64 differences() const { return m_differences; }

    // 0 while fewer than two values came.
    double value() const
    {
        if (m_differences == 0)
            return 0.0;
        const double n = double(m_differences);
        const double mean = m_sum / n;
        const double variance = m_squares / n - mean * mean;
        return variance > 0.0 ? std::sqrt(variance / 2.0) : 0.0;
    }

private:
    double m_previous = 0.0;
    bool m_started = false;
    quint64 m_differences = 0;
    double m_sum = 0.0;
    double m_squares = 0.0;
};

#pragma once

#include <QVector>
#include <QtGlobal>

// The newest samples of one plotted channel, oldest first, in one contiguous
// array. Appending beyond the capacity drops the oldest sample.
//
// It also keeps the sum and the sum of squares of the samples held, so the
// statistics of a frame need not walk the whole history. They are kept only
// while every sample is a whole number of modest size: then each sum is an
// integer well below 2^53, exact in double whatever the order of additions,
// and equal to what a full pass over the samples computes.
class ChannelSeries
{
public:
    static constexpr int Capacity = 500;

    ChannelSeries() { m_samples.reserve(Capacity + 1); }

    void append(float value)
    {
        m_samples.append(value);
        account(value, 1);
        if (m_samples.size() > Capacity) {
            account(m_samples.first(), -1);
            m_samples.removeFirst();
        }
    }

    void clear()
    {
        m_samples.clear();
        m_sum = m_squares = 0.0;
        m_inexact = 0;
    }

    // True when sum() and sumOfSquares() are exact for the samples held.
    bool hasExactSums() const { return m_inexact == 0; }
    double sum() const { return m_sum; }
    double sumOfSquares() const { return m_squares; }

    int size() const { return m_samples.size(); }
    bool isEmpty() const { return m_samples.isEmpty(); }
    float at(int i) const { return m_samples.at(i); }
    float last() const { return m_samples.last(); }
    const float *constData() const { return m_samples.constData(); }
    const QVector<float> &values() const { return m_samples; }

private:
    // 2^20: 500 squares of it stay below 2^49.
    static constexpr float ExactLimit = 1048576.0f;

    void account(float value, int sign)
    {
        // NaN fails the range test and counts as inexact; the cast is safe once
        // the range holds.
        if (value <= ExactLimit && value >= -ExactLimit && float(qint32(value)) == value) {
            const double v = value;
            m_sum += sign * v;
            m_squares += sign * v * v;
        } else {
            m_inexact += sign;
        }
    }

    QVector<float> m_samples;
    double m_sum = 0.0;
    double m_squares = 0.0;
    int m_inexact = 0; // samples held that the sums leave out
};

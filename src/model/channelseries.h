#pragma once

#include <QVector>
#include <QtGlobal>

#include <algorithm>

// The newest samples of one plotted channel, oldest first, contiguous in
// memory. Appending beyond the capacity drops the oldest sample.
//
// They live in a buffer of twice the capacity: a new sample goes after the
// newest, and only when the buffer's end is reached do the samples held move
// back to its start, once every Capacity appends rather than on each one.
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

    ChannelSeries()
        : m_buffer(2 * Capacity)
    { }

    void append(float value)
    {
        if (m_size == Capacity) {
            account(m_buffer.at(m_begin), -1);
            ++m_begin;
            --m_size;
        }
        float *buffer = m_buffer.data();
        if (m_begin + m_size == m_buffer.size()) {
            std::copy(buffer + m_begin, buffer + m_begin + m_size, buffer);
            m_begin = 0;
        }
        buffer[m_begin + m_size] = value;
        ++m_size;
        account(value, 1);
    }

    void clear()
    {
        m_begin = m_size = 0;
        m_sum = m_squares = 0.0;
        m_inexact = 0;
    }

    // True when sum() and sumOfSquares() are exact for the samples held.
    bool hasExactSums() const { return m_inexact == 0; }
    double sum() const { return m_sum; }
    double sumOfSquares() const { return m_squares; }

    int size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    float at(int i) const { return m_buffer.at(m_begin + i); }
    float last() const { return m_buffer.at(m_begin + m_size - 1); }
    // The samples held, oldest first: size() of them.
    const float *constData() const { return m_buffer.constData() + m_begin; }
    QVector<float> values() const { return QVector<float>(constData(), constData() + m_size); }

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

    QVector<float> m_buffer;
    int m_begin = 0; // the oldest sample's index in m_buffer
    int m_size = 0;
    double m_sum = 0.0;
    double m_squares = 0.0;
    int m_inexact = 0; // samples held that the sums leave out
};

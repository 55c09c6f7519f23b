#pragma once

#include <QVector>
#include <QtGlobal>

// The newest samples of one plotted channel, oldest first, in one contiguous
// array. Appending beyond the capacity drops the oldest sample.
class ChannelSeries
{
public:
    static constexpr int Capacity = 500;

    ChannelSeries() { m_samples.reserve(Capacity + 1); }

    void append(float value)
    {
        m_samples.append(value);
        if (m_samples.size() > Capacity)
            m_samples.removeFirst();
    }

    int size() const { return m_samples.size(); }
    bool isEmpty() const { return m_samples.isEmpty(); }
    float at(int i) const { return m_samples.at(i); }
    float last() const { return m_samples.last(); }
    const float *constData() const { return m_samples.constData(); }
    const QVector<float> &values() const { return m_samples; }

private:
    QVector<float> m_samples;
};

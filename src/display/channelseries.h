#pragma once

#include <QVector>
#include <QtGlobal>

#include <array>

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

// Statistics over a run of samples, accumulated in double precision.
namespace SeriesStats {
// Truncated mean reduced to 16 bits; 0 for no samples.
quint16 mean(const float *samples, int count);
// Population standard deviation; 0 for no samples or a variance that rounding
// pushed below zero.
float populationStdDev(const float *samples, int count);
// Both of the above in one pass over the samples, with the same results.
void meanAndStdDev(const float *samples, int count, quint16 *mean, float *stdDev);
// Truncated mean of the newest ten (of all of them while fewer are held).
quint16 meanOfNewest10(const ChannelSeries &series);
// A standard deviation as its readout shows it: rounded half up, reduced to
// 16 bits; NaN and other values no integer can hold show as 0.
quint16 readoutValue(float deviation);
} // namespace SeriesStats

// Channels 0..4 with their sample histories and the statistics derived from
// the distance and energy histories. Samples arrive one frame at a time:
// channel 0 first, then 1, 2, 3; channel 4 is fed from the channel 0 call.
class ChannelModel
{
public:
    enum Channel {
        Distance = 0,
        Energy,
        Temperature,
        Ambient,
        DistanceMean10,
        EnergyStdDev,
        DistanceStdDev
    };
    static constexpr int PlottedChannels = 5;
    static constexpr int SeriesCapacity = ChannelSeries::Capacity;

    // Stores one sample of channels 0..3; other channels are ignored. The
    // statistics are taken before the distance sample joins its series, so
    // they describe the frames before this one.
    void addSample(int channel, float value);

    std::array<ChannelSeries, PlottedChannels> series;
    QVector<float> samplePositions; // x position of each sample slot: 0, 1, 2, ...
    float sampleCount = 0.0f; // channel 0 samples, counted up to 501

    quint16 meanDis = 0; // mean of the distance history
    quint16 avr10Dis = 0; // mean of the newest ten distances, fed to channel 4
    float stdDis = 0.0f;
    float stdEngy = 0.0f;
};

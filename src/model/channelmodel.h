#pragma once

#include "channelseries.h"
#include "measurement.h"
#include "measurementfeed.h"
#include "seriesstats.h"

#include <QVector>
#include <QtGlobal>

#include <array>

// Channels 0..4 with their sample histories and the statistics derived from
// the distance and energy histories. Samples arrive one frame at a time:
// channel 0 first, then 1, 2, 3; channel 4 is fed from the channel 0 call.
class ChannelModel : public MeasurementListener
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
    // Per-channel lists (colours, names, visibility) hold this many entries:
    // channels 0..6 and one spare the settings layout has always carried.
    static constexpr int ChannelSlots = 8;
    static constexpr int SeriesCapacity = ChannelSeries::Capacity;

    // Stores one sample of channels 0..3; other channels are ignored. The
    // statistics are taken before the distance sample joins its series, so
    // they describe the frames before this one.
    void addSample(int channel, float value);
    // One decoded frame: channels 0..3 in the order above, distance first.
    void addMeasurement(const Measurement &measurement) override;

    std::array<ChannelSeries, PlottedChannels> series;
    QVector<float> samplePositions; // x position of each sample slot: 0, 1, 2, ...
    float sampleCount = 0.0f; // channel 0 samples, counted up to 501
    quint64 revision = 0; // counts the samples stored, so a viewer can tell nothing changed

    quint16 meanDis = 0; // mean of the distance history
    quint16 avr10Dis = 0; // mean of the newest ten distances, fed to channel 4
    float stdDis = 0.0f;
    float stdEngy = 0.0f;
};

#include "channelmodel.h"

#include "seriesstats.h"

void ChannelModel::addSample(int channel, float value)
{
    if (channel < Distance || channel > Ambient)
        return;
    ++revision;

    if (channel == Distance) {
        if (sampleCount <= float(SeriesCapacity)) {
            samplePositions.append(sampleCount);
            sampleCount += 1.0f;
        }
        const ChannelSeries &dis = series[Distance];
        const ChannelSeries &engy = series[Energy];
        // Redone for every frame, at up to 1800 frames a second: from the
        // series' running sums, not a walk over 500 samples.
        SeriesStats::meanAndStdDev(dis, &meanDis, &stdDis);
        avr10Dis = SeriesStats::meanOfNewest10(dis);
        quint16 unusedMean;
        SeriesStats::meanAndStdDev(engy, &unusedMean, &stdEngy);
        series[DistanceMean10].append(float(avr10Dis));
    }
    series[size_t(channel)].append(value);
}

void ChannelModel::addMeasurement(const Measurement &measurement)
{
    // Distance first: its call takes the statistics of the frames before.
    addSample(Distance, float(measurement.distance));
    addSample(Energy, float(measurement.energy));
    addSample(Temperature, float(measurement.temperature));
    addSample(Ambient, float(measurement.ambient));
}

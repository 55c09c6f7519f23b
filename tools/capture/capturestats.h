#pragma once

#include "differencenoise.h"
#include "measurement.h"

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>

#include <array>

// Count, mean, population standard deviation (divisor n), minimum and maximum
// of a series, updated value by value in double precision (Welford's method),
// so a capture of any length needs no buffer and a large mean does not eat the
// digits of a small spread.
class RunningStats
{
public:
    void add(double value);

    quint64 count() const { return m_count; }
    // All 0 while empty.
    double mean() const { return m_mean; }
    double stdDev() const;
    double min() const { return m_min; }
    double max() const { return m_max; }

private:
    quint64 m_count = 0;
    double m_mean = 0;
    double m_squares = 0; // sum of squared deviations from the running mean
    double m_min = 0;
    double m_max = 0;
};

// What a capture took in and how the line behaved, and the summary printed
// from it.
class CaptureStats
{
public:
    // `readNs`: when the read that completed the frame was taken.
    void add(const Measurement &frame, qint64 readNs);

    quint64 frames() const { return m_distance.count(); }
    const RunningStats &distance() const { return m_distance; }
    const RunningStats &energy() const { return m_energy; }
    const RunningStats &ambient() const { return m_ambient; }
    // Mean of the newest ten distances (of all while fewer); 0 for none.
    double distanceMeanNewest10() const;
    // Of the distances, as DifferenceNoise has it.
    const DifferenceNoise &distanceNoise() const { return m_noise; }
    // The mean distance less the reference; 0 without frames.
    double distanceError() const { return frames() ? m_distance.mean() - reference : 0.0; }

    // Set by whoever reads the line.
    double seconds = 0;
    quint64 bytesReceived = 0;
    quint64 bytesOutsideFrames = 0;
    quint64 checksumErrors = 0;
    quint64 framesNotWritten = 0; // received, but lost with a CSV that failed
    bool hasReference = false; // the distance the target truly is at, when given
    double reference = 0;

    // n - 1 frames from the first to the last; 0 while that takes no time.
    double framesPerSecond() const;

    // Lines of aligned columns, for people.
    QByteArray text() const;
    // One JSON object on one line, for scripts. Keys never change; figures
    // that do not exist without frames are null.
    QByteArray json() const;

private:
    RunningStats m_distance;
    RunningStats m_energy;
    RunningStats m_ambient;
    DifferenceNoise m_noise;
    std::array<quint32, 10> m_newest {};
    int m_newestNext = 0;
    qint64 m_firstNs = 0;
    qint64 m_lastNs = 0;
};

struct CaptureOptions;

// What a capture that ran its course missed of the limits the options set, one
// message each; empty when it met them all.
QStringList missedLimits(const CaptureOptions &options, const CaptureStats &stats);

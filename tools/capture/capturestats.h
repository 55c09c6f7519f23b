#pragma once

#include "measurement.h"

#include <QByteArray>
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
    void add(const Measurement &frame);

    quint64 frames() const { return m_distance.count(); }
    const RunningStats &distance() const { return m_distance; }
    const RunningStats &energy() const { return m_energy; }
    const RunningStats &ambient() const { return m_ambient; }
    // Mean of the newest ten distances (of all while fewer); 0 for none.
    double distanceMeanNewest10() const;

    // Set by whoever reads the line.
    double seconds = 0;
    quint64 bytesReceived = 0;
    quint64 bytesOutsideFrames = 0;
    quint64 checksumErrors = 0;

    double framesPerSecond() const { return seconds > 0 ? double(frames()) / seconds : 0.0; }

    // Lines of aligned columns, for people.
    QByteArray text() const;
    // One JSON object on one line, for scripts. Keys never change; figures
    // that do not exist without frames are null.
    QByteArray json() const;

private:
    RunningStats m_distance;
    RunningStats m_energy;
    RunningStats m_ambient;
    std::array<quint32, 10> m_newest {};
    int m_newestNext = 0;
};

#include "capturestats.h"

#include "captureoptions.h"

#include <cmath>
#include <cstdio>

void RunningStats::add(double value)
{
    ++m_count;
    if (m_count == 1) {
        m_min = m_max = value;
    } else {
        m_min = qMin(m_min, value);
        m_max = qMax(m_max, value);
    }
    const double delta = value - m_mean;
    m_mean += delta / double(m_count);
    m_squares += delta * (value - m_mean);
}

double RunningStats::stdDev() const
{
    return m_count > 0 && m_squares > 0 ? std::sqrt(m_squares / double(m_count)) : 0.0;
}

void CaptureStats::add(const Measurement &frame, qint64 readNs)
{
    if (frames() == 0)
        m_firstNs = readNs;
    m_lastNs = readNs;
    m_distance.add(frame.distance);
    m_noise.add(frame.distance);
    m_energy.add(frame.energy);
    m_ambient.add(frame.ambient);
    m_newest[size_t(m_newestNext)] = frame.distance;
    m_newestNext = (m_newestNext + 1) % int(m_newest.size());
}

double CaptureStats::framesPerSecond() const
{
    // Frames read at once (a burst) tell nothing of the rate.
    return m_lastNs > m_firstNs ? double(frames() - 1) * 1e9 / double(m_lastNs - m_firstNs) : 0.0;
}

double CaptureStats::distanceMeanNewest10() const
{
    const quint64 held = qMin<quint64>(frames(), m_newest.size());
    if (held == 0)
        return 0.0;
    double sum = 0;
    for (quint64 i = 0; i < held; ++i)
        sum += m_newest[size_t(i)]; // the ring is full once more than held are in
    return sum / double(held);
}

namespace {

QByteArray format(const char *pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return QByteArray(text);
}

QByteArray number(quint64 value)
{
    return QByteArray::number(value);
}

struct Channel
{
    const char *name;
    const RunningStats *stats;
};

} // namespace

QByteArray CaptureStats::text() const
{
    QByteArray out;
    auto line = [&out](const char *label, const QByteArray &value) {
        char text[128];
        std::snprintf(text, sizeof text, "%-25s %s\n", label, value.constData());
        out += text;
    };
    line("frames captured", number(frames()));
    line("frames not written", number(framesNotWritten));
    line("seconds", format("%.3f", seconds));
    line("frames per second", format("%.1f", framesPerSecond()));
    line("bytes received", number(bytesReceived));
    line("bytes outside frames", number(bytesOutsideFrames));
    line("checksum errors", number(checksumErrors));

    char row[160];
    std::snprintf(row, sizeof row, "\n%-10s %10s %12s %12s %8s %8s\n", "", "count", "mean",
                  "std dev", "min", "max");
    out += row;
    const Channel channels[]
        = { { "distance", &m_distance }, { "energy", &m_energy }, { "ambient", &m_ambient } };
    for (const Channel &c : channels) {
        if (c.stats->count() == 0) {
            std::snprintf(row, sizeof row, "%-10s %10s %12s %12s %8s %8s\n", c.name, "0", "-", "-",
                          "-", "-");
        } else {
            std::snprintf(row, sizeof row, "%-10s %10llu %12.3f %12.3f %8.0f %8.0f\n", c.name,
                          static_cast<unsigned long long>(c.stats->count()), c.stats->mean(),
                          c.stats->stdDev(), c.stats->min(), c.stats->max());
        }
        out += row;
    }
    out += '\n';
    line("distance mean, newest 10", frames() ? format("%.1f", distanceMeanNewest10()) : "-");
    line("distance noise", m_noise.differences() ? format("%.3f", m_noise.value()) : "-");
    if (hasReference) {
        line("distance reference", format("%.3f", reference));
        line("distance error", frames() ? format("%.3f", distanceError()) : "-");
    }
    return out;
}

QByteArray CaptureStats::json() const
{
    const bool any = frames() > 0;
    auto real = [any](const char *pattern, double value) {
        return any ? format(pattern, value) : QByteArray("null");
    };
    QByteArray out = "{\"frames\":" + number(frames());
    out += ",\"seconds\":" + format("%.3f", seconds);
    out += ",\"frames_per_second\":" + format("%.3f", framesPerSecond());
    out += ",\"frames_not_written\":" + number(framesNotWritten);
    out += ",\"bytes_received\":" + number(bytesReceived);
    out += ",\"bytes_outside_frames\":" + number(bytesOutsideFrames);
    out += ",\"checksum_errors\":" + number(checksumErrors);
    const Channel channels[]
        = { { "distance", &m_distance }, { "energy", &m_energy }, { "ambient", &m_ambient } };
    for (const Channel &c : channels) {
        out += ",\"" + QByteArray(c.name) + "\":{\"count\":" + number(c.stats->count());
        out += ",\"mean\":" + real("%.6f", c.stats->mean());
        out += ",\"std_dev\":" + real("%.6f", c.stats->stdDev());
        out += ",\"min\":" + real("%.0f", c.stats->min());
        out += ",\"max\":" + real("%.0f", c.stats->max()) + '}';
    }
    out += ",\"distance_mean_newest10\":" + real("%.6f", distanceMeanNewest10());
    out += ",\"distance_noise\":"
        + (m_noise.differences() ? format("%.6f", m_noise.value()) : QByteArray("null"));
    out += ",\"distance_reference\":"
        + (hasReference ? format("%.6f", reference) : QByteArray("null"));
    out += ",\"distance_error\":"
        + (hasReference ? real("%.6f", distanceError()) : QByteArray("null"));
    out += "}\n";
    return out;
}

QStringList missedLimits(const CaptureOptions &options, const CaptureStats &stats)
{
    QStringList missed;
    const RunningStats &distance = stats.distance();
    if (options.expectDistance
        && (distance.min() < options.minDistance || distance.max() > options.maxDistance))
        missed.append(QStringLiteral("distance limit missed: measured %1 to %2 mm, "
                                     "allowed %3 to %4 mm")
                          .arg(distance.min())
                          .arg(distance.max())
                          .arg(options.minDistance)
                          .arg(options.maxDistance));
    if (options.limitStdDistance && distance.stdDev() > options.maxStdDistance)
        missed.append(QStringLiteral("distance deviation limit missed: measured %1 mm, "
                                     "allowed at most %2 mm")
                          .arg(distance.stdDev(), 0, 'f', 3)
                          .arg(options.maxStdDistance));
    const double error = distance.mean() - options.referenceMm;
    if (options.limitError && std::fabs(error) > options.maxErrorMm)
        missed.append(QStringLiteral("distance error limit missed: measured %1 mm, "
                                     "allowed at most %2 mm either way")
                          .arg(error, 0, 'f', 3)
                          .arg(options.maxErrorMm));
    // A rate needs two frames read apart; without, there is none to miss.
    const double rate = stats.framesPerSecond();
    if (rate > 0 && rate < options.rateLimitHz())
        missed.append(QStringLiteral("rate limit missed: measured %1 frames per second, "
                                     "needed at least %2")
                          .arg(rate, 0, 'f', 1)
                          .arg(options.rateLimitHz()));
    return missed;
}

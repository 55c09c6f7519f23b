#include "readouts.h"

namespace Readouts {

std::array<QString, Count> texts(const Measurement &latest, const ChannelModel &model)
{
    return { QString::number(latest.distance),
             QString::number(latest.energy),
             QString::number(latest.temperature),
             QString::number(latest.ambient),
             QString::number(model.meanDis),
             QString::number(SeriesStats::readoutValue(model.stdEngy)),
             QString::number(SeriesStats::readoutValue(model.stdDis)) };
}

} // namespace Readouts

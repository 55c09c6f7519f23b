#include "shownrate.h"

#include <QtGlobal>

namespace {
// Far more than a one-second count drifts (one frame in ten at 10 Hz), far
// less than the step between two of the device's rates (1000 to 1800 Hz).
constexpr double Tolerance = 0.25;
} // namespace

int shownRateHz(int commandedHz, double measuredHz)
{
    if (measuredHz <= 0)
        return qMax(commandedHz, 0);
    if (commandedHz > 0 && qAbs(measuredHz - commandedHz) <= commandedHz * Tolerance)
        return commandedHz;
    return qRound(measuredHz);
}

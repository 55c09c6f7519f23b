#include "shownrate.h"

#include <QtGlobal>

int shownRateHz(int commandedHz, double measuredHz)
{
    const int measured = qRound(qMax(measuredHz, 0.0));
    return measured > 0 ? measured : qMax(commandedHz, 0);
}

#include "chartlook.h"

bool ChartLook::operator==(const ChartLook &o) const
{
    return colours == o.colours && shown == o.shown && min == o.min && max == o.max
        && fixedRanges == o.fixedRanges && showScale == o.showScale && rateHz == o.rateHz
        && rateMeasured == o.rateMeasured && linkWarning == o.linkWarning
        && showRecordingMark == o.showRecordingMark && gridColumns == o.gridColumns
        && gridRows == o.gridRows && lineWidth == o.lineWidth;
}

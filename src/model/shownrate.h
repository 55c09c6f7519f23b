#pragma once

// The rate the samples on screen were taken at, for the chart's time span:
// the rate of the last start sent (0: none), unless the frames measured
// arriving (0: not measured) clearly come at another one, as from a device
// still streaming at the rate of an earlier session. 0 when neither is known.
int shownRateHz(int commandedHz, double measuredHz);

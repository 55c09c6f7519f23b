#pragma once

// The rate the samples on screen were taken at, for the chart's time span:
// the rate the frames are measured arriving at (0: not measured), which holds
// even for a device still streaming at the rate of an earlier session;
// otherwise the rate of the last start sent (0: none). 0 when neither is known.
int shownRateHz(int commandedHz, double measuredHz);

#pragma once

#include "channelmodel.h"

#include <array>

// Min and Max of each plotted channel for the chart's fixed ranges.
namespace ChartRanges {

using Limits = std::array<int, ChannelModel::PlottedChannels>;

// From the samples in `model`: each channel's lowest and highest widened by
// a tenth of their span, and at least 20 mm for the distance and its mean or
// 2 counts for the others, so a flat curve still gets room. Never below 0, as
// no channel measures less. A channel without samples keeps what it has.
void fromSamples(const ChannelModel &model, Limits &min, Limits &max);

} // namespace ChartRanges

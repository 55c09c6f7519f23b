#pragma once

#include "channelmodel.h"
#include "measurement.h"

#include <QString>

#include <array>

// What the seven readouts show, channel by channel: the latest frame's values,
// the mean of the whole distance history (not the ten-sample mean the curve
// plots) and the two deviations as whole numbers.
namespace Readouts {
constexpr int Count = 7;
std::array<QString, Count> texts(const Measurement &latest, const ChannelModel &model);
} // namespace Readouts

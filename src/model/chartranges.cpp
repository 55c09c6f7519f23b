#include "chartranges.h"

#include <algorithm>
#include <cmath>

namespace ChartRanges {

void fromSamples(const ChannelModel &model, Limits &min, Limits &max)
{
    for (size_t k = 0; k < min.size(); ++k) {
        const ChannelSeries &series = model.series[k];
        if (series.isEmpty())
            continue;
        const auto [lo, hi]
            = std::minmax_element(series.constData(), series.constData() + series.size());
        const bool distance = k == ChannelModel::Distance || k == ChannelModel::DistanceMean10;
        const double least = distance ? 20 : 2;
        const double margin = std::max(least, double(*hi - *lo) * 0.1);
        min[k] = int(std::max(0.0, std::floor(double(*lo) - margin)));
        max[k] = int(std::ceil(double(*hi) + margin));
    }
}

} // namespace ChartRanges

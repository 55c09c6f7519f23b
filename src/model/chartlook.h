#pragma once

#include "channelmodel.h"

#include <QColor>
#include <QString>

#include <array>

// How the chart draws its channels: everything a repaint depends on besides
// the samples, the freeze and the size. Channels 5 to 7 have no curve; their
// colours are their readouts'.
struct ChartLook
{
    static constexpr int ChannelSlots = ChannelModel::ChannelSlots;
    static constexpr int PlottedChannels = ChannelModel::PlottedChannels;

    std::array<QColor, ChannelSlots> colours { QColor(Qt::red),   QColor(Qt::white),
                                               QColor(Qt::blue),  QColor(Qt::darkGray),
                                               QColor(Qt::green), QColor(Qt::white),
                                               QColor(Qt::white), QColor(Qt::white) };
    std::array<bool, ChannelSlots> shown { true, false, false, false, true, false, false, false };
    std::array<int, PlottedChannels> max { 15000, 15000, 15000, 15000, 15000 }; // of fixedRanges
    std::array<int, PlottedChannels> min {};
    // Each curve between its channel's Min (bottom) and Max (top), channel 4
    // on channel 0's; samples beyond lie on the edge. A channel whose Max is
    // not above its Min keeps the scale of its samples.
    bool fixedRanges = false;
    // The distance scale's values and the time the chart spans at rateHz in
    // place of the texts "0" and "1000".
    bool showScale = false;
    int rateHz = 0;
    bool rateMeasured = false; // rateHz is the frames' measured rate, shown beside the span
    // Over the top right corner when not empty: what is wrong with the line.
    QString linkWarning;
    bool showRecordingMark = false;
    int gridColumns = 20;
    int gridRows = 20;
    quint8 lineWidth = 1; // the curve pen is one pixel wider

    bool operator==(const ChartLook &o) const;
    bool operator!=(const ChartLook &o) const { return !(*this == o); }
};

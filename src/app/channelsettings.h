#pragma once

#include <QColor>
#include <QString>

#include <array>

class QSettings;

// Colour, range and name of the five plotted channels as config.ini keeps
// them: sections "Color", "Min", "Max" and "Name", keys VAL1..VAL5.
struct ChannelSettings
{
    static constexpr int Channels = 5;

    std::array<QColor, Channels> colors;
    std::array<int, Channels> min {};
    std::array<int, Channels> max {};
    std::array<QString, Channels> names;

    // Replaces each value the file holds; one it lacks keeps what is here.
    void read(QSettings &file);
    void write(QSettings &file) const;
};

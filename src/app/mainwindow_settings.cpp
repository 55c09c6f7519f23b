// The channel settings file: colour, range and name of channels 0..4 in
// config.ini (see settingsFilePath), read once at start; on close only what
// changed is written.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "channelsettings.h"

#include <QSettings>

namespace {

// The chart holds colours and ranges, the window the names: gathered here so
// the file is read and written in one place.
ChannelSettings currentSettings(const Chart &chart,
                                const std::array<QString, ChannelModel::ChannelCount> &names)
{
    ChannelSettings values;
    for (size_t k = 0; k < ChannelSettings::Channels; ++k) {
        values.colors[k] = chart.channelColors[k];
        values.min[k] = chart.channelMin[k];
        values.max[k] = chart.channelMax[k];
        values.names[k] = names[k];
    }
    return values;
}

} // namespace

void MainWindow::loadChannelSettings()
{
    if (!settings)
        return;
    Chart *chart = ui->chart;
    ChannelSettings values = currentSettings(*chart, channelNames);
    values.read(*settings);
    for (size_t k = 0; k < ChannelSettings::Channels; ++k) {
        chart->channelColors[k] = values.colors[k];
        chart->channelMin[k] = values.min[k];
        chart->channelMax[k] = values.max[k];
        channelNames[k] = values.names[k];
    }
}

void MainWindow::saveChannelSettings()
{
    if (settings)
        currentSettings(*ui->chart, channelNames).save(*settings);
}

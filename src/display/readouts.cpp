// The channel panel: readouts refreshed after every repaint, and the channel
// names that show and hide curves.

#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::connectChannelToggles()
{
    // Channels 5 and 6 are statistics without a curve: their labels toggle
    // nothing.
    for (int k = 0; k < ChannelModel::PlottedChannels; ++k)
        connect(channelLabels.at(k), &Varlabel::clicked, this, [this, k] { toggleChannel(k); });
}

void MainWindow::toggleChannel(int channel)
{
    Chart *chart = ui->chart;
    bool &visible = chart->channelVisible[size_t(channel)];
    visible = !visible;
    paintReadout(channel, visible ? chart->channelColors[size_t(channel)] : QColor(Qt::white));
}

void MainWindow::paintReadout(int channel, const QColor &color)
{
    readoutPalette.setBrush(QPalette::All, QPalette::Base, QBrush(color, Qt::SolidPattern));
    readoutEdits.at(channel)->setPalette(readoutPalette);
}

void MainWindow::refreshReadouts()
{
    const Chart *chart = ui->chart;
    ui->val1->setText(QString::number(measurement.distance));
    ui->val2->setText(QString::number(measurement.energy));
    ui->val3->setText(QString::number(measurement.temperature));
    ui->val4->setText(QString::number(measurement.ambient));
    ui->val5->setText(QString::number(chart->meanDis)); // mean of the whole history
    ui->val6->setText(QString::number(SeriesStats::readoutValue(chart->stdEngy)));
    ui->val7->setText(QString::number(SeriesStats::readoutValue(chart->stdDis)));
}

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

namespace {
// Rewriting a line edit repaints it even when the text is the same.
void showText(QLineEdit *readout, const QString &text)
{
    if (readout->text() != text)
        readout->setText(text);
}
} // namespace

void MainWindow::refreshReadouts()
{
    const Chart *chart = ui->chart;
    showText(ui->val1, QString::number(measurement.distance));
    showText(ui->val2, QString::number(measurement.energy));
    showText(ui->val3, QString::number(measurement.temperature));
    showText(ui->val4, QString::number(measurement.ambient));
    showText(ui->val5, QString::number(chart->meanDis)); // mean of the whole history
    showText(ui->val6, QString::number(SeriesStats::readoutValue(chart->stdEngy)));
    showText(ui->val7, QString::number(SeriesStats::readoutValue(chart->stdDis)));
}

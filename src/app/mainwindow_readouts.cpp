// The channel panel: readouts refreshed after every repaint, and the channel
// names that show and hide curves.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "readouts.h"

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
    if (ui->chart->isFrozen())
        return; // they hold what they showed, as the chart does
    const auto texts = Readouts::texts(feed.latest(), ui->chart->model());
    for (int k = 0; k < Readouts::Count; ++k) {
        // Rewriting a line edit repaints it even when the text is the same.
        QLineEdit *readout = readoutEdits.at(k);
        if (readout->text() != texts[size_t(k)])
            readout->setText(texts[size_t(k)]);
    }
}

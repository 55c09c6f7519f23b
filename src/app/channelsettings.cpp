// The channel settings file: colour, range and name of channels 0..4 in
// config.ini beside the executable, read once at start, written on close.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QSettings>

namespace {

constexpr int StoredChannels = 5;

QString channelKey(int channel)
{
    return QCoreApplication::translate("MainWindow", "VAL%1").arg(channel + 1);
}

QString colorText(const QColor &color)
{
    return QStringLiteral("%1,%2,%3").arg(color.red()).arg(color.green()).arg(color.blue());
}

int component(const QStringList &parts, int i, int current)
{
    // A missing component keeps the colour's own; one that is not a number
    // reads as 0; anything out of range is clamped.
    if (i >= parts.size())
        return current;
    return qBound(0, parts.at(i).toInt(nullptr, 10), 255);
}

} // namespace

void MainWindow::loadChannelSettings()
{
    Chart *chart = ui->chart;

    settings->beginGroup(QStringLiteral("Color"));
    for (int k = 0; k < StoredChannels; ++k) {
        QColor &color = chart->channelColors[size_t(k)];
        const QString text = settings->value(channelKey(k), colorText(color)).toString();
        // Written without quotes the value reads back as a list, which gives no
        // text at all: that keeps the colour rather than turning it black.
        const QStringList parts = text.isEmpty()
            ? QStringList()
            : text.split(QLatin1Char(','), Qt::KeepEmptyParts, Qt::CaseSensitive);
        color.setRgb(component(parts, 0, color.red()), component(parts, 1, color.green()),
                     component(parts, 2, color.blue()));
    }
    settings->endGroup();

    settings->beginGroup(QStringLiteral("Min"));
    for (int k = 0; k < StoredChannels; ++k) {
        int &value = chart->channelMin[size_t(k)];
        value = settings->value(channelKey(k), value).toInt();
    }
    settings->endGroup();

    settings->beginGroup(QStringLiteral("Max"));
    for (int k = 0; k < StoredChannels; ++k) {
        int &value = chart->channelMax[size_t(k)];
        value = settings->value(channelKey(k), value).toInt();
    }
    settings->endGroup();

    settings->beginGroup(QStringLiteral("Name"));
    for (int k = 0; k < StoredChannels; ++k) {
        QString &name = channelNames[size_t(k)];
        name = settings->value(channelKey(k), name).toString();
    }
    settings->endGroup();
}

void MainWindow::saveChannelSettings()
{
    const Chart *chart = ui->chart;
    for (int k = 0; k < StoredChannels; ++k) {
        const QString key = channelKey(k);
        settings->beginGroup(QStringLiteral("Color"));
        settings->setValue(key, colorText(chart->channelColors[size_t(k)]));
        settings->endGroup();
        settings->beginGroup(QStringLiteral("Min"));
        settings->setValue(key, chart->channelMin[size_t(k)]);
        settings->endGroup();
        settings->beginGroup(QStringLiteral("Max"));
        settings->setValue(key, chart->channelMax[size_t(k)]);
        settings->endGroup();
        settings->beginGroup(QStringLiteral("Name"));
        settings->setValue(key, channelNames[size_t(k)]);
        settings->endGroup();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveChannelSettings();
    QMainWindow::closeEvent(event);
}

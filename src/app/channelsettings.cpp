#include "channelsettings.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStringList>

namespace {

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

void ChannelSettings::read(QSettings &file)
{
    file.beginGroup(QStringLiteral("Color"));
    for (int k = 0; k < Channels; ++k) {
        QColor &color = colors[size_t(k)];
        const QString text = file.value(channelKey(k), colorText(color)).toString();
        // Written without quotes the value reads back as a list, which gives no
        // text at all: that keeps the colour rather than turning it black.
        const QStringList parts = text.isEmpty()
            ? QStringList()
            : text.split(QLatin1Char(','), Qt::KeepEmptyParts, Qt::CaseSensitive);
        color.setRgb(component(parts, 0, color.red()), component(parts, 1, color.green()),
                     component(parts, 2, color.blue()));
    }
    file.endGroup();

    file.beginGroup(QStringLiteral("Min"));
    for (int k = 0; k < Channels; ++k)
        min[size_t(k)] = file.value(channelKey(k), min[size_t(k)]).toInt();
    file.endGroup();

    file.beginGroup(QStringLiteral("Max"));
    for (int k = 0; k < Channels; ++k)
        max[size_t(k)] = file.value(channelKey(k), max[size_t(k)]).toInt();
    file.endGroup();

    file.beginGroup(QStringLiteral("Name"));
    for (int k = 0; k < Channels; ++k)
        names[size_t(k)] = file.value(channelKey(k), names[size_t(k)]).toString();
    file.endGroup();
}

void ChannelSettings::write(QSettings &file) const
{
    for (int k = 0; k < Channels; ++k) {
        const QString key = channelKey(k);
        file.beginGroup(QStringLiteral("Color"));
        file.setValue(key, colorText(colors[size_t(k)]));
        file.endGroup();
        file.beginGroup(QStringLiteral("Min"));
        file.setValue(key, min[size_t(k)]);
        file.endGroup();
        file.beginGroup(QStringLiteral("Max"));
        file.setValue(key, max[size_t(k)]);
        file.endGroup();
        file.beginGroup(QStringLiteral("Name"));
        file.setValue(key, names[size_t(k)]);
        file.endGroup();
    }
}

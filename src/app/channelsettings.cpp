#include "channelsettings.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>

namespace {

QString channelKey(const char *section, int channel)
{
    return QLatin1String(section) + QLatin1Char('/')
        + QCoreApplication::translate("MainWindow", "VAL%1").arg(channel + 1);
}

QString colorText(const QColor &color)
{
    return QStringLiteral("%1,%2,%3").arg(color.red()).arg(color.green()).arg(color.blue());
}

bool isList(const QVariant &value)
{
    // An unquoted value holding a comma: QSettings splits it there and trims
    // the spaces around each part.
    return value.userType() == QMetaType::QStringList;
}

int component(const QStringList &parts, int i, int current)
{
    // A missing component keeps the colour's own; one that is not a number
    // reads as 0; anything out of range is clamped.
    if (i >= parts.size())
        return current;
    const QString text = parts.at(i).trimmed();
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (ok)
        return int(qBound<qlonglong>(0, value, 255));
    // Too long even for 64 bits is still a number, clamped by its sign.
    static const QRegularExpression longNumber(QStringLiteral("^([+-]?)[0-9]+$"));
    const QRegularExpressionMatch match = longNumber.match(text);
    return match.hasMatch() && match.captured(1) != QLatin1String("-") ? 255 : 0;
}

} // namespace

void ChannelSettings::read(QSettings &file)
{
    for (int k = 0; k < Channels; ++k) {
        const QVariant color = file.value(channelKey("Color", k));
        if (color.isValid()) {
            QColor &current = colors[size_t(k)];
            QStringList parts;
            if (isList(color))
                parts = color.toStringList();
            else if (!color.toString().isEmpty())
                parts = color.toString().split(QLatin1Char(','), Qt::KeepEmptyParts);
            current.setRgb(component(parts, 0, current.red()), component(parts, 1, current.green()),
                           component(parts, 2, current.blue()));
        }
        min[size_t(k)] = file.value(channelKey("Min", k), min[size_t(k)]).toInt();
        max[size_t(k)] = file.value(channelKey("Max", k), max[size_t(k)]).toInt();
        // Joined with the spaces the split took away, the usual way a name
        // with a comma is typed.
        const QVariant name = file.value(channelKey("Name", k), names[size_t(k)]);
        names[size_t(k)]
            = isList(name) ? name.toStringList().join(QStringLiteral(", ")) : name.toString();
    }
}

void ChannelSettings::write(QSettings &file) const
{
    for (int k = 0; k < Channels; ++k) {
        file.setValue(channelKey("Color", k), colorText(colors[size_t(k)]));
        file.setValue(channelKey("Min", k), min[size_t(k)]);
        file.setValue(channelKey("Max", k), max[size_t(k)]);
        file.setValue(channelKey("Name", k), names[size_t(k)]);
    }
}

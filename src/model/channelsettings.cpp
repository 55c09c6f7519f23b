#include "channelsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
            QColor &current = look.colours[size_t(k)];
            QStringList parts;
            if (isList(color))
                parts = color.toStringList();
            else if (!color.toString().isEmpty())
                parts = color.toString().split(QLatin1Char(','), Qt::KeepEmptyParts);
            current.setRgb(component(parts, 0, current.red()), component(parts, 1, current.green()),
                           component(parts, 2, current.blue()));
        }
        int &min = look.min[size_t(k)];
        int &max = look.max[size_t(k)];
        min = file.value(channelKey("Min", k), min).toInt();
        max = file.value(channelKey("Max", k), max).toInt();
        // Joined with the spaces the split took away, the usual way a name
        // with a comma is typed.
        const QVariant name = file.value(channelKey("Name", k), names[size_t(k)]);
        names[size_t(k)]
            = isList(name) ? name.toStringList().join(QStringLiteral(", ")) : name.toString();
    }
}

int ChannelSettings::write(QSettings &file) const
{
    int changed = 0;
    // The file's text against the text a write would give it: a list (the
    // same value without quotes) is written again as one quoted text.
    const auto put = [&file, &changed](const QString &key, const QString &text) {
        const QVariant held = file.value(key);
        if (held.isValid() && !isList(held) && held.toString() == text)
            return;
        file.setValue(key, text);
        ++changed;
    };
    for (int k = 0; k < Channels; ++k) {
        put(channelKey("Color", k), colorText(look.colours[size_t(k)]));
        put(channelKey("Min", k), QString::number(look.min[size_t(k)]));
        put(channelKey("Max", k), QString::number(look.max[size_t(k)]));
        put(channelKey("Name", k), names[size_t(k)]);
    }
    return changed;
}

bool ChannelSettings::save(QSettings &file) const
{
    if (write(file) == 0)
        return true;
    file.sync();
    // FormatError only says the file read at start was malformed; the write
    // itself fails with AccessError.
    if (file.status() != QSettings::AccessError)
        return true;
    qWarning("Channel settings not saved: cannot write %s",
             qPrintable(QDir::toNativeSeparators(file.fileName())));
    return false;
}

QString settingsFilePath(const QString &besideExe, const QString &perUserDir)
{
    const QString beside = QDir(besideExe).filePath(QStringLiteral("config.ini"));
    // QSettings saves by renaming a new file over the old one, so the folder
    // must be writable, not merely the file.
    if (QFileInfo(besideExe).isWritable() || perUserDir.isEmpty())
        return beside;

    const QString perUser = QDir(perUserDir).filePath(QStringLiteral("config.ini"));
    const QFileInfo existing(perUser);
    if (!existing.exists() && !existing.isSymLink() && QDir().mkpath(perUserDir)
        && QFileInfo(beside).isFile() && QFile::copy(beside, perUser)) {
        // The copy takes the installed file's permissions, perhaps read-only.
        QFile::setPermissions(perUser, QFile::permissions(perUser) | QFile::WriteOwner);
    }
    return perUser;
}

std::unique_ptr<QSettings> openSettingsFile(const QString &path)
{
    const QFileInfo info(path);
    QString target = path;
    if (info.exists())
        target = info.canonicalFilePath();
    else if (info.isSymLink())
        target = info.symLinkTarget(); // a dangling link: the save creates its target

    if (QFileInfo::exists(target) && !QFileInfo(target).isFile()) {
        qWarning("%s is not a regular file: built-in channel settings in use, none saved",
                 qPrintable(QDir::toNativeSeparators(path)));
        return nullptr;
    }
    auto settings = std::make_unique<QSettings>(target, QSettings::IniFormat);
    // Names typed into the file by hand are UTF-8; without this they would be
    // read back as Latin-1.
    settings->setIniCodec("UTF-8");
    return settings;
}

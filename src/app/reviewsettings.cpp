#include "reviewsettings.h"

#include <QSettings>

namespace {

const char Group[] = "Review";
const char FolderKey[] = "Folder";
const char FixedRangesKey[] = "FixedRanges";
const char ShowScaleKey[] = "ShowScale";

// The file's text is compared as the type it is read as: "true" is true.
void writeChanged(QSettings &file, const char *key, const QString &value, const QString &absent)
{
    const QString name = QLatin1String(key);
    if (file.value(name, absent).toString() != value)
        file.setValue(name, value);
}

void writeChanged(QSettings &file, const char *key, bool value, bool absent)
{
    const QString name = QLatin1String(key);
    if (file.value(name, absent).toBool() != value)
        file.setValue(name, value);
}

} // namespace

void ReviewSettings::read(QSettings &file)
{
    file.beginGroup(QLatin1String(Group));
    folder = file.value(QLatin1String(FolderKey), folder).toString();
    fixedRanges = file.value(QLatin1String(FixedRangesKey), fixedRanges).toBool();
    showScale = file.value(QLatin1String(ShowScaleKey), showScale).toBool();
    file.endGroup();
}

void ReviewSettings::write(QSettings &file) const
{
    const ReviewSettings defaults;
    file.beginGroup(QLatin1String(Group));
    writeChanged(file, FolderKey, folder, defaults.folder);
    writeChanged(file, FixedRangesKey, fixedRanges, defaults.fixedRanges);
    writeChanged(file, ShowScaleKey, showScale, defaults.showScale);
    file.endGroup();
}

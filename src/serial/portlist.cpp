#include "portlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

PortListChange mergePortList(const QStringList &items, int currentIndex,
                             const QStringList &available)
{
    PortListChange change;
    change.items = items;
    change.currentIndex = currentIndex;

    for (int i = 0; i < change.items.size();) {
        if (available.contains(change.items.at(i), Qt::CaseSensitive)) {
            ++i;
            continue;
        }
        change.report += change.items.at(i) + QCoreApplication::translate("MainWindow", "移除");
        change.items.removeAt(i);
        // A combo box keeps the same row selected, or the last one if the
        // selected row was the last.
        if (change.currentIndex > i)
            --change.currentIndex;
        else if (change.currentIndex == i)
            change.currentIndex = qMin(i, change.items.size() - 1);
    }

    for (const QString &name : available) {
        if (change.items.contains(name, Qt::CaseSensitive))
            continue; // listed already, or listed twice by the system
        change.items.append(name);
        change.report += QCoreApplication::translate("MainWindow", "新添") + name;
    }

    if (change.currentIndex < 0 && !change.items.isEmpty())
        change.currentIndex = 0;
    if (change.items.isEmpty())
        change.report += QCoreApplication::translate("MainWindow", "没有可用串口");
    return change;
}

QString portPath(const QString &given)
{
    if (given.isEmpty() || !QDir::isRelativePath(given) || !given.contains(QLatin1Char('/')))
        return given;
    return QFileInfo(given).absoluteFilePath();
}

#pragma once

#include <QString>
#include <QStringList>

// Result of bringing the port selector up to date with the system's ports.
struct PortListChange
{
    QStringList items; // the selector's items afterwards, in order
    int currentIndex = -1; // the selected item afterwards, -1 for none
    QString report; // what changed, for the status line; empty if nothing did
};

// The merge rule of the Refresh button, free of any widget: ports that are
// gone are removed where they stand, new ones are appended in the system's
// order, names compare exactly (case included). The selection follows what a
// QComboBox does when items are removed under it, and falls to the first item
// when nothing was selected.
PortListChange mergePortList(const QStringList &items, int currentIndex,
                             const QStringList &available);

// The port a command line names, as every program of this tool opens it. A
// bare name ("ttyUSB0", "COM3") is left to the serial port, which looks where
// the system keeps its ports; any other relative path is taken from the
// current folder, as a shell user means it, not from /dev.
QString portPath(const QString &given);

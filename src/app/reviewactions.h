#pragma once

#include <QList>

class QAction;
class QObject;

// What a user does with the numbers on screen, offered as the chart's context
// menu and by keyboard anywhere in the window. The shortcuts are Ctrl
// combinations and function keys that neither buttons nor combo boxes take:
//   Ctrl+R        record to CSV (on/off)
//   F9, Pause     freeze the chart and readouts (on/off)
//   Ctrl+L        clear the samples and statistics
//   Ctrl+S        save the samples on screen to CSV
//   Ctrl+Shift+C  copy the statistics (Ctrl+C stays the text fields' copy)
//   Ctrl+F        fixed ranges (on/off)
//   Ctrl+T        scale values (on/off)
struct ReviewActions
{
    // Creates the actions, owned by `owner`.
    explicit ReviewActions(QObject *owner);

    QAction *record;
    QAction *freeze;
    QAction *clear;
    QAction *saveSamples;
    QAction *copyStatistics;
    QAction *fixedRanges;
    QAction *showScale;
    QList<QAction *> menu; // all of them in menu order, separators between the groups
};

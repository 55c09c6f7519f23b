#pragma once

#include <QString>

class QSettings;

// The [Review] section of config.ini, apart from the channel sections: the
// folder a file was last saved to, and how the chart is scaled and labelled.
struct ReviewSettings
{
    QString folder; // empty: none yet
    bool fixedRanges = false;
    bool showScale = false;

    // Replaces each value the file holds; one it lacks keeps what is here.
    void read(QSettings &file);
    // Writes only the keys whose value differs from the file's (a missing key
    // counts as its default), so a file nobody changed stays as it is.
    void write(QSettings &file) const;
};

#pragma once

#include "chartlook.h"

#include <QString>

#include <array>
#include <memory>

class QSettings;

// Colour, range and name of the five plotted channels as config.ini keeps
// them: sections "Color", "Min", "Max" and "Name", keys VAL1..VAL5.
struct ChannelSettings
{
    static constexpr int Channels = 5;

    // The chart's colours, Min and Max are read into it and written from it
    // as they are; the rest of it, and the names past Channels, the file
    // does not keep.
    ChartLook look;
    std::array<QString, ChartLook::ChannelSlots> names;

    // Replaces each value the file holds; one it lacks keeps what is here.
    void read(QSettings &file);
    // Sets only the keys whose text in the file differs from what would be
    // written (a missing key differs) and returns how many: when none does,
    // nothing is set and the file is never rewritten.
    int write(QSettings &file) const;
    // write(), then sync when something was set. A file that cannot take it
    // is reported on standard error; returns false then.
    bool save(QSettings &file) const;
};

// Where config.ini lives: beside the executable while that folder is writable
// (an unpacked copy), otherwise in perUserDir (installed under /usr/bin),
// which is then created and seeded once with the file beside the executable.
QString settingsFilePath(const QString &besideExe, const QString &perUserDir);

// The settings object for path, set up as the tool reads and writes it. A
// symbolic link is followed to its target, so a save leaves the link in place.
// Returns nothing (with a warning) when path is not a regular file: opening a
// FIFO or device would block or feed it, and a folder cannot be saved.
std::unique_ptr<QSettings> openSettingsFile(const QString &path);

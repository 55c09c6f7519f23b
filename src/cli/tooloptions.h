#pragma once

#include "commandline.h"

// What the command line asks of tav47. Without options it starts as it
// always has.
struct ToolOptions : CommandLine::Parse
{
    QString port; // listed, selected and kept across Refresh
    QString recordFile; // made absolute: the window works in its own folder
    QString historyFile; // a recording to open in the History window, made absolute

    // Reads the arguments (program name first). Invalid leaves the reason in
    // *message, ShowHelp the help text.
    static Outcome parse(const QStringList &arguments, ToolOptions *options, QString *message);
};

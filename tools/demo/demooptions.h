#pragma once

#include "commandline.h"

// What the command line asks of tav47-demo. Everything but the port is for
// unattended runs: scripts open the port, start the scan, and read the
// summary line printed at exit.
struct DemoOptions : CommandLine::Parse
{
    QString port; // an outside device's port; empty: the in-process simulator
    bool open = false; // click Open once the window is up
    int startHz = 0; // click Start Scan at this rate ("<hz> Hz"); 0: do not start
    double quitAfterSeconds = -1.0; // < 0: run until the window is closed
    QString screenshotFile; // grab the window just before quitting
    double statsEverySeconds = 0.0; // > 0: print the summary line this often too
    QString recordFile; // record the frames to this CSV file from the start

    // Reads the arguments (program name first). Invalid leaves the reason in
    // *error; ShowHelp leaves the help text in *error.
    static Outcome parse(const QStringList &arguments, DemoOptions *options, QString *error);
};

#pragma once

#include "report.h"

#include <QString>

// Start-up to the first painted window and peak resident memory, for the panel and for a
// bare window with the same form but none of the panel's logic. Each run is a fresh
// process: this program started again with "--child panel" or "--child bare".
namespace StartupBench {

struct Options
{
    int runs = 7;
    QString program; // this executable
};

QList<Report::Row> run(const Options &options);

// The child's side: builds the window, runs until its first frame is painted, prints one
// "CHILD ..." line and returns the exit code. `mainEntryNs` is the monotonic time main()
// began at; `settingsFile` is the panel's settings (unused by the bare window).
int child(const QString &kind, const QString &settingsFile, qint64 mainEntryNs);

} // namespace StartupBench

#pragma once

#include "report.h"

#include <QStringList>

// The panel's CPU while it polls talmek-sim at its normal pace, against a floor: the least a
// program of the same design does for the same exchange (see FloorWindow). Both run as
// child processes of this one, at the same time, each on a fresh simulator, on the offscreen
// platform and on xcb under an X server; their CPU is read from /proc by this process. The
// floor against a second floor, measured alike, shows what the machine alone does to a ratio.
// The same children, run under callgrind, give the instructions per polling cycle, which do
// not swing from run to run as CPU time does.
namespace PollCpuBench {

struct Options
{
    bool cpu = true; // CPU time from /proc
    int instructionCycles = 0; // polling cycles counted under callgrind per child; 0: none
    QString valgrind = QStringLiteral("valgrind");
    QString callgrindDir; // where the callgrind files are kept; empty: a temporary folder
    int seconds = 20; // measured window per child
    int rounds = 1; // panel against floor, then floor against floor, per platform and link
    QString simulator; // talmek-sim
    QString program; // this executable, started as the children
    QStringList platforms{QStringLiteral("offscreen"), QStringLiteral("xcb")};
    QStringList links{QStringLiteral("serial"), QStringLiteral("lan")};
    // xcb on the X server DISPLAY names instead of a private Xvfb.
    bool useExistingDisplay = false;
};

QList<Report::Row> run(const Options &options);

} // namespace PollCpuBench

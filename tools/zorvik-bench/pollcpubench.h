#pragma once

#include "report.h"

#include <QStringList>

// The panel's CPU while it polls talmek-sim at its normal pace, against a floor: the least a
// program of the same design does for the same exchange (see FloorWindow). Both run as
// child processes of this one, alternating, each on a fresh simulator, on the offscreen
// platform and on xcb under an X server; their CPU is read from /proc by this process.
namespace PollCpuBench {

struct Options
{
    int seconds = 20; // measured window per child
    QString simulator; // talmek-sim
    QString program; // this executable, started as the children
    QStringList platforms{QStringLiteral("offscreen"), QStringLiteral("xcb")};
    // xcb on the X server DISPLAY names instead of a private Xvfb.
    bool useExistingDisplay = false;
};

QList<Report::Row> run(const Options &options);

} // namespace PollCpuBench

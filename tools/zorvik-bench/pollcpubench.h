#pragma once

#include "report.h"

// The panel's own CPU while it polls talmek-sim at its normal pace, on each link: the real
// window and polling thread in this process, the simulator in a child process.
namespace PollCpuBench {

struct Options
{
    int seconds = 30;
    QString simulator;
};

QList<Report::Row> run(const Options &options);

} // namespace PollCpuBench

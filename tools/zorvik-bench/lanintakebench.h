#pragma once

#include "report.h"

// How many valid status datagrams from the box's address the GUI thread absorbs per second
// over loopback, and how long its event loop goes unserved meanwhile.
namespace LanIntakeBench {

struct Options
{
    int seconds = 5;
    long long maxDatagrams = 1000000;
    // Datagrams sent but not yet read: the sender never runs further ahead, so the socket
    // buffer never overflows and nothing sent is lost.
    int window = 64;
};

QList<Report::Row> run(const Options &options);

} // namespace LanIntakeBench

#pragma once

#include <QString>

// The child processes of the cpu measurement: this program started again as
// "--child poll-panel serial|lan" or "--child poll-floor serial|lan". Each connects to the
// simulator the parent started, waits for the first reply, settles, prints "READY", and then
// polls until the parent writes "quit"; the parent reads its CPU from /proc meanwhile.
namespace PollChild {

struct Arguments
{
    QString kind; // "poll-panel" or "poll-floor"
    QString link; // "serial" or "lan"
    QString endpoint; // the pty's path, or the box's UDP port
    QString settingsFile; // the panel's settings (BenchSupport::writeSettings)
    int seconds = 0; // the parent's measured window; the child gives up well after it
};

bool isPollKind(const QString &kind);
int run(const Arguments &arguments);

} // namespace PollChild

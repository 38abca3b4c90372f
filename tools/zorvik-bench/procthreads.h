#pragma once

#include <QMap>
#include <QString>
#include <QtGlobal>

// What each thread of a process has used so far, as the kernel's scheduler counts it, read
// from /proc/<pid>/task/<tid>/. Read from outside, so the measured process does no work
// for it.
namespace ProcThreads {

struct Use
{
    QString name; // comm: the name the thread gave itself (Qt names a QThread after its class)
    qint64 cpuNs = 0; // time on a CPU: the first field of schedstat
    qint64 wakeups = 0; // voluntary context switches: how often it went to sleep and woke again
};

// Every thread of `pid` by thread id; empty when the process is gone.
QMap<qint64, Use> snapshot(qint64 pid);

} // namespace ProcThreads

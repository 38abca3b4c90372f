#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

class QWidget;

// Small pieces every measurement shares: clocks, CPU time, the settings file of a bench
// window, and bounded waits that keep the event loop running.
namespace BenchSupport {

// CLOCK_MONOTONIC in nanoseconds: one clock for this process and its children.
qint64 monotonicNs();
// CPU time (user + system) of the whole process, all threads, in nanoseconds.
qint64 processCpuNs();
// CPU time of the calling thread, in nanoseconds.
qint64 threadCpuNs();

// "VmHWM" or "VmRSS" of /proc/self/status, in KiB (-1 if unreadable).
qint64 statusKiB(const char *key);

// The box's address the bench windows are configured with. A literal: the window's
// start-up look-up then never asks a name server.
inline QString boxAddress() { return QStringLiteral("127.0.0.2"); }

// Writes an INI settings file for a bench window: LAN or serial mode, the box at
// boxAddress() on `port`, antenna names and an ID like an operator's.
bool writeSettings(const QString &path, bool serialMode, const QString &port);

// Runs the event loop until `done` holds or `timeoutMs` passes; true if it held.
bool waitUntil(const std::function<bool()> &done, int timeoutMs);
// Runs the event loop for `ms`.
void runEventLoop(int ms);
// Shows nothing itself: waits until the window has been exposed and painted once.
bool waitForFirstFrame(QWidget *window, int timeoutMs);

} // namespace BenchSupport

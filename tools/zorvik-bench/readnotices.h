#pragma once

// The LAN worker writes one debug line per datagram it reads. The benchmark counts those
// lines to know how many datagrams the GUI thread has absorbed, and either swallows them
// or passes them on to Qt's default handler (whose cost is then part of the figure).
//
// Thread contract: the handler runs on whichever thread logs (the GUI thread for these
// lines); count() may be read from any thread.
namespace ReadNotices {

enum class Mode {
    Discard, // counted, never written
    Forward, // counted, then written by the handler that was installed before
};

// Installs the counting handler; once per process. It also drops two notices of the
// headless platform (no window manager, no runtime directory) that say nothing about the panel.
void install();
void setMode(Mode mode);
long long count();

} // namespace ReadNotices

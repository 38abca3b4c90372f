#pragma once

// The LAN worker writes one debug line per datagram it reads. The benchmark either swallows
// those lines or passes them on to Qt's default handler (whose cost is then part of the
// figure). It learns how many datagrams were read from the worker itself, not from them.
//
// Thread contract: the handler runs on whichever thread logs (the GUI thread for these
// lines); setMode() may be called from any thread.
namespace ReadNotices {

enum class Mode {
    Discard, // never written
    Forward, // written by the handler that was installed before
};

// Installs the counting handler; once per process. It also drops two notices of the
// headless platform (no window manager, no runtime directory) that say nothing about the panel.
void install();
void setMode(Mode mode);

} // namespace ReadNotices

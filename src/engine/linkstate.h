#pragma once

#include <QtGlobal>

#include <atomic>

// How the box is reached. Stored as 1 or 2 under "serialMode".
enum class LinkMode : quint8 { Lan = 1, Serial = 2 };

// The link flags the GUI thread writes and the polling thread reads once per tick.
// Thread contract: only the GUI thread stores; any thread may load.
struct LinkFlags
{
    std::atomic<LinkMode> mode{LinkMode::Lan};
    // Raised by "Connect to Talmek" in LAN mode, cleared by "Disconnect".
    std::atomic<bool> lanLinkEnabled{false};
    // Mirrors the serial port's open state, so the polling thread never touches the port.
    std::atomic<bool> serialOpen{false};
};

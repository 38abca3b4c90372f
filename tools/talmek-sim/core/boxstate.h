#pragma once

#include <QtGlobal>

#include <array>
#include <cstddef>

namespace TalmekSim {

constexpr int ChannelCount = 2;
constexpr int AntennaCount = 6;
// Position code for "no antenna"; RELEASE sends it.
constexpr int NoAntenna = 15;

constexpr bool isChannel(int channel) { return channel == 1 || channel == 2; }

// Positions the box can be switched to: an antenna 0..5, or 15 for none.
constexpr bool isSwitchPosition(int position)
{
    return (position >= 0 && position < AntennaCount) || position == NoAntenna;
}

struct ChannelState
{
    quint8 antenna = NoAntenna; // the receive antenna while a split is active
    quint8 splitActive = 0;
    quint8 splitTxAntenna = NoAntenna;
    quint8 transmitting = 0;

    friend bool operator==(const ChannelState &a, const ChannelState &b)
    {
        return a.antenna == b.antenna && a.splitActive == b.splitActive && a.splitTxAntenna == b.splitTxAntenna
            && a.transmitting == b.transmitting;
    }
    friend bool operator!=(const ChannelState &a, const ChannelState &b) { return !(a == b); }
};

// The box's whole switching state; channels are numbered 1 and 2 as on the wire.
struct BoxState
{
    std::array<ChannelState, ChannelCount> channels{};

    ChannelState &channel(int c) { return channels[static_cast<std::size_t>(c - 1)]; }
    const ChannelState &channel(int c) const { return channels[static_cast<std::size_t>(c - 1)]; }

    friend bool operator==(const BoxState &a, const BoxState &b) { return a.channels == b.channels; }
    friend bool operator!=(const BoxState &a, const BoxState &b) { return !(a == b); }
};

// One command as the box understands it, whichever link it came over.
struct BoxCommand
{
    enum class Kind { FirmwareRequest, StateRequest, Select, SplitOn, SplitOff };

    Kind kind = Kind::StateRequest;
    int channel = 0;
    int position = NoAntenna; // Select
    int tx = NoAntenna; // SplitOn
    int rx = NoAntenna; // SplitOn
};

} // namespace TalmekSim

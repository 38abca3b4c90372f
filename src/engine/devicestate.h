#pragma once

#include <QtGlobal>

#include <array>

// Antenna position code: 0..5 stand for "Ant 1".."Ant 6"; every value above 5
// (the box and the RELEASE buttons use 15) means no antenna.
namespace AntennaPosition {
constexpr quint8 None = 15;
constexpr quint8 Last = 5;
constexpr bool isAntenna(int position) { return position >= 0 && position <= Last; }
} // namespace AntennaPosition

// The panel's copy of the box's switching state, plus the split-configuration
// state kept beside it. Channels are indexed 1 and 2; index 0 is unused so that
// the code reads like the box's own numbering. Lives on the GUI thread only.
struct DeviceState
{
    std::array<quint8, 3> antenna{};
    std::array<quint8, 3> splitActive{};
    std::array<quint8, 3> splitTxAntenna{};
    std::array<quint8, 3> transmitting{};
    quint8 ignoreNextStatus = 0;

    // Split configuration: 1 while the operator is choosing a TX position.
    quint8 splitSetupActive = 0;
    quint8 splitSetupChannel = 1;
    // The receive antenna of the split being chosen when it is not the one the channel
    // holds (a receive-only antenna pressed); AntennaPosition::None otherwise.
    quint8 splitSetupRx = AntennaPosition::None;
    // The receive antenna of the last split switched on from the panel, per channel, while
    // the box may not have reported it yet.
    std::array<quint8, 3> splitRxSent{AntennaPosition::None, AntennaPosition::None, AntennaPosition::None};
    // Blink toggle of the SPLIT button being configured; written only by the blink step.
    quint8 blinkPhase = 0;

    friend bool operator==(const DeviceState &a, const DeviceState &b)
    {
        return a.antenna == b.antenna && a.splitActive == b.splitActive && a.splitTxAntenna == b.splitTxAntenna
            && a.transmitting == b.transmitting && a.ignoreNextStatus == b.ignoreNextStatus
            && a.splitSetupActive == b.splitSetupActive && a.splitSetupChannel == b.splitSetupChannel
            && a.splitSetupRx == b.splitSetupRx && a.splitRxSent == b.splitRxSent && a.blinkPhase == b.blinkPhase;
    }
    friend bool operator!=(const DeviceState &a, const DeviceState &b) { return !(a == b); }
};

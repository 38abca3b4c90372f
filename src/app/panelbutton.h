#pragma once

#include <QtGlobal>

#include <array>

// One button of the panel, named by what it does rather than by its widget, so that the
// keyboard table and the spoken texts need no window.
struct PanelButton
{
    enum class Kind : quint8 { Antenna, Release, Split, Send, Power };

    Kind kind = Kind::Power;
    int channel = 0; // 1 or 2; 0 for POWER
    int antenna = 0; // 0..5 on an antenna button

    static constexpr PanelButton antennaOf(int channel, int antenna) { return {Kind::Antenna, channel, antenna}; }
    static constexpr PanelButton releaseOf(int channel) { return {Kind::Release, channel, 0}; }
    static constexpr PanelButton splitOf(int channel) { return {Kind::Split, channel, 0}; }
    static constexpr PanelButton sendOf(int channel) { return {Kind::Send, channel, 0}; }
    static constexpr PanelButton power() { return {Kind::Power, 0, 0}; }

    friend constexpr bool operator==(const PanelButton &a, const PanelButton &b)
    {
        return a.kind == b.kind && a.channel == b.channel && a.antenna == b.antenna;
    }
};

namespace PanelButtons {

constexpr int Count = 19;

// Every button in the order the panel reads, top to bottom and left to right: channel 1's
// row (SPLIT, SEND, Ant 1 to Ant 6, RELEASE), POWER below it, then channel 2's row.
const std::array<PanelButton, Count> &readingOrder();

} // namespace PanelButtons

#pragma once

#include "engine/devicestate.h"
#include "panelbutton.h"

#include <QString>

#include <array>

// What the panel's colours say, in words: the accessible name, description and tooltip of
// every panel button. Computed from the device state like the looks, so that a screen
// reader hears what a sighted operator sees, and the window tells the accessibility
// framework only when these words change.
namespace PanelSpeech {

// What one antenna button shows, as flags: held (white) without a split, the radio
// transmitting on it, and the receive and transmit antennas of a split.
enum AntennaUse : quint8 { InUse = 1, Transmitting = 2, SplitReceive = 4, SplitTransmit = 8 };

enum class Split : quint8 { Off, On, Choosing };

// Everything the panel says at one moment.
struct Said
{
    std::array<std::array<quint8, 6>, 3> antenna{}; // [channel][antenna], AntennaUse flags
    std::array<Split, 3> split{};
    std::array<bool, 3> sending{};
    bool answering = false;

    friend bool operator==(const Said &a, const Said &b)
    {
        return a.antenna == b.antenna && a.split == b.split && a.sending == b.sending && a.answering == b.answering;
    }
    friend bool operator!=(const Said &a, const Said &b) { return !(a == b); }
};

// The panel drawn for the state; `answering` is the POWER lamp.
Said forState(const DeviceState &state, bool answering);
// The cleared panel (no reply from the box): nothing in use, nobody transmitting, no split
// except the one being chosen.
Said cleared(const DeviceState &state, bool answering);

struct Texts
{
    QString name; // who: "Channel 1, Ant 3: Beam"
    QString description; // what the colour says: "in use"
    QString toolTip; // rich text: the full name as typed, the state in words, the key
};

// The texts of one button; `antennaName` is the antenna's name as typed, and whether it is
// receive-only (antenna buttons only).
Texts texts(const PanelButton &button, const Said &said, const QString &antennaName = QString(),
            bool receiveOnly = false);

} // namespace PanelSpeech

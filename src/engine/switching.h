#pragma once

#include "devicestate.h"
#include "linkstate.h"

#include <QByteArray>

#include <array>

// What the operator's presses on the panel turn into. The functions here change only
// DeviceState (the local feedback and the split-configuration state) and describe
// everything else the window has to do: the command to send, the message, the blink.
namespace Switching {

struct Command
{
    enum class Kind : quint8 { Select, SplitOn, SplitOff };
    Kind kind = Kind::Select;
    quint8 channel = 1;
    quint8 position = 0; // the selected position, or the split's TX position
    quint8 rx = 0; // the split's RX position

    // Serial: the command-queue element (argument * 256 + code).
    qint16 queueElement() const;
    // LAN: the command code and its three argument bytes (unused ones 0)...
    struct LanCommand
    {
        quint8 code;
        quint8 arg1;
        quint8 arg2;
        quint8 arg3;
    };
    LanCommand lanCommand() const;
    // ...and the frame they make (0xFE, code, arguments, 0xFD).
    QByteArray lanFrame() const;
};

enum class Message {
    None,
    ChooseTxPosition,
    SplitConfigured,
    SplitCancelled,
    Split1Disabled,
    Split2Disabled,
    // A split press whose command the link would drop: nothing was sent, nothing changed.
    LanNotConnected,
    // Outcome::refused is receive-only: pressed on its own it starts a split with it as the
    // receive antenna...
    ReceiveOnlySplitOffered,
    // ...it cannot be the split's transmit antenna: choose another...
    ReceiveOnlyNotForTx,
    // ...and a split that receives on it stays on, or the channel would transmit on it.
    ReceiveOnlySplitStaysOn,
};
enum class Blink { Keep, Start, Stop };

struct Outcome
{
    bool send = false;
    Command command;
    bool repaint = false;
    Message message = Message::None;
    Blink blink = Blink::Keep;
    // SPLIT button looks that change at once, before the next repaint.
    bool highlightSplit1 = false;
    bool neutralSplit2 = false;
    // The receive-only antenna (position) the message speaks of.
    quint8 refused = AntennaPosition::None;
};

// The antennas (positions 0..5) that are receive-only: no command may leave a channel
// able to transmit on one, by the box's rules (a selection with a split on moves the
// split's transmit antenna; switching a split off transmits on its receive antenna).
using ReceiveOnly = std::array<bool, 6>;

// Whether a command sent now leaves: on the serial link it waits in the queue for the
// port; on the LAN it is dropped while the link is not enabled. A split press whose
// command would be dropped reports so instead of a success, and leaves the split flow
// where it was; antenna and RELEASE presses are dropped without a word.
enum class Delivery { Sent, Dropped };

// An antenna button (position 0..5) or RELEASE (position 15) of a channel (1 or 2).
Outcome pressPosition(DeviceState &state, LinkMode mode, quint8 position, quint8 channel,
                      Delivery delivery = Delivery::Sent, const ReceiveOnly &receiveOnly = {});
// The SPLIT button of a channel (1 or 2).
Outcome pressSplit(DeviceState &state, quint8 channel, Delivery delivery = Delivery::Sent,
                   const ReceiveOnly &receiveOnly = {});
// Escape: ends a split's choice, whichever channel it is on, and sends nothing.
Outcome cancelSplitChoice(DeviceState &state);
// A channel the box reports transmitting on a receive-only antenna (the split's transmit
// antenna while a split is on), and that antenna; channel 0 when none does.
struct Alarm
{
    int channel = 0;
    quint8 antenna = AntennaPosition::None;
    friend bool operator==(const Alarm &a, const Alarm &b) { return a.channel == b.channel && a.antenna == b.antenna; }
    friend bool operator!=(const Alarm &a, const Alarm &b) { return !(a == b); }
};
// The first such channel, 1 before 2.
Alarm transmittingOnReceiveOnly(const DeviceState &state, const ReceiveOnly &receiveOnly);
// Whether a position is receive-only.
inline bool isReceiveOnly(const ReceiveOnly &receiveOnly, int position)
{
    return AntennaPosition::isAntenna(position) && receiveOnly[size_t(position)];
}

} // namespace Switching

#include "switching.h"

#include "protocol.h"

namespace Switching {

qint16 Command::queueElement() const
{
    const quint8 selectCode = channel == 1 ? Protocol::SelectChannel1 : Protocol::SelectChannel2;
    const quint8 splitCode = channel == 1 ? Protocol::SplitChannel1 : Protocol::SplitChannel2;
    switch (kind) {
    case Kind::Select:
        return Protocol::queueElement(selectCode, position);
    case Kind::SplitOn:
        return Protocol::queueElement(splitCode, Protocol::splitArgument(position, rx));
    case Kind::SplitOff:
        break;
    }
    return Protocol::queueElement(splitCode, 0);
}

Command::LanCommand Command::lanCommand() const
{
    const quint8 selectCode = channel == 1 ? Protocol::LanSelectChannel1 : Protocol::LanSelectChannel2;
    const quint8 splitCode = channel == 1 ? Protocol::LanSplitChannel1 : Protocol::LanSplitChannel2;
    switch (kind) {
    case Kind::Select:
        return {selectCode, position, 0, 0};
    case Kind::SplitOn:
        return {splitCode, 1, position, rx};
    case Kind::SplitOff:
        break;
    }
    return {splitCode, 0, 0, 0};
}

QByteArray Command::lanFrame() const
{
    const LanCommand lan = lanCommand();
    return Protocol::lanFrame(lan.code, lan.arg1, lan.arg2, lan.arg3);
}

namespace {
bool reportsSplitSuccess(Message message)
{
    return message == Message::SplitConfigured || message == Message::Split1Disabled
        || message == Message::Split2Disabled;
}

// A split command that would not leave must not be reported as done: the state goes back
// to what it was before the press (but for the discarded-status mark, which every press
// sets) and the operator is told.
Outcome unlessDropped(Outcome out, DeviceState &state, const DeviceState &before, Delivery delivery)
{
    if (delivery == Delivery::Sent || !out.send || !reportsSplitSuccess(out.message))
        return out;
    const quint8 ignoreNextStatus = state.ignoreNextStatus;
    state = before;
    state.ignoreNextStatus = ignoreNextStatus;
    Outcome dropped;
    dropped.message = Message::LanNotConnected;
    return dropped;
}

Command select(quint8 channel, quint8 position) { return {Command::Kind::Select, channel, position, 0}; }
Command splitOff(quint8 channel) { return {Command::Kind::SplitOff, channel, 0, 0}; }

// The split's receive antenna as the box reported it, or as the panel last sent it: a
// split switched on a moment ago may not show in the state yet (the serial link even
// discards the next status after a command).
bool receivesOnReceiveOnly(const DeviceState &state, quint8 channel, const ReceiveOnly &receiveOnly)
{
    return isReceiveOnly(receiveOnly, state.antenna[channel]) || isReceiveOnly(receiveOnly, state.splitRxSent[channel]);
}
quint8 receivingAntenna(const DeviceState &state, quint8 channel, const ReceiveOnly &receiveOnly)
{
    return isReceiveOnly(receiveOnly, state.antenna[channel]) ? state.antenna[channel] : state.splitRxSent[channel];
}
// Once the box reports no split on the channel, the one sent is over.
void forgetSentSplit(DeviceState &state, quint8 channel)
{
    if (state.splitActive[channel] == 0)
        state.splitRxSent[channel] = AntennaPosition::None;
}

Outcome refusal(Message message, quint8 position)
{
    Outcome out;
    out.message = message;
    out.refused = position;
    return out;
}

// A receive-only antenna pressed on its own: the split choice starts with it as RX.
Outcome offerSplit(DeviceState &state, quint8 position, quint8 channel)
{
    Outcome out = refusal(Message::ReceiveOnlySplitOffered, position);
    out.blink = Blink::Start;
    out.highlightSplit1 = channel == 1;
    state.splitSetupActive = 1;
    state.splitSetupChannel = channel;
    state.splitSetupRx = position;
    return out;
}

Outcome decidePosition(DeviceState &state, LinkMode mode, quint8 position, quint8 channel,
                       const ReceiveOnly &receiveOnly)
{
    Outcome out;
    // Whatever follows, the next serial status may still predate this press.
    state.ignoreNextStatus = 1;

    const quint8 antenna = state.antenna[channel];
    const quint8 splitActive = state.splitActive[channel];
    forgetSentSplit(state, channel);

    if (state.splitSetupActive == 0) {
        if (splitActive == 1 && position == antenna && receivesOnReceiveOnly(state, channel, receiveOnly))
            return refusal(Message::ReceiveOnlySplitStaysOn, receivingAntenna(state, channel, receiveOnly));
        if (isReceiveOnly(receiveOnly, position) && !(splitActive == 1 && position == antenna))
            return offerSplit(state, position, channel);
        if (splitActive == 1 && position == antenna) {
            // Pressing the split's receive antenna switches the split off; the box's
            // next status shows the result.
            out.send = true;
            out.command = splitOff(channel);
            state.splitRxSent[channel] = AntennaPosition::None;
            return out;
        }
        out.send = true;
        out.command = select(channel, position);
        if (mode == LinkMode::Serial) {
            if (splitActive == 0)
                state.antenna[channel] = position;
            else
                state.splitTxAntenna[channel] = position;
        }
        out.repaint = true;
        return out;
    }

    if (state.splitSetupActive != 1 || channel != state.splitSetupChannel)
        return out;

    // Choosing the TX position: RX is the receive-only antenna that started the choice, or
    // the antenna the channel holds now. A receive-only TX leaves the choice open. A split
    // needs two real antennas; with RELEASE as TX or no antenna held there is nothing to
    // split (on the serial line it would even go out as "split off").
    if (isReceiveOnly(receiveOnly, position))
        return refusal(Message::ReceiveOnlyNotForTx, position);
    const quint8 rx = state.splitSetupRx != AntennaPosition::None ? state.splitSetupRx : antenna;
    state.splitSetupActive = 0;
    state.splitSetupRx = AntennaPosition::None;
    out.blink = Blink::Stop;
    if (!AntennaPosition::isAntenna(position) || !AntennaPosition::isAntenna(rx)) {
        out.message = Message::SplitCancelled;
        return out;
    }
    if (mode == LinkMode::Serial)
        state.splitActive[channel] = 1;
    state.splitRxSent[channel] = rx;
    out.send = true;
    out.command = {Command::Kind::SplitOn, channel, position, rx};
    out.message = Message::SplitConfigured;
    return out;
}

Outcome cancelChoice(DeviceState &state)
{
    Outcome out;
    state.splitSetupActive = 0;
    state.splitSetupRx = AntennaPosition::None;
    // The blink step does nothing once configuration has ended; stopping the timer just
    // saves its idle ticks.
    out.blink = Blink::Stop;
    out.message = Message::SplitCancelled;
    return out;
}

Outcome decideSplit(DeviceState &state, quint8 channel, const ReceiveOnly &receiveOnly)
{
    // A split offered for a receive-only antenna is cancelled by SPLIT, also on a channel
    // whose split is on: nothing is sent.
    if (state.splitSetupActive == 1 && state.splitSetupChannel == channel
        && state.splitSetupRx != AntennaPosition::None)
        return cancelChoice(state);
    Outcome out;
    // Switched off, a split transmits on its receive antenna (only a real split: the box
    // counts the flag 1 alone).
    forgetSentSplit(state, channel);
    if (state.splitActive[channel] == 1 && receivesOnReceiveOnly(state, channel, receiveOnly))
        return refusal(Message::ReceiveOnlySplitStaysOn, receivingAntenna(state, channel, receiveOnly));
    if (state.splitActive[channel] != 0) {
        out.neutralSplit2 = channel == 2;
        out.blink = Blink::Stop;
        // Also ends, silently, a configuration running on the other channel.
        state.splitSetupActive = 0;
        state.splitSetupRx = AntennaPosition::None;
        state.splitActive[channel] = 0;
        out.send = true;
        out.command = splitOff(channel);
        state.splitRxSent[channel] = AntennaPosition::None;
        out.message = channel == 1 ? Message::Split1Disabled : Message::Split2Disabled;
        return out;
    }
    if (state.splitSetupActive == 0) {
        out.blink = Blink::Start;
        state.splitSetupActive = 1;
        state.splitSetupChannel = channel;
        out.message = Message::ChooseTxPosition;
        out.highlightSplit1 = channel == 1;
        return out;
    }
    if (state.splitSetupActive == 1 && state.splitSetupChannel == channel)
        return cancelChoice(state);
    return out;
}

} // namespace

Outcome pressPosition(DeviceState &state, LinkMode mode, quint8 position, quint8 channel, Delivery delivery,
                      const ReceiveOnly &receiveOnly)
{
    const DeviceState before = state;
    return unlessDropped(decidePosition(state, mode, position, channel, receiveOnly), state, before, delivery);
}

Outcome cancelSplitChoice(DeviceState &state) { return state.splitSetupActive == 1 ? cancelChoice(state) : Outcome(); }

Alarm transmittingOnReceiveOnly(const DeviceState &state, const ReceiveOnly &receiveOnly)
{
    for (int c = 1; c <= 2; ++c) {
        const quint8 tx = state.splitActive[c] == 1 ? state.splitTxAntenna[c] : state.antenna[c];
        if (state.transmitting[c] != 0 && isReceiveOnly(receiveOnly, tx))
            return {c, tx};
    }
    return {};
}

Outcome pressSplit(DeviceState &state, quint8 channel, Delivery delivery, const ReceiveOnly &receiveOnly)
{
    const DeviceState before = state;
    return unlessDropped(decideSplit(state, channel, receiveOnly), state, before, delivery);
}

} // namespace Switching

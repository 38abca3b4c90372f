#pragma once

// Checks shared by the simulator's fuzz targets: the box state stays one the box can be
// in, and what the box says reads back in the panel as that state.
#include "fuzzcheck.h"

#include "engine/devicestate.h"
#include "engine/protocol.h"

#include "switchbox.h"

#include <QByteArray>
#include <QString>

namespace SimChecks {

inline void checkStateIsPossible(const TalmekSim::BoxState &state)
{
    for (int c = 1; c <= TalmekSim::ChannelCount; ++c) {
        const TalmekSim::ChannelState &ch = state.channel(c);
        FUZZ_CHECK(TalmekSim::isSwitchPosition(ch.antenna));
        FUZZ_CHECK(TalmekSim::isSwitchPosition(ch.splitTxAntenna));
        FUZZ_CHECK(ch.splitActive == 0 || ch.splitActive == 1);
        FUZZ_CHECK(ch.transmitting == 0 || ch.transmitting == 1);
    }
}

// With the exclusive rule on from the start, no antenna is ever in use on both channels.
inline bool inUse(const TalmekSim::ChannelState &ch, int position)
{
    return position != TalmekSim::NoAntenna
        && (ch.antenna == position || (ch.splitActive == 1 && ch.splitTxAntenna == position));
}

inline void checkExclusive(const TalmekSim::BoxState &state)
{
    for (int position = 0; position < TalmekSim::AntennaCount; ++position)
        FUZZ_CHECK(!(inUse(state.channel(1), position) && inUse(state.channel(2), position)));
}

inline void checkPanelReadsSameState(const DeviceState &panel, const TalmekSim::BoxState &box)
{
    for (int c = 1; c <= TalmekSim::ChannelCount; ++c) {
        const TalmekSim::ChannelState &ch = box.channel(c);
        FUZZ_CHECK(panel.antenna[c] == ch.antenna);
        FUZZ_CHECK(panel.splitActive[c] == ch.splitActive);
        FUZZ_CHECK(panel.splitTxAntenna[c] == ch.splitTxAntenna);
        FUZZ_CHECK(panel.transmitting[c] == ch.transmitting);
    }
}

inline Protocol::RxBuffer rxBufferWith(const QByteArray &reply)
{
    Protocol::RxBuffer rx{};
    for (int i = 0; i < reply.size() && i < Protocol::RxBufferSize; ++i)
        rx[static_cast<size_t>(i)] = static_cast<quint8>(reply.at(i));
    return rx;
}

// A serial status reply: 14 bytes, "IG", kind, eight state bytes, two zero bytes, ';'.
inline void checkSerialStatusReply(const QByteArray &reply, const TalmekSim::BoxState &box)
{
    FUZZ_CHECK(reply.size() == TalmekSim::SwitchBox::SerialReplyLength);
    FUZZ_CHECK(reply.at(0) == 'I' && reply.at(1) == 'G');
    const bool sending = box.channel(1).transmitting == 1 || box.channel(2).transmitting == 1;
    FUZZ_CHECK(reply.at(2) == (sending ? 'T' : '\x05'));
    FUZZ_CHECK(reply.at(11) == 0 && reply.at(12) == 0);
    FUZZ_CHECK(reply.at(13) == ';');

    const Protocol::RxBuffer rx = rxBufferWith(reply);
    FUZZ_CHECK(Protocol::classifyReply(rx) == Protocol::ReplyKind::Status);
    DeviceState panel;
    Protocol::applyStatusReply(panel, rx);
    checkPanelReadsSameState(panel, box);
}

inline void checkSerialFirmwareReply(const QByteArray &reply, int major, int minor)
{
    FUZZ_CHECK(reply.size() == TalmekSim::SwitchBox::SerialReplyLength);
    FUZZ_CHECK(reply.at(0) == 'I' && reply.at(1) == 'G' && reply.at(2) == 'W');
    FUZZ_CHECK(reply.at(13) == ';');
    const Protocol::RxBuffer rx = rxBufferWith(reply);
    FUZZ_CHECK(Protocol::classifyReply(rx) == Protocol::ReplyKind::Firmware);
    const Protocol::FirmwareRevision revision = Protocol::firmwareRevision(rx);
    FUZZ_CHECK(revision.major == major && revision.minor == minor);
}

inline void checkLanStatusText(const QByteArray &reply, const TalmekSim::BoxState &box)
{
    FUZZ_CHECK(!reply.isEmpty());
    FUZZ_CHECK(!reply.contains('\0'));
    DeviceState panel;
    FUZZ_CHECK(Protocol::parseLanStatusText(QString::fromLatin1(reply), panel));
    checkPanelReadsSameState(panel, box);
}

} // namespace SimChecks

#pragma once

#include "boxstate.h"

#include <QByteArray>
#include <QString>

namespace TalmekSim {

enum class Outcome {
    Applied,
    Refused, // well-formed, but the exclusive rule turned it down
    Invalid, // a channel or position the box does not have
};

// The switching logic of the box, without any I/O. Both links share one instance.
class SwitchBox
{
public:
    static constexpr int SerialReplyLength = 14;
    static constexpr char StatusKindIdle = 0x05;
    static constexpr char StatusKindTransmitting = 'T';

    const BoxState &state() const { return m_state; }

    // Exclusive: never give a channel an antenna the other channel holds.
    void setExclusive(bool on) { m_exclusive = on; }
    bool isExclusive() const { return m_exclusive; }

    void setFirmware(quint8 major, quint8 minor);

    Outcome apply(const BoxCommand &command);
    Outcome selectAntenna(int channel, int position);
    Outcome splitOn(int channel, int tx, int rx);
    Outcome splitOff(int channel);
    Outcome setTransmitting(int channel, bool on);

    // Serial replies, 14 bytes each, data bytes as binary values.
    QByteArray statusReply() const;
    QByteArray firmwareReply() const;
    // LAN reply: dot-separated fields, hexadecimal positions, "FF" as validity mark.
    QByteArray lanStatusText() const;
    // One human-readable line for the console.
    QString stateLine() const;

private:
    bool heldByOtherChannel(int channel, int position) const;

    BoxState m_state;
    bool m_exclusive = false;
    quint8 m_firmwareMajor = 1;
    quint8 m_firmwareMinor = 7;
};

} // namespace TalmekSim

#pragma once

#include "switchbox.h"

#include <QByteArray>

#include <optional>

namespace TalmekSim {

// Decodes one datagram: 0xFE, command code, argument bytes, 0xFD, with exactly the
// argument count of its code. Anything else gives no command.
std::optional<BoxCommand> decodeLanDatagram(const QByteArray &datagram);

// The box's end of the LAN link. Every datagram stands alone, so there is no stream state;
// only the state request is answered.
class LanSession
{
public:
    explicit LanSession(SwitchBox &box)
        : m_box(box)
    {}

    struct Result
    {
        bool wellFormed = false;
        BoxCommand command;
        Outcome outcome = Outcome::Invalid;
        QByteArray reply; // LAN status text, or empty
    };

    Result receive(const QByteArray &datagram);

    qint64 malformedCount() const { return m_malformed; }

private:
    SwitchBox &m_box;
    qint64 m_malformed = 0;
};

} // namespace TalmekSim

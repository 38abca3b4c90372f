#pragma once

#include "serialcommandparser.h"
#include "switchbox.h"

#include <QByteArray>
#include <QVector>

namespace TalmekSim {

// The box's end of one serial line: parses what arrives, applies it to the shared box
// and says what to answer. Answers go out by the caller, which may delay or drop them.
class SerialSession
{
public:
    explicit SerialSession(SwitchBox &box)
        : m_box(box)
    {}

    struct Event
    {
        SerialCommandParser::Item::Type type = SerialCommandParser::Item::Type::Skipped;
        QByteArray received;
        BoxCommand command;
        Outcome outcome = Outcome::Applied;
        QByteArray reply; // empty when the command asks for none
    };

    QVector<Event> receive(const QByteArray &bytes);

    const SerialCommandParser &parser() const { return m_parser; }

private:
    SwitchBox &m_box;
    SerialCommandParser m_parser;
};

} // namespace TalmekSim

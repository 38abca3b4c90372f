#include "serialsession.h"

namespace TalmekSim {

QVector<SerialSession::Event> SerialSession::receive(const QByteArray &bytes)
{
    QVector<Event> events;
    const auto items = m_parser.feed(bytes);
    events.reserve(items.size());
    for (const auto &item : items) {
        Event event;
        event.type = item.type;
        event.received = item.bytes;
        if (item.type == SerialCommandParser::Item::Type::Command) {
            event.command = item.command;
            event.outcome = m_box.apply(item.command);
            if (item.command.kind == BoxCommand::Kind::StateRequest)
                event.reply = m_box.statusReply();
            else if (item.command.kind == BoxCommand::Kind::FirmwareRequest)
                event.reply = m_box.firmwareReply();
        }
        events.append(event);
    }
    return events;
}

} // namespace TalmekSim

#include "lansession.h"

namespace TalmekSim {

namespace {
constexpr quint8 FrameStart = 0xFE;
constexpr quint8 FrameEnd = 0xFD;
} // namespace

std::optional<BoxCommand> decodeLanDatagram(const QByteArray &datagram)
{
    const int size = datagram.size();
    if (size < 3)
        return std::nullopt;
    const auto byte = [&datagram](int i) { return static_cast<quint8>(datagram.at(i)); };
    if (byte(0) != FrameStart || byte(size - 1) != FrameEnd)
        return std::nullopt;

    BoxCommand command;
    switch (byte(1)) {
    case 1:
        if (size != 3)
            return std::nullopt;
        command.kind = BoxCommand::Kind::StateRequest;
        return command;
    case 2:
    case 3:
        if (size != 4)
            return std::nullopt;
        command.kind = BoxCommand::Kind::Select;
        command.channel = byte(1) - 1;
        command.position = byte(2);
        return command;
    case 4:
    case 5:
        if (size != 6)
            return std::nullopt;
        command.channel = byte(1) - 3;
        if (byte(2) == 0) {
            command.kind = BoxCommand::Kind::SplitOff;
        } else if (byte(2) == 1) {
            command.kind = BoxCommand::Kind::SplitOn;
            command.tx = byte(3);
            command.rx = byte(4);
        } else {
            return std::nullopt;
        }
        return command;
    default:
        return std::nullopt;
    }
}

LanSession::Result LanSession::receive(const QByteArray &datagram)
{
    Result result;
    const auto command = decodeLanDatagram(datagram);
    if (!command) {
        ++m_malformed;
        return result;
    }
    result.wellFormed = true;
    result.command = *command;
    result.outcome = m_box.apply(*command);
    if (command->kind == BoxCommand::Kind::StateRequest)
        result.reply = m_box.lanStatusText();
    return result;
}

} // namespace TalmekSim

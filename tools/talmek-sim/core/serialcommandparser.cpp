#include "serialcommandparser.h"

namespace TalmekSim {

namespace {

constexpr char FirmwareCode = 'W';
constexpr char StateRequestCode = 0x05;

int commandLength(char code)
{
    switch (code) {
    case FirmwareCode:
        return 4;
    case StateRequestCode:
    case 0x01:
    case 0x02:
        return 5;
    case 0x03:
    case 0x04:
        return 7;
    default:
        return 0;
    }
}

bool inRange(char byte, int low, int high)
{
    const int value = static_cast<unsigned char>(byte);
    return value >= low && value <= high;
}

// Whether byte `index` (3 or more) may stand there in a command with this code.
bool fits(char code, int index, char byte)
{
    if (index == commandLength(code) - 1)
        return byte == ';';
    switch (code) {
    case StateRequestCode:
        return byte == '3';
    case 0x01:
    case 0x02:
        return inRange(byte, '0', '0' + 15); // position 0..15
    case 0x03:
    case 0x04:
        if (index == 5)
            return byte == '0' || byte == '1';
        return inRange(byte, '0' - 1, '0' + 14); // position + 1, nibble 0..15
    default:
        return false;
    }
}

} // namespace

SerialCommandParser::Match SerialCommandParser::match(const char *data, int size, int *length)
{
    if (size < 2)
        return Match::Partial;
    if (data[1] != 'G')
        return Match::Mismatch;
    if (size < 3)
        return Match::Partial;
    const char code = data[2];
    const int needed = commandLength(code);
    if (needed == 0)
        return Match::Mismatch;
    for (int i = 3; i < needed && i < size; ++i) {
        if (!fits(code, i, data[i]))
            return Match::Mismatch;
    }
    if (size < needed)
        return Match::Partial;
    *length = needed;
    return Match::Complete;
}

BoxCommand SerialCommandParser::decode(const char *frame)
{
    BoxCommand command;
    const char code = frame[2];
    switch (code) {
    case FirmwareCode:
        command.kind = BoxCommand::Kind::FirmwareRequest;
        break;
    case StateRequestCode:
        command.kind = BoxCommand::Kind::StateRequest;
        break;
    case 0x01:
    case 0x02:
        command.kind = BoxCommand::Kind::Select;
        command.channel = code;
        command.position = static_cast<unsigned char>(frame[3]) - '0';
        break;
    default: {
        command.channel = code - 2;
        if (frame[5] == '0') {
            command.kind = BoxCommand::Kind::SplitOff;
            break;
        }
        command.kind = BoxCommand::Kind::SplitOn;
        // Nibbles carry position + 1; 0 stands for none (a RELEASE chosen as TX, or no RX).
        const int txNibble = static_cast<unsigned char>(frame[3]) - ('0' - 1);
        const int rxNibble = static_cast<unsigned char>(frame[4]) - ('0' - 1);
        command.tx = txNibble == 0 ? NoAntenna : txNibble - 1;
        command.rx = rxNibble == 0 ? NoAntenna : rxNibble - 1;
        break;
    }
    }
    return command;
}

QVector<SerialCommandParser::Item> SerialCommandParser::feed(const QByteArray &chunk)
{
    QVector<Item> items;
    m_pending.append(chunk);
    const char *data = m_pending.constData();
    const int size = m_pending.size();

    int skipStart = 0;
    int pos = 0;
    auto flushSkipped = [&](int end) {
        if (end > skipStart) {
            Item item;
            item.type = Item::Type::Skipped;
            item.bytes = QByteArray(data + skipStart, end - skipStart);
            m_skipped += item.bytes.size();
            items.append(item);
        }
    };

    while (pos < size) {
        if (data[pos] != 'I') {
            ++pos;
            continue;
        }
        int length = 0;
        const Match result = match(data + pos, size - pos, &length);
        if (result == Match::Partial)
            break;
        if (result == Match::Mismatch) {
            if (size - pos >= 3 && data[pos + 1] == 'G')
                ++m_malformed;
            ++pos;
            continue;
        }
        flushSkipped(pos);
        Item item;
        item.type = Item::Type::Command;
        item.bytes = QByteArray(data + pos, length);
        item.command = decode(data + pos);
        items.append(item);
        ++m_commands;
        pos += length;
        skipStart = pos;
    }
    flushSkipped(pos);
    m_pending.remove(0, pos);
    return items;
}

} // namespace TalmekSim

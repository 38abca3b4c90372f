#include "otrsp.h"

namespace Otrsp {

void LineReader::append(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (c == '\n')
            continue;
        if (c == '\r') {
            if (!discarding)
                pending.append(c);
            discarding = false;
            lineLength = 0;
            continue;
        }
        if (discarding)
            continue;
        if (lineLength == MaxLineLength) {
            pending.chop(lineLength);
            lineLength = 0;
            discarding = true;
            continue;
        }
        pending.append(c);
        ++lineLength;
    }
}

std::optional<QByteArray> LineReader::nextLine()
{
    const int end = pending.indexOf('\r');
    if (end < 0)
        return std::nullopt;
    QByteArray line = pending.left(end);
    pending.remove(0, end + 1);
    return line;
}

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

Command parse(const QByteArray &line)
{
    Command command;
    const auto radioAt = [&line](int at) {
        return line.size() > at && (line[at] == '1' || line[at] == '2') ? line[at] - '0' : 0;
    };
    if (line.startsWith("AUX")) {
        const int radio = radioAt(3);
        const QByteArray digits = line.mid(4);
        if (radio == 0 || digits.isEmpty() || digits.size() > 2 || !isDigit(digits[0])
            || (digits.size() == 2 && !isDigit(digits[1])))
            return command;
        command.kind = Command::Kind::Aux;
        command.radio = radio;
        command.code = digits.toInt();
    } else if (line == "?NAME") {
        command.kind = Command::Kind::QueryName;
    } else if (line == "?") {
        command.kind = Command::Kind::Query;
    } else if (line.startsWith("?AUX") && line.size() == 5 && radioAt(4) != 0) {
        command.kind = Command::Kind::QueryAux;
        command.radio = radioAt(4);
    }
    return command;
}

QByteArray Responder::answer(const Command &command)
{
    switch (command.kind) {
    case Command::Kind::Aux:
        codes[command.radio] = command.code;
        return {};
    case Command::Kind::QueryName:
        return QByteArrayLiteral("NAMEZorvik Remote Control\r");
    case Command::Kind::Query:
        return QByteArrayLiteral("?\r");
    case Command::Kind::QueryAux:
        return "AUX" + QByteArray::number(command.radio) + QByteArray::number(codes[command.radio]) + '\r';
    case Command::Kind::Ignored:
        break;
    }
    return {};
}

} // namespace Otrsp

#include "remotecommand.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QLatin1String>

#include <cmath>
#include <initializer_list>

namespace {

RemoteCommandReading refused(RemoteError error, const QString &message, const QJsonValue &id = QJsonValue())
{
    RemoteCommandReading reading;
    reading.error = error;
    reading.message = message;
    reading.id = id;
    return reading;
}

RemoteCommandReading read(const RemoteCommand &command)
{
    RemoteCommandReading reading;
    reading.command = command;
    reading.id = command.id;
    return reading;
}

// A key as a message names it: quoted, and short, whatever the client sent.
QString named(const QString &key)
{
    const int most = 40;
    return QLatin1Char('"') + (key.size() > most ? key.left(most) + QStringLiteral("…") : key) + QLatin1Char('"');
}

// What the text holds outside its strings: how many objects and arrays it opens, and how
// many ':' its outermost level has. Read from the bytes alone, before any JSON reader sees
// them, the way a JSON reader tells strings apart, so that nothing it reads escapes the
// count.
struct Outline
{
    int containers = 0;
    int outerMembers = 0;
};

Outline outlineOf(const QByteArray &text)
{
    Outline outline;
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '{':
        case '[':
            ++outline.containers;
            ++depth;
            break;
        case '}':
        case ']':
            --depth;
            break;
        case ':':
            if (depth == 1)
                ++outline.outerMembers;
            break;
        default:
            break;
        }
    }
    return outline;
}

// The text as one flat JSON object; nothing, with the reason, otherwise.
std::optional<QJsonObject> objectOf(const QByteArray &text, QString *why)
{
    // A command holds numbers and strings only. Anything nested is refused before Qt reads
    // it: Qt 5's reader loses the memory of an object or array that a repeated key replaces
    // ({"a": [1], "a": [2]}), so a client could make the program grow message by message.
    const Outline outline = outlineOf(text);
    if (outline.containers > 1) {
        *why = QStringLiteral("Values must be numbers or strings, not objects or arrays.");
        return std::nullopt;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        *why = QStringLiteral("Not JSON (at byte %1).").arg(error.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        *why = QStringLiteral("A JSON object is expected.");
        return std::nullopt;
    }
    // A key given twice is one member of the object read, two in the text.
    QJsonObject object = document.object();
    if (outline.outerMembers != object.size()) {
        *why = QStringLiteral("A key is given more than once.");
        return std::nullopt;
    }
    return object;
}

// The first key that is not one of `allowed`, quoted for a message; empty when there is none.
QString unknownKey(const QJsonObject &object, std::initializer_list<QLatin1String> allowed)
{
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        bool known = false;
        for (const QLatin1String &key : allowed)
            known = known || it.key() == key;
        if (!known)
            return QStringLiteral("Unknown key %1.").arg(named(it.key()));
    }
    return QString();
}

// A whole JSON number from `low` to `high` (3.0 is 3; 3.5, "3" and true are not numbers here).
std::optional<int> wholeNumber(const QJsonValue &value, int low, int high)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!(number >= low && number <= high) || std::floor(number) != number)
        return std::nullopt;
    return int(number);
}

// A key that must be a whole number from `low` to `high`; the reason when it is not.
std::optional<int> numberAt(const QJsonObject &object, QLatin1String key, int low, int high, QString *why)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined()) {
        *why = QStringLiteral("%1 is missing.").arg(named(key));
        return std::nullopt;
    }
    const std::optional<int> number = wholeNumber(value, low, high);
    if (!number)
        *why = QStringLiteral("%1 must be a whole number from %2 to %3.").arg(named(key)).arg(low).arg(high);
    return number;
}

// "antenna": 1..6 or "release", into the command's op and antenna.
bool readAntenna(const QJsonObject &object, RemoteCommand *command, QString *why)
{
    const QJsonValue value = object.value(QLatin1String("antenna"));
    if (value.isUndefined()) {
        *why = QStringLiteral("\"antenna\" is missing.");
        return false;
    }
    if (value.isString() && value.toString() == QLatin1String("release")) {
        command->op = RemoteCommand::Op::Release;
        command->antenna = 0;
        return true;
    }
    const std::optional<int> antenna = wholeNumber(value, 1, 6);
    if (!antenna) {
        *why = QStringLiteral("\"antenna\" must be a whole number from 1 to 6, or \"release\".");
        return false;
    }
    command->op = RemoteCommand::Op::Select;
    command->antenna = *antenna;
    return true;
}

bool readSplit(const QJsonObject &object, RemoteCommand *command, QString *why)
{
    const std::optional<int> rx = numberAt(object, QLatin1String("rx"), 1, 6, why);
    if (!rx)
        return false;
    const std::optional<int> tx = numberAt(object, QLatin1String("tx"), 1, 6, why);
    if (!tx)
        return false;
    if (*rx == *tx) {
        *why = QStringLiteral("\"rx\" and \"tx\" must be different antennas.");
        return false;
    }
    command->op = RemoteCommand::Op::Split;
    command->rx = *rx;
    command->tx = *tx;
    return true;
}

bool isChannel(int channel) { return channel == 1 || channel == 2; }

// A numeric id is given back exactly up to 2^53, the largest whole number a double (and so
// JavaScript, and Qt's JSON) holds without rounding its neighbours together.
constexpr double LargestNumericId = 9007199254740992.0;

RemoteCommandReading badChannel() { return refused(RemoteError::BadRequest, QStringLiteral("No such channel.")); }

} // namespace

namespace RemoteCommandReader {

RemoteCommandReading antennaBody(int channel, const QByteArray &body)
{
    if (!isChannel(channel))
        return badChannel();
    QString why;
    const std::optional<QJsonObject> object = objectOf(body, &why);
    if (!object)
        return refused(RemoteError::BadRequest, why);
    why = unknownKey(*object, {QLatin1String("antenna")});
    if (!why.isEmpty())
        return refused(RemoteError::BadRequest, why);
    RemoteCommand command;
    command.channel = channel;
    if (!readAntenna(*object, &command, &why))
        return refused(RemoteError::BadRequest, why);
    return read(command);
}

RemoteCommandReading splitBody(int channel, const QByteArray &body)
{
    if (!isChannel(channel))
        return badChannel();
    QString why;
    const std::optional<QJsonObject> object = objectOf(body, &why);
    if (!object)
        return refused(RemoteError::BadRequest, why);
    why = unknownKey(*object, {QLatin1String("rx"), QLatin1String("tx")});
    if (!why.isEmpty())
        return refused(RemoteError::BadRequest, why);
    RemoteCommand command;
    command.channel = channel;
    if (!readSplit(*object, &command, &why))
        return refused(RemoteError::BadRequest, why);
    return read(command);
}

RemoteCommandReading socketMessage(const QByteArray &message)
{
    if (message.size() > MaxSocketCommandSize) {
        return refused(RemoteError::TooLarge,
                       QStringLiteral("A command is at most %1 bytes long.").arg(MaxSocketCommandSize));
    }
    QString why;
    const std::optional<QJsonObject> object = objectOf(message, &why);
    if (!object)
        return refused(RemoteError::BadRequest, why);

    // The id first, so that every later fault is answered with it.
    RemoteCommand command;
    const QJsonValue id = object->value(QLatin1String("id"));
    if (id.isString()) {
        command.id = id;
    } else if (id.isDouble() && std::fabs(id.toDouble()) <= LargestNumericId) {
        // Held as a double: Qt 5 keeps a whole number as read but writes it back through a
        // double, which up to 2^53 is the same number.
        command.id = QJsonValue(id.toDouble());
    } else if (!id.isUndefined() && !id.isNull()) {
        return refused(RemoteError::BadRequest,
                       QStringLiteral("\"id\" must be a string, or a number of at most %1 in size.")
                           .arg(qint64(LargestNumericId)));
    }
    const auto fault = [&command](const QString &text) { return refused(RemoteError::BadRequest, text, command.id); };

    const QJsonValue op = object->value(QLatin1String("op"));
    if (op.isUndefined())
        return fault(QStringLiteral("\"op\" is missing."));
    const QString name = op.toString();
    const QLatin1String idKey("id"), opKey("op"), channelKey("channel"), antennaKey("antenna"), rxKey("rx"),
        txKey("tx");
    if (name == QLatin1String("state")) {
        why = unknownKey(*object, {idKey, opKey});
        if (!why.isEmpty())
            return fault(why);
        command.op = RemoteCommand::Op::State;
        return read(command);
    }
    if (name == QLatin1String("select"))
        why = unknownKey(*object, {idKey, opKey, channelKey, antennaKey});
    else if (name == QLatin1String("release") || name == QLatin1String("splitOff"))
        why = unknownKey(*object, {idKey, opKey, channelKey});
    else if (name == QLatin1String("split"))
        why = unknownKey(*object, {idKey, opKey, channelKey, rxKey, txKey});
    else
        return fault(QStringLiteral("\"op\" must be \"select\", \"release\", \"split\", \"splitOff\" or \"state\"."));
    if (!why.isEmpty())
        return fault(why);

    const std::optional<int> channel = numberAt(*object, channelKey, 1, 2, &why);
    if (!channel)
        return fault(why);
    command.channel = *channel;
    if (name == QLatin1String("select")) {
        if (!readAntenna(*object, &command, &why))
            return fault(why);
    } else if (name == QLatin1String("release")) {
        command.op = RemoteCommand::Op::Release;
    } else if (name == QLatin1String("split")) {
        if (!readSplit(*object, &command, &why))
            return fault(why);
    } else {
        command.op = RemoteCommand::Op::SplitOff;
    }
    return read(command);
}

} // namespace RemoteCommandReader

RemoteError carryOut(Station &station, const RemoteCommand &command, const Station::Origin &origin, QString *message)
{
    Station::Result result;
    switch (command.op) {
    case RemoteCommand::Op::Select:
        result = station.select(command.channel, command.antenna - 1, origin);
        break;
    case RemoteCommand::Op::Release:
        result = station.release(command.channel, origin);
        break;
    case RemoteCommand::Op::Split:
        result = station.split(command.channel, command.rx - 1, command.tx - 1, origin);
        break;
    case RemoteCommand::Op::SplitOff:
        result = station.splitOff(command.channel, origin);
        break;
    case RemoteCommand::Op::State:
        return RemoteError::None;
    }
    const RemoteError refusal = RemoteErrors::fromResult(result);
    if (refusal != RemoteError::None && message)
        *message = RemoteErrors::message(result, command.channel);
    return refusal;
}

// The remote commands' reader on arbitrary bytes: the WebSocket message and both HTTP bodies
// (the first byte is the channel the path would give, 0 to 3, so that a wrong one is tried
// too). Whatever arrives, a reading is a command in range or a documented refusal with a
// message; a command is what a plain JSON reading of the same bytes says, and written back
// as JSON it reads as the same command again.
#include "fuzzcheck.h"

#include "remote/remotecommand.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdint>

namespace {

bool isAntenna(int number) { return number >= 1 && number <= 6; }

bool isWhole(const QJsonValue &value, int number) { return value.isDouble() && value.toDouble() == double(number); }

// An id as the answer carries it: a number, a string or null.
bool isId(const QJsonValue &id) { return id.isNull() || id.isDouble() || id.isString(); }

void checkRefusal(const RemoteCommandReading &reading, qsizetype size, bool socket)
{
    FUZZ_CHECK(!reading.message.isEmpty());
    FUZZ_CHECK(isId(reading.id));
    if (size > RemoteCommandReader::MaxSocketCommandSize && socket) {
        FUZZ_CHECK(reading.error == RemoteError::TooLarge && reading.id.isNull());
    } else {
        FUZZ_CHECK(reading.error == RemoteError::BadRequest);
    }
}

// What a command says, as a WebSocket message would write it.
QJsonObject written(const RemoteCommand &command)
{
    QJsonObject json{{QStringLiteral("id"), command.id}, {QStringLiteral("channel"), command.channel}};
    switch (command.op) {
    case RemoteCommand::Op::Select:
        json.insert(QStringLiteral("op"), QStringLiteral("select"));
        json.insert(QStringLiteral("antenna"), command.antenna);
        break;
    case RemoteCommand::Op::Release:
        json.insert(QStringLiteral("op"), QStringLiteral("release"));
        break;
    case RemoteCommand::Op::Split:
        json.insert(QStringLiteral("op"), QStringLiteral("split"));
        json.insert(QStringLiteral("rx"), command.rx);
        json.insert(QStringLiteral("tx"), command.tx);
        break;
    case RemoteCommand::Op::SplitOff:
        json.insert(QStringLiteral("op"), QStringLiteral("splitOff"));
        break;
    case RemoteCommand::Op::State:
        json.remove(QStringLiteral("channel"));
        json.insert(QStringLiteral("op"), QStringLiteral("state"));
        break;
    }
    return json;
}

bool sameCommand(const RemoteCommand &a, const RemoteCommand &b)
{
    return a.op == b.op && a.channel == b.channel && a.antenna == b.antenna && a.rx == b.rx && a.tx == b.tx
        && a.id == b.id;
}

// A command read is in range, and what a plain reading of the text says.
void checkCommand(const RemoteCommandReading &reading, const QByteArray &text)
{
    FUZZ_CHECK(reading.error == RemoteError::None);
    const RemoteCommand &command = *reading.command;
    FUZZ_CHECK(isId(command.id) && command.id == reading.id);
    const QJsonDocument document = QJsonDocument::fromJson(text);
    FUZZ_CHECK(document.isObject());
    const QJsonObject object = document.object();
    switch (command.op) {
    case RemoteCommand::Op::Select:
        FUZZ_CHECK(isAntenna(command.antenna) && isWhole(object.value(QStringLiteral("antenna")), command.antenna));
        break;
    case RemoteCommand::Op::Release:
        FUZZ_CHECK(command.antenna == 0);
        FUZZ_CHECK(object.value(QStringLiteral("antenna")) == QStringLiteral("release")
                   || object.value(QStringLiteral("op")) == QStringLiteral("release"));
        break;
    case RemoteCommand::Op::Split:
        FUZZ_CHECK(isAntenna(command.rx) && isAntenna(command.tx) && command.rx != command.tx);
        FUZZ_CHECK(isWhole(object.value(QStringLiteral("rx")), command.rx));
        FUZZ_CHECK(isWhole(object.value(QStringLiteral("tx")), command.tx));
        break;
    case RemoteCommand::Op::SplitOff:
    case RemoteCommand::Op::State:
        break;
    }
    if (command.op == RemoteCommand::Op::State)
        FUZZ_CHECK(command.channel == 0 && object.size() <= 2);
    else
        FUZZ_CHECK(command.channel == 1 || command.channel == 2);
    // Written back, it reads as the same command.
    const QByteArray again = QJsonDocument(written(command)).toJson(QJsonDocument::Compact);
    const RemoteCommandReading reread = RemoteCommandReader::socketMessage(again);
    FUZZ_CHECK(again.size() > RemoteCommandReader::MaxSocketCommandSize
               || (reread.command && sameCommand(*reread.command, command)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int channel = data[0] % 4;
    const QByteArray text(reinterpret_cast<const char *>(data) + 1, int(size) - 1);

    const RemoteCommandReading message = RemoteCommandReader::socketMessage(text);
    if (message.command)
        checkCommand(message, text);
    else
        checkRefusal(message, text.size(), true);

    for (const bool split : {false, true}) {
        const RemoteCommandReading body = split ? RemoteCommandReader::splitBody(channel, text)
                                                : RemoteCommandReader::antennaBody(channel, text);
        if (!body.command) {
            checkRefusal(body, text.size(), false);
            continue;
        }
        checkCommand(body, text);
        const RemoteCommand &command = *body.command;
        FUZZ_CHECK(command.channel == channel && command.id.isNull());
        FUZZ_CHECK(split ? command.op == RemoteCommand::Op::Split
                         : command.op == RemoteCommand::Op::Select || command.op == RemoteCommand::Op::Release);
        // A body is never a WebSocket command: it has no "op".
        FUZZ_CHECK(!message.command);
    }
    return 0;
}

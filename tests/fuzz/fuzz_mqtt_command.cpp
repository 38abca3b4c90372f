// The broker's command reader on arbitrary bytes: the topic is the input up to its first
// newline, the payload the rest. Whatever arrives, a reading is a command in range or a
// documented refusal with a message: NotFound exactly for a topic that is no command topic,
// TooLarge exactly for a longer payload on one. A command is of its topic's channel and kind,
// is what the payload says in one of the accepted forms, and an antenna chosen reads as the
// same command again from its option text and from its number.
#include "fuzzcheck.h"

#include "mqtt/mqtttopics.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace {

const QString Base = QStringLiteral("zorvik/fz");
// Two unnamed, one outside ASCII, two differing by case only, as optionTexts() never gives
// them but a caller might.
const QStringList Options{QStringLiteral("Yagi 20m"), QStringLiteral("Ant 2"),    QStringLiteral("Ström"),
                          QStringLiteral("Loop"),     QStringLiteral("LOOP"),     QStringLiteral("Ant 6"),
                          QStringLiteral("Released")};

bool isAntenna(int number) { return number >= 1 && number <= 6; }

// The antenna the digits (whitespace around them allowed) name; 0 for none.
int numberOf(const QString &text)
{
    const QString digits = text.trimmed();
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    }
    // Too many digits for an int name no antenna either.
    bool ok = false;
    const int number = digits.toInt(&ok);
    return ok && isAntenna(number) ? number : 0;
}

bool sameCommand(const RemoteCommand &a, const RemoteCommand &b)
{
    return a.op == b.op && a.channel == b.channel && a.antenna == b.antenna && a.rx == b.rx && a.tx == b.tx;
}

void checkAgain(const QByteArray &topic, const QByteArray &payload, const RemoteCommand &command)
{
    const RemoteCommandReading again = MqttTopics::command(Base, topic, payload, Options);
    FUZZ_CHECK(again.command && sameCommand(*again.command, command));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const int newline = input.indexOf('\n');
    const QByteArray topic = newline < 0 ? input : input.left(newline);
    const QByteArray payload = newline < 0 ? QByteArray() : input.mid(newline + 1);

    const RemoteCommandReading reading = MqttTopics::command(Base, topic, payload, Options);
    const QStringList topics = MqttTopics::commandTopics(Base);
    const int which = int(topics.indexOf(QString::fromUtf8(topic.constData(), topic.size())));
    // A topic that is not valid UTF-8 (or holds a NUL) is no command topic, whatever it
    // decodes to.
    const bool commandTopic = which >= 0 && topics.at(which).toUtf8() == topic;

    if (!reading.command) {
        FUZZ_CHECK(!reading.message.isEmpty());
        if (!commandTopic)
            FUZZ_CHECK(reading.error == RemoteError::NotFound);
        else if (payload.size() > RemoteCommandReader::MaxSocketCommandSize)
            FUZZ_CHECK(reading.error == RemoteError::TooLarge);
        else
            FUZZ_CHECK(reading.error == RemoteError::BadRequest);
        return 0;
    }

    FUZZ_CHECK(commandTopic && reading.error == RemoteError::None && reading.message.isEmpty());
    FUZZ_CHECK(payload.size() <= RemoteCommandReader::MaxSocketCommandSize);
    const RemoteCommand &command = *reading.command;
    // commandTopics() gives channel 1's two topics, then channel 2's: antenna, then split.
    FUZZ_CHECK(command.channel == which / 2 + 1);
    const bool split = which % 2 == 1;
    const QString text = QString::fromUtf8(payload.constData(), payload.size());
    const QString folded = text.trimmed().toCaseFolded();

    switch (command.op) {
    case RemoteCommand::Op::Select: {
        FUZZ_CHECK(!split && isAntenna(command.antenna));
        const QString option = Options.at(command.antenna - 1);
        FUZZ_CHECK(text == option || folded == option.toCaseFolded() || numberOf(text) == command.antenna);
        checkAgain(topic, option.toUtf8(), command);
        checkAgain(topic, QByteArray::number(command.antenna), command);
        break;
    }
    case RemoteCommand::Op::Release:
        FUZZ_CHECK(!split && command.antenna == 0);
        FUZZ_CHECK(text == QLatin1String("Released") || folded == QLatin1String("release")
                   || folded == QLatin1String("released"));
        checkAgain(topic, "release", command);
        break;
    case RemoteCommand::Op::Split: {
        FUZZ_CHECK(split && isAntenna(command.rx) && isAntenna(command.tx) && command.rx != command.tx);
        // The same as the HTTP body's reader says.
        const RemoteCommandReading body = RemoteCommandReader::splitBody(command.channel, payload);
        FUZZ_CHECK(body.command && sameCommand(*body.command, command));
        break;
    }
    case RemoteCommand::Op::SplitOff:
        FUZZ_CHECK(split && folded == QLatin1String("off"));
        break;
    case RemoteCommand::Op::State:
        FUZZ_CHECK(false);
        break;
    }
    return 0;
}

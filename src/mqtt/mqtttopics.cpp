#include "mqtttopics.h"

#include "remote/statejson.h"
#include "station/station.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <vector>

namespace {

constexpr int Channels = 2;
constexpr int Antennas = AntennaPosition::Last + 1;

QString releasedText() { return QStringLiteral("Released"); }

QString unnamedText(int position) { return QStringLiteral("Ant %1").arg(position + 1); }

bool isAsciiLetterOrDigit(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

// The antenna number a payload gives as digits alone (surrounding whitespace allowed);
// 0 when it gives none from 1 to 6.
int antennaNumberIn(const QString &text)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty())
        return 0;
    int number = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        number = number * 10 + (c.unicode() - '0');
        if (number > Antennas)
            return 0;
    }
    return number;
}

// A text that reads as one of the other forms of the antenna command: a number, "release",
// "Released", or another antenna's "Ant k". An antenna's name like that is never its option
// alone, so that each form means one thing.
bool isReserved(const QString &text)
{
    const QString folded = text.trimmed().toCaseFolded();
    if (antennaNumberIn(text) != 0 || folded == QLatin1String("release") || folded == QLatin1String("released"))
        return true;
    for (int position = 0; position < Antennas; ++position) {
        if (folded == unnamedText(position).toCaseFolded())
            return true;
    }
    return false;
}

// The option payload of an antenna command names, compared as people type it.
int optionIndexFolded(const QStringList &options, const QString &text)
{
    const QString folded = text.trimmed().toCaseFolded();
    int found = -1;
    for (int i = 0; i < options.size(); ++i) {
        if (options.at(i).toCaseFolded() == folded) {
            if (found >= 0)
                return -1; // two options differ by case only: the exact text is needed
            found = i;
        }
    }
    return found;
}

RemoteCommandReading refused(RemoteError error, const QString &message)
{
    RemoteCommandReading reading;
    reading.error = error;
    reading.message = message;
    return reading;
}

RemoteCommandReading commandOf(RemoteCommand::Op op, int channel, int antenna = 0)
{
    RemoteCommand command;
    command.op = op;
    command.channel = channel;
    command.antenna = antenna;
    RemoteCommandReading reading;
    reading.command = command;
    return reading;
}

// The antenna command from an option text, a number or "release".
RemoteCommandReading antennaCommand(int channel, const QByteArray &payload, const QStringList &options)
{
    const QString text = QString::fromUtf8(payload);
    int index = options.indexOf(text);
    if (index < 0)
        index = optionIndexFolded(options, text);
    // The options end with "Released"; a list without it still knows the word.
    const int released = int(options.size()) - 1;
    const QString folded = text.trimmed().toCaseFolded();
    if ((index >= 0 && index == released && options.at(index) == releasedText())
        || folded == QLatin1String("release") || folded == QLatin1String("released")) {
        return commandOf(RemoteCommand::Op::Release, channel);
    }
    if (index >= 0 && index < Antennas)
        return commandOf(RemoteCommand::Op::Select, channel, index + 1);
    const int number = antennaNumberIn(text);
    if (number != 0)
        return commandOf(RemoteCommand::Op::Select, channel, number);
    return refused(RemoteError::BadRequest,
                   QStringLiteral("Send an antenna's name as the options give it, its number from 1 to 6, or "
                                  "\"release\"."));
}

RemoteCommandReading splitCommand(int channel, const QByteArray &payload)
{
    const QString folded = QString::fromUtf8(payload).trimmed().toCaseFolded();
    if (folded == QLatin1String("off"))
        return commandOf(RemoteCommand::Op::SplitOff, channel);
    RemoteCommandReading reading = RemoteCommandReader::splitBody(channel, payload);
    if (!reading.command) {
        reading.message += QStringLiteral(" Send {\"rx\": a, \"tx\": b} with two different antennas from 1 to 6, "
                                          "or \"off\".");
    }
    return reading;
}

QByteArray utf8(const QString &text) { return text.toUtf8(); }

QByteArray compact(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

MqttTopics::Message message(const QString &topic, const QByteArray &payload)
{
    MqttTopics::Message m;
    m.topic = utf8(topic);
    m.payload = payload;
    return m;
}

QString channelTopic(const QString &base, int channel, const char *leaf)
{
    return QStringLiteral("%1/channel/%2/%3").arg(base).arg(channel).arg(QLatin1String(leaf));
}

// Home Assistant's node id: the slug for the base made from the ID; the base itself, its
// '/' and every other character Home Assistant does not take turned into '_', for one
// named in the settings.
QString nodeOf(const Station &station, const QString &base)
{
    const QString slug = MqttTopics::slug(station.settings().id);
    if (base == QStringLiteral("zorvik/") + slug)
        return slug;
    QString node = base;
    for (QChar &c : node) {
        if (!isAsciiLetterOrDigit(c) && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    }
    return node;
}

struct Entity
{
    const char *component;
    QString object;
    QJsonObject fields;
};

std::vector<Entity> entities(const Station &station, const QString &base)
{
    std::vector<Entity> list;
    const QJsonArray options = QJsonArray::fromStringList(MqttTopics::optionTexts(station));
    for (int channel = 1; channel <= Channels; ++channel) {
        list.push_back({"select", QStringLiteral("channel_%1_antenna").arg(channel),
                        QJsonObject{{QStringLiteral("name"), QStringLiteral("Channel %1 antenna").arg(channel)},
                                    {QStringLiteral("command_topic"), channelTopic(base, channel, "antenna/set")},
                                    {QStringLiteral("state_topic"), channelTopic(base, channel, "antenna")},
                                    {QStringLiteral("options"), options},
                                    // Commands are never retained: a retained one is ignored.
                                    {QStringLiteral("retain"), false},
                                    {QStringLiteral("qos"), 1}}});
        list.push_back({"binary_sensor", QStringLiteral("channel_%1_transmitting").arg(channel),
                        QJsonObject{{QStringLiteral("name"), QStringLiteral("Channel %1 transmitting").arg(channel)},
                                    {QStringLiteral("state_topic"), channelTopic(base, channel, "transmitting")},
                                    {QStringLiteral("payload_on"), QStringLiteral("ON")},
                                    {QStringLiteral("payload_off"), QStringLiteral("OFF")}}});
        list.push_back({"sensor", QStringLiteral("channel_%1_band").arg(channel),
                        QJsonObject{{QStringLiteral("name"), QStringLiteral("Channel %1 band").arg(channel)},
                                    {QStringLiteral("state_topic"), channelTopic(base, channel, "band")}}});
    }
    list.push_back({"binary_sensor", QStringLiteral("alarm"),
                    QJsonObject{{QStringLiteral("name"), QStringLiteral("Receive-only alarm")},
                                {QStringLiteral("device_class"), QStringLiteral("problem")},
                                {QStringLiteral("state_topic"), base + QStringLiteral("/alarm")},
                                {QStringLiteral("value_template"), QStringLiteral("{{ 'ON' if value else 'OFF' }}")}}});
    return list;
}

QString discoveryTopic(const QString &node, const Entity &entity)
{
    return QStringLiteral("%1/%2/%3/%4/config")
        .arg(QLatin1String(MqttTopics::DiscoveryPrefix), QLatin1String(entity.component), node, entity.object);
}

} // namespace

namespace MqttTopics {

QString slug(const QString &id)
{
    QString slug;
    bool dash = false;
    for (const QChar c : id) {
        if (isAsciiLetterOrDigit(c)) {
            if (dash && !slug.isEmpty())
                slug += QLatin1Char('-');
            dash = false;
            slug += c.toLower();
        } else {
            dash = true;
        }
    }
    return slug.isEmpty() ? QStringLiteral("station") : slug;
}

QString base(const QString &configured, const QString &id)
{
    QString chosen = configured.trimmed();
    while (chosen.endsWith(QLatin1Char('/')))
        chosen.chop(1);
    // A topic to publish on holds no wildcard and no NUL: such a base is no base.
    const bool usable = !chosen.isEmpty() && !chosen.contains(QLatin1Char('+')) && !chosen.contains(QLatin1Char('#'))
        && !chosen.contains(QChar(0));
    return usable ? chosen : QStringLiteral("zorvik/") + slug(id);
}

QStringList optionTexts(const Station &station)
{
    const std::array<QString, 6> &names = station.settings().antennaNames;
    // Each antenna's option by how much it must say to be unique: 0 the name alone, 1 the
    // name with " (Ant k)", 2 "Ant k (name)", 3 "Ant k". The last is unique whatever the
    // names: no name alone reads "Ant k", and the other forms hold parentheses.
    std::array<int, Antennas> level{};
    std::array<QString, Antennas> simple;
    for (int position = 0; position < Antennas; ++position) {
        simple[size_t(position)] = names[size_t(position)].simplified();
        if (simple[size_t(position)].isEmpty())
            level[size_t(position)] = 3;
        else if (isReserved(simple[size_t(position)]))
            level[size_t(position)] = 1;
    }
    const auto textOf = [&](int position) {
        const QString &name = simple[size_t(position)];
        switch (level[size_t(position)]) {
        case 0:
            return name;
        case 1:
            return QStringLiteral("%1 (%2)").arg(name, unnamedText(position));
        case 2:
            return QStringLiteral("%1 (%2)").arg(unnamedText(position), name);
        default:
            return unnamedText(position);
        }
    };
    for (int round = 0; round < 3; ++round) {
        std::array<QString, Antennas> folded;
        for (int position = 0; position < Antennas; ++position)
            folded[size_t(position)] = textOf(position).toCaseFolded();
        bool changed = false;
        for (int position = 0; position < Antennas; ++position) {
            bool clash = false;
            for (int other = 0; other < Antennas; ++other)
                clash = clash || (other != position && folded[size_t(other)] == folded[size_t(position)]);
            if (clash && level[size_t(position)] < 3) {
                ++level[size_t(position)];
                changed = true;
            }
        }
        if (!changed)
            break;
    }
    QStringList options;
    for (int position = 0; position < Antennas; ++position)
        options.append(textOf(position));
    options.append(releasedText());
    return options;
}

QList<Message> stateMessages(const Station &station, const QString &base)
{
    const QJsonObject state = StateJson::of(station);
    QList<Message> messages;
    messages.append(message(base + QStringLiteral("/state"), compact(state)));
    // While the box is silent its antennas are unknown: the last ones published stay.
    const bool known = state.value(QStringLiteral("link")).toObject().value(QStringLiteral("boxAnswering")).toBool()
        && station.boxStateKnown();
    const QStringList options = optionTexts(station);
    QString alarm;
    const QJsonArray channels = state.value(QStringLiteral("channels")).toArray();
    for (const QJsonValue &value : channels) {
        const QJsonObject channel = value.toObject();
        const int number = channel.value(QStringLiteral("number")).toInt();
        if (known) {
            const int antenna = channel.value(QStringLiteral("antenna")).toInt(0);
            const QString option = antenna >= 1 && antenna <= Antennas ? options.at(antenna - 1) : releasedText();
            messages.append(message(channelTopic(base, number, "antenna"), utf8(option)));
            messages.append(message(channelTopic(base, number, "transmitting"),
                                    channel.value(QStringLiteral("transmitting")).toBool() ? QByteArrayLiteral("ON")
                                                                                           : QByteArrayLiteral("OFF")));
        }
        messages.append(message(channelTopic(base, number, "band"),
                                utf8(channel.value(QStringLiteral("band")).toString())));
        if (alarm.isEmpty())
            alarm = channel.value(QStringLiteral("alarm")).toString();
    }
    messages.append(message(base + QStringLiteral("/alarm"), utf8(alarm)));
    return messages;
}

QStringList commandTopics(const QString &base)
{
    QStringList topics;
    for (int channel = 1; channel <= Channels; ++channel) {
        topics.append(channelTopic(base, channel, "antenna/set"));
        topics.append(channelTopic(base, channel, "split/set"));
    }
    return topics;
}

RemoteCommandReading command(const QString &base, const QByteArray &topic, const QByteArray &payload,
                             const QStringList &options)
{
    const QByteArray prefix = utf8(base) + "/channel/";
    if (!topic.startsWith(prefix))
        return refused(RemoteError::NotFound, QStringLiteral("No such command topic."));
    const QByteArray rest = topic.mid(prefix.size());
    int channel = 0;
    bool split = false;
    if (rest == "1/antenna/set" || rest == "2/antenna/set") {
        channel = rest.at(0) - '0';
    } else if (rest == "1/split/set" || rest == "2/split/set") {
        channel = rest.at(0) - '0';
        split = true;
    } else {
        return refused(RemoteError::NotFound, QStringLiteral("No such command topic."));
    }
    if (payload.size() > RemoteCommandReader::MaxSocketCommandSize) {
        return refused(RemoteError::TooLarge,
                       QStringLiteral("A command is at most %1 bytes long.").arg(RemoteCommandReader::MaxSocketCommandSize));
    }
    return split ? splitCommand(channel, payload) : antennaCommand(channel, payload, options);
}

Message result(const QString &base, const QByteArray &commandTopic, RemoteError error, const QString &text)
{
    QJsonObject json{{QStringLiteral("topic"), QString::fromUtf8(commandTopic)},
                     {QStringLiteral("status"), RemoteErrors::httpStatus(error)}};
    if (error != RemoteError::None) {
        json.insert(QStringLiteral("error"),
                    QJsonObject{{QStringLiteral("code"), QString(RemoteErrors::code(error))},
                                {QStringLiteral("message"), text.isEmpty() ? RemoteErrors::message(error) : text}});
    }
    Message m = message(base + QStringLiteral("/result"), compact(json));
    m.retain = false;
    return m;
}

QList<Message> discovery(const Station &station, const QString &base, const QString &programVersion)
{
    const QString node = nodeOf(station, base);
    const QString id = station.settings().id.trimmed();
    const QJsonObject device{{QStringLiteral("identifiers"), QJsonArray{QStringLiteral("zorvik_") + node}},
                             {QStringLiteral("name"), id.isEmpty() ? QStringLiteral("Zorvik station") : id},
                             {QStringLiteral("manufacturer"), QStringLiteral("Zorvik")},
                             {QStringLiteral("model"), QStringLiteral("Zorvik Remote Control")}};
    const QJsonObject origin{{QStringLiteral("name"), QStringLiteral("Zorvik Remote Control")},
                             {QStringLiteral("sw_version"), programVersion}};
    QList<Message> messages;
    for (const Entity &entity : entities(station, base)) {
        QJsonObject json = entity.fields;
        json.insert(QStringLiteral("unique_id"), QStringLiteral("zorvik_%1_%2").arg(node, entity.object));
        json.insert(QStringLiteral("device"), device);
        json.insert(QStringLiteral("origin"), origin);
        json.insert(QStringLiteral("availability_topic"), base + QStringLiteral("/status"));
        json.insert(QStringLiteral("payload_available"), QStringLiteral("online"));
        json.insert(QStringLiteral("payload_not_available"), QStringLiteral("offline"));
        messages.append(message(discoveryTopic(node, entity), compact(json)));
    }
    return messages;
}

QList<Message> discoveryRemoval(const Station &station, const QString &base)
{
    const QString node = nodeOf(station, base);
    QList<Message> messages;
    for (const Entity &entity : entities(station, base))
        messages.append(message(discoveryTopic(node, entity), QByteArray()));
    return messages;
}

} // namespace MqttTopics

#pragma once

#include "remote/remotecommand.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class Station;

// What the station says on the message broker and what it takes from it, as plain values:
// the bridge (MqttBridge) only moves them. Topics lie under a base, "zorvik/<slug>" unless
// MQTT_BASE names another:
//   <base>/status                 "online"/"offline", retained, QoS 1 (also the last will)
//   <base>/state                  the state JSON (StateJson), retained
//   <base>/channel/N/antenna      the antenna's option text (optionTexts()), retained
//   <base>/channel/N/transmitting "ON"/"OFF", retained
//   <base>/channel/N/band         "20m", or empty while unknown, retained
//   <base>/alarm                  the alarm's text, or empty, retained
//   <base>/channel/N/antenna/set  command: an option text, a number 1..6 or "release"
//   <base>/channel/N/split/set    command: {"rx": a, "tx": b} or "off"
//   <base>/result                 each command's outcome, not retained:
//                                 {"topic": ..., "status": 200} or with "error": {code, message}
// Home Assistant discovery under "homeassistant/<component>/<node>/<object>/config", one
// device per station.
namespace MqttTopics {

struct Message
{
    QByteArray topic;
    QByteArray payload;
    bool retain = true;
    int qos = 1;
};

// The ID text lower-cased, ASCII letters and digits kept and every other run of characters
// turned into one dash, no dash at either end; "station" when nothing is left.
QString slug(const QString &id);
// "zorvik/<slug>" unless `configured` (MQTT_BASE) names a base; no trailing '/'.
QString base(const QString &configured, const QString &id);

// The select's options: the six antennas as the panel names them ("Ant k" for an unnamed
// one), then "Released". Unique even when compared without regard to case: a name given
// twice, or one that reads as another form of the command (a number, "release", "Released",
// "Ant k"), gets " (Ant k)" appended.
QStringList optionTexts(const Station &station);

// The retained messages that describe the station now (state, per-channel topics, alarm):
// the bridge publishes those that differ from what it published last.
QList<Message> stateMessages(const Station &station, const QString &base);

// The topics the bridge subscribes to: the two command topics of both channels.
QStringList commandTopics(const QString &base);
// The command a message on a command topic carries: Select/Release/Split/SplitOff with its
// channel, or an error (BadRequest, NotFound for a topic that is no command topic, TooLarge
// for a payload over RemoteCommandReader::MaxSocketCommandSize bytes).
// antenna/set: an option text of `options` (optionTexts()) as it is, else without regard to
// case; the number 1..6 in digits; "release" or "Released" in any case. split/set: the
// JSON of RemoteCommandReader::splitBody, or "off" in any case. Whitespace around a payload
// is allowed but for an option text matched as it is. An empty payload is BadRequest.
RemoteCommandReading command(const QString &base, const QByteArray &topic, const QByteArray &payload,
                             const QStringList &options);
// The outcome of a command, for <base>/result.
Message result(const QString &base, const QByteArray &commandTopic, RemoteError error, const QString &message);

// Home Assistant: the discovery messages for the station (a select per channel, a binary
// sensor per channel's transmitting and for the receive-only alarm, a sensor per channel's
// band), and the empty retained messages that remove them.
constexpr const char *DiscoveryPrefix = "homeassistant";
QList<Message> discovery(const Station &station, const QString &base, const QString &programVersion);
QList<Message> discoveryRemoval(const Station &station, const QString &base);

} // namespace MqttTopics

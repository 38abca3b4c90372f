#pragma once

#include "remoteerror.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>

#include <optional>

// A command from a remote client, read from JSON, as the HTTP interface, the WebSocket and
// (later) the message broker give it. Reading checks only the form (types and ranges); the
// station's door applies the rules.
//
// HTTP:      PUT    /api/v1/channels/{1|2}/antenna  {"antenna": 1..6} or {"antenna": "release"}
//            PUT    /api/v1/channels/{1|2}/split    {"rx": 1..6, "tx": 1..6}
//            DELETE /api/v1/channels/{1|2}/split    (no body)
// WebSocket: {"id": 7, "op": "select", "channel": 1, "antenna": 3}   ("antenna": "release" too)
//            {"id": 8, "op": "release", "channel": 1}
//            {"id": 9, "op": "split", "channel": 1, "rx": 5, "tx": 3}
//            {"id": 10, "op": "splitOff", "channel": 1}
//            {"id": 11, "op": "state"}                                 (asks for the state)
// Antennas are numbered 1..6 here, as people count them; Station's door takes positions 0..5.
struct RemoteCommand
{
    enum class Op : quint8 { Select, Release, Split, SplitOff, State };
    Op op = Op::State;
    int channel = 0; // 1 or 2
    int antenna = 0; // 1..6 for Select
    int rx = 0; // 1..6 for Split
    int tx = 0; // 1..6 for Split
    // The WebSocket command's id, given back with its answer: any JSON number or string the
    // client chose (null when it gave none).
    QJsonValue id;
};

struct RemoteCommandReading
{
    std::optional<RemoteCommand> command;
    // BadRequest or NotJson when there is no command, with a message for people.
    RemoteError error = RemoteError::None;
    QString message;
};

namespace RemoteCommandReader {
// Largest WebSocket command accepted (text message), in bytes: a longer one is TooLarge.
constexpr int MaxSocketCommandSize = 1024;
// The body of PUT .../antenna, PUT .../split (op Select/Release or Split) for `channel`
// (already taken from the path, 1 or 2).
RemoteCommandReading antennaBody(int channel, const QByteArray &body);
RemoteCommandReading splitBody(int channel, const QByteArray &body);
// A WebSocket text message.
RemoteCommandReading socketMessage(const QByteArray &message);
} // namespace RemoteCommandReader

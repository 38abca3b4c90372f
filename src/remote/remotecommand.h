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
//
// Strict, so that a typing mistake is refused rather than half carried out: the text must
// be one JSON object (nothing before or after it but whitespace) with no key twice, no key
// besides those of its command ("id" and "op" on the WebSocket only) and no object or array
// in it (refused before any JSON reader sees them, the id unread); numbers must be
// whole (3 and 3.0 and 3e0 are the same JSON number and are taken; 3.5, "3", true and null
// are not); a split's rx and tx must differ. Whatever fails is BadRequest with a message
// that names the key.
struct RemoteCommand
{
    enum class Op : quint8 { Select, Release, Split, SplitOff, State };
    Op op = Op::State;
    int channel = 0; // 1 or 2
    int antenna = 0; // 1..6 for Select
    int rx = 0; // 1..6 for Split
    int tx = 0; // 1..6 for Split
    // The WebSocket command's id, given back with its answer: any JSON string or number the
    // client chose (null when it gave none). A number larger than 2^53 in size is refused,
    // as it could not be given back exactly; a string can be.
    QJsonValue id;
};

struct RemoteCommandReading
{
    std::optional<RemoteCommand> command;
    // BadRequest or TooLarge when there is no command, with a message for people. (NotJson
    // is the server's to decide, from the Content-Type field.)
    RemoteError error = RemoteError::None;
    QString message;
    // A WebSocket message's id, also when it holds no command, so that the answer carries
    // it: the number or string the client gave; null when it gave none, when the message
    // was too large, not a JSON object or held an object or array, or when the id itself was
    // neither a number nor a string (then the reading is BadRequest).
    QJsonValue id;
};

// Carries a command out through the station's door (antennas 1..6 become positions 0..5):
// None when it went to the box (or asked only for the state), else the error, with its
// message for people in `message`.
RemoteError carryOut(Station &station, const RemoteCommand &command, const Station::Origin &origin,
                     QString *message);

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

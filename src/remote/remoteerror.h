#pragma once

#include "station/station.h"

#include <QLatin1String>
#include <QString>

// What went wrong with a remote request or command, one set for every remote face (HTTP,
// WebSocket, the message broker): an HTTP status and a code that never changes, written in
// the JSON error body {"error": {"code": "...", "message": "..."}}.
enum class RemoteError : quint8 {
    None,
    BadRequest, // 400 bad_request
    Unauthorized, // 401 unauthorized
    Forbidden, // 403 forbidden: a foreign Host or Origin, or the view token for a command
    NotFound, // 404 not_found
    MethodNotAllowed, // 405 method_not_allowed
    TooLarge, // 413 too_large
    NotJson, // 415 not_json
    ReceiveOnly, // 422 receive_only
    Transmitting, // 423 transmitting
    Locked, // 423 locked
    HeadersTooLarge, // 431 headers_too_large
    RateLimited, // 429 rate_limited
    NotImplemented, // 501 not_implemented
    BoxUnavailable, // 503 box_unavailable
    ServiceUnavailable, // 503 busy: too many connections or streams
    VersionNotSupported, // 505 version_not_supported
};

namespace RemoteErrors {
int httpStatus(RemoteError error);
QLatin1String code(RemoteError error);
// The same error by its code; None for an unknown code.
RemoteError fromCode(QLatin1String code);
// A short text for people, in English; `channel` for the ones that name a channel.
QString message(RemoteError error, int channel = 0);
// What the station's door said, as the remote faces tell it: None when the command went to
// the box, and when nothing needed sending (Refusal::NothingToSend: the box is already as
// asked, so the answer is the state). A result that neither went to the box nor says why is
// BoxUnavailable, never a success. A split being chosen at the panel (SplitChoiceElsewhere)
// is the operator's hand on the box: Locked, with a message that says so.
RemoteError fromResult(const Station::Result &result);
// The text for people that goes with fromResult(): message(fromResult(result), channel), told
// more precisely where the result says more (the receive-only antenna, the panel's split).
QString message(const Station::Result &result, int channel);
} // namespace RemoteErrors

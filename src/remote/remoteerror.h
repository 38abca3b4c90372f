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
// the box.
RemoteError fromResult(const Station::Result &result);
} // namespace RemoteErrors

#include "remoteerror.h"

#include "engine/devicestate.h"

#include <iterator>

namespace {

struct Row
{
    RemoteError error;
    int status;
    const char *code;
};

// One row per error: the status and the code never change, whatever face tells them.
constexpr Row rows[] = {
    {RemoteError::None, 200, ""},
    {RemoteError::BadRequest, 400, "bad_request"},
    {RemoteError::Unauthorized, 401, "unauthorized"},
    {RemoteError::Forbidden, 403, "forbidden"},
    {RemoteError::NotFound, 404, "not_found"},
    {RemoteError::MethodNotAllowed, 405, "method_not_allowed"},
    {RemoteError::TooLarge, 413, "too_large"},
    {RemoteError::NotJson, 415, "not_json"},
    {RemoteError::ReceiveOnly, 422, "receive_only"},
    {RemoteError::Transmitting, 423, "transmitting"},
    {RemoteError::Locked, 423, "locked"},
    {RemoteError::HeadersTooLarge, 431, "headers_too_large"},
    {RemoteError::RateLimited, 429, "rate_limited"},
    {RemoteError::NotImplemented, 501, "not_implemented"},
    {RemoteError::BoxUnavailable, 503, "box_unavailable"},
    {RemoteError::ServiceUnavailable, 503, "busy"},
    {RemoteError::VersionNotSupported, 505, "version_not_supported"},
};

const Row &rowOf(RemoteError error)
{
    for (const Row &row : rows) {
        if (row.error == error)
            return row;
    }
    return rows[0];
}

bool isChannel(int channel) { return channel == 1 || channel == 2; }

} // namespace

namespace RemoteErrors {

int httpStatus(RemoteError error) { return rowOf(error).status; }

QLatin1String code(RemoteError error) { return QLatin1String(rowOf(error).code); }

RemoteError fromCode(QLatin1String code)
{
    if (code.size() == 0)
        return RemoteError::None;
    for (const Row &row : rows) {
        if (code == QLatin1String(row.code))
            return row.error;
    }
    return RemoteError::None;
}

QString message(RemoteError error, int channel)
{
    switch (error) {
    case RemoteError::None:
        return QString();
    case RemoteError::BadRequest:
        return QStringLiteral("The request is not a valid command.");
    case RemoteError::Unauthorized:
        return QStringLiteral("Sign in with the control or the view token.");
    case RemoteError::Forbidden:
        return QStringLiteral("Not allowed.");
    case RemoteError::NotFound:
        return QStringLiteral("There is nothing here.");
    case RemoteError::MethodNotAllowed:
        return QStringLiteral("This method is not allowed here.");
    case RemoteError::TooLarge:
        return QStringLiteral("The request is too large.");
    case RemoteError::NotJson:
        return QStringLiteral("Send commands as application/json.");
    case RemoteError::ReceiveOnly:
        return isChannel(channel)
            ? QStringLiteral("Channel %1 would transmit on a receive-only antenna: refused.").arg(channel)
            : QStringLiteral("A channel would transmit on a receive-only antenna: refused.");
    case RemoteError::Transmitting:
        return isChannel(channel)
            ? QStringLiteral("Channel %1 is transmitting: remote commands are refused until it stops.").arg(channel)
            : QStringLiteral("The channel is transmitting: remote commands are refused until it stops.");
    case RemoteError::Locked:
        return QStringLiteral("Remote switching is locked at the panel.");
    case RemoteError::HeadersTooLarge:
        return QStringLiteral("The request's header fields are too large.");
    case RemoteError::RateLimited:
        return QStringLiteral("Too many requests: wait, then try again.");
    case RemoteError::NotImplemented:
        return QStringLiteral("Not implemented.");
    case RemoteError::BoxUnavailable:
        return QStringLiteral("The antenna switch cannot be reached: the link is down or the box is silent.");
    case RemoteError::ServiceUnavailable:
        return QStringLiteral("Too many connections: try again later.");
    case RemoteError::VersionNotSupported:
        return QStringLiteral("Only HTTP/1.1 and HTTP/1.0 are served.");
    }
    return QString();
}

RemoteError fromResult(const Station::Result &result)
{
    if (result.sent)
        return RemoteError::None;
    switch (result.refusal) {
    case Station::Refusal::None:
        // Not sent, yet no reason given: the command did not reach the box.
        return RemoteError::BoxUnavailable;
    case Station::Refusal::NothingToSend:
        return RemoteError::None;
    case Station::Refusal::BadArgument:
        return RemoteError::BadRequest;
    case Station::Refusal::NotConnected:
    case Station::Refusal::BoxUnavailable:
        return RemoteError::BoxUnavailable;
    case Station::Refusal::ReceiveOnly:
        return RemoteError::ReceiveOnly;
    case Station::Refusal::Transmitting:
        return RemoteError::Transmitting;
    case Station::Refusal::Locked:
    case Station::Refusal::SplitChoiceElsewhere:
        return RemoteError::Locked;
    }
    return RemoteError::BoxUnavailable;
}

QString message(const Station::Result &result, int channel)
{
    const RemoteError error = fromResult(result);
    if (!result.sent && result.refusal == Station::Refusal::SplitChoiceElsewhere)
        return QStringLiteral("A split is being set up at the panel: try again when the operator has finished.");
    if (error == RemoteError::ReceiveOnly && isChannel(channel) && AntennaPosition::isAntenna(result.outcome.refused)) {
        return QStringLiteral("Antenna %1 is receive-only: channel %2 cannot transmit on it.")
            .arg(int(result.outcome.refused) + 1)
            .arg(channel);
    }
    return message(error, channel);
}

} // namespace RemoteErrors

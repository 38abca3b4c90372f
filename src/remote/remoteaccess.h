#pragma once

#include "remoteerror.h"

#include "engine/monotonicclock.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>

// Who may use the remote control, and how much: the decisions the server asks for before it
// serves a request, kept apart from sockets so that they can be checked one by one.
//
// - Tokens: a peer on 127.0.0.1 or ::1 needs none (it has control); any other peer (other
//   127.x addresses included) must present the control token or the view token, as
//   "Authorization: Bearer <token>" or as the sign-in cookie. Tokens are compared in
//   constant time. Five wrong tokens from one address within a minute block that address for
//   60 s: every request from it is RateLimited then, the right token included. A missing
//   token is not a wrong one.
// - Host: must name this computer ("localhost", 127.0.0.1, [::1], or the address the request
//   arrived on), with or without a port; otherwise Forbidden (DNS rebinding).
// - Origin: a write or a WebSocket upgrade carries none or "http://" + its Host; otherwise
//   Forbidden.
// - Commands: 10 per second per address, with a burst of 20; then RateLimited.
//
// Thread contract: used on one thread (the station's).
class RemoteAccess
{
public:
    enum class Level : quint8 { None, View, Control };
    struct Decision
    {
        Level level = Level::None;
        RemoteError error = RemoteError::None; // Unauthorized or RateLimited when level is None
        int retryAfterSeconds = 0; // for RateLimited
    };

    static constexpr int WrongTokensAllowed = 5;
    static constexpr qint64 WrongTokenWindowMs = 60'000;
    static constexpr qint64 BlockMs = 60'000;
    static constexpr int CommandsPerSecond = 10;
    static constexpr int CommandBurst = 20;
    // The cookie the sign-in form sets.
    static constexpr const char *CookieName = "zorvik_token";

    explicit RemoteAccess(const MonotonicClock &clock = steadyClock());

    // The tokens; an empty one admits nobody.
    void setTokens(const QString &control, const QString &view);

    // The level of a request from `peer` presenting `token` (empty when it presented none).
    Decision admit(const QHostAddress &peer, const QByteArray &token);
    // The token a request presents: the bearer token of its Authorization field, else the
    // value of the sign-in cookie in its Cookie field; empty when neither is there.
    static QByteArray presentedToken(const QByteArray &authorization, const QByteArray &cookie);

    // Whether the Host field names this computer; `local` is the address the request arrived on.
    static bool hostAllowed(const QByteArray &host, const QHostAddress &local);
    // Whether an Origin field (empty when absent) is the page's own for that Host.
    static bool originAllowed(const QByteArray &origin, const QByteArray &host);
    static bool isLoopbackPeer(const QHostAddress &peer); // 127.0.0.1 or ::1 only

    // Takes one command from the address's allowance; false (with the seconds to wait) when
    // it is spent.
    bool takeCommand(const QHostAddress &peer, int *retryAfterSeconds = nullptr);

    static bool sameToken(const QByteArray &a, const QByteArray &b); // constant time

private:
    struct Failures
    {
        QList<qint64> wrongAtMs;
        qint64 blockedUntilMs = 0;
    };
    struct Bucket
    {
        double tokens = CommandBurst;
        qint64 lastMs = 0;
    };
    const MonotonicClock &clock;
    QByteArray control;
    QByteArray view;
    QHash<QString, Failures> failures;
    QHash<QString, Bucket> buckets;
};

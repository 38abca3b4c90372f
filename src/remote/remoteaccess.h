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
//   arrived on), with or without a port; otherwise Forbidden (DNS rebinding). A name is read
//   as "localhost" in any letter case, an IPv4 address in any form it parses in (the
//   IPv4-mapped IPv6 form included) and an IPv6 address only in brackets; a port is 1 to 5
//   digits up to 65535, and any port is taken (a forwarded port still names this computer:
//   a rebinding page's Host names the attacker's host, whatever the port).
// - Origin: a write or a WebSocket upgrade carries none or "http://" + its Host, letter case
//   aside; otherwise Forbidden ("null", another scheme, host or port, a path).
// - Commands: 10 per second per address, with a burst of 20; then RateLimited.
//
// Addresses are counted as the peer's: ::ffff:192.168.1.20 (an IPv4 peer of a server that
// listens on every address) is 192.168.1.20. A wrong token counts for 60 s; the fifth within
// that time is answered Unauthorized and blocks the address from then on. A right token
// does not wipe out the wrong ones before it (else the view token would let its holder guess
// the control token without end). Retry-After is the wait left, in whole seconds rounded up.
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

    // At most this many addresses are remembered for wrong tokens, and as many for commands:
    // entries that have run out are dropped first, then the longest unused, so that a flood
    // of addresses cannot grow the tables.
    static constexpr int MaxAddresses = 1024;
    int trackedAddresses() const { return int(failures.size() + buckets.size()); }

private:
    struct Failures
    {
        QList<qint64> wrongAtMs;
        qint64 blockedUntilMs = 0;
        qint64 lastMs = 0;
    };
    // A token bucket in thousandths of a command, so that refilling stays exact.
    struct Bucket
    {
        qint64 milliTokens = qint64(CommandBurst) * 1000;
        qint64 lastMs = 0;
    };
    void dropExpiredFailures(qint64 nowMs);
    void dropFullBuckets(qint64 nowMs);
    const MonotonicClock &clock;
    QByteArray control;
    QByteArray view;
    QHash<QString, Failures> failures;
    QHash<QString, Bucket> buckets;
};

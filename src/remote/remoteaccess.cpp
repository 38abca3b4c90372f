#include "remoteaccess.h"

#include <QList>

#include <algorithm>

namespace {

// The peer as this program counts it: an IPv4 peer of a server listening on every address
// arrives as ::ffff:a.b.c.d and is a.b.c.d.
QHostAddress plain(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

QString keyOf(const QHostAddress &peer) { return plain(peer).toString(); }

int secondsUntil(qint64 untilMs, qint64 nowMs) { return int(std::max<qint64>(1, (untilMs - nowMs + 999) / 1000)); }

bool isPortText(const QByteArray &port)
{
    if (port.isEmpty() || port.size() > 5)
        return false;
    for (const char c : port) {
        if (c < '0' || c > '9')
            return false;
    }
    return port.toInt() <= 65535;
}

bool onlyOf(const QByteArray &text, bool (*allowed)(char))
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), allowed);
}

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

bool isIpv6Char(char c)
{
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' || c == '.';
}

// Removes the entry of `table` used longest ago (the smallest lastMs).
template<typename Table> void dropOldest(Table &table)
{
    auto oldest = table.begin();
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (it->lastMs < oldest->lastMs)
            oldest = it;
    }
    if (oldest != table.end())
        table.erase(oldest);
}

} // namespace

RemoteAccess::RemoteAccess(const MonotonicClock &monotonicClock)
    : clock(monotonicClock)
{}

void RemoteAccess::setTokens(const QString &controlToken, const QString &viewToken)
{
    control = controlToken.toUtf8();
    view = viewToken.toUtf8();
}

RemoteAccess::Decision RemoteAccess::admit(const QHostAddress &peer, const QByteArray &token)
{
    Decision decision;
    if (isLoopbackPeer(peer)) {
        decision.level = Level::Control;
        return decision;
    }
    const qint64 now = clock.nowMs();
    const QString key = keyOf(peer);
    auto entry = failures.find(key);
    if (entry != failures.end() && entry->blockedUntilMs > now) {
        decision.error = RemoteError::RateLimited;
        decision.retryAfterSeconds = secondsUntil(entry->blockedUntilMs, now);
        return decision;
    }
    if (token.isEmpty()) {
        decision.error = RemoteError::Unauthorized;
        return decision;
    }
    // Both comparisons always run, whichever matches.
    const bool isControl = sameToken(token, control) && !control.isEmpty();
    const bool isView = sameToken(token, view) && !view.isEmpty();
    if (isControl || isView) {
        decision.level = isControl ? Level::Control : Level::View;
        return decision;
    }

    if (entry == failures.end()) {
        if (failures.size() >= MaxAddresses) {
            dropExpiredFailures(now);
            if (failures.size() >= MaxAddresses)
                dropOldest(failures);
        }
        entry = failures.insert(key, Failures());
    }
    QList<qint64> &wrong = entry->wrongAtMs;
    wrong.erase(
        std::remove_if(wrong.begin(), wrong.end(), [now](qint64 atMs) { return now - atMs >= WrongTokenWindowMs; }),
        wrong.end());
    wrong.append(now);
    entry->lastMs = now;
    if (wrong.size() >= WrongTokensAllowed) {
        entry->blockedUntilMs = now + BlockMs;
        wrong.clear();
    }
    decision.error = RemoteError::Unauthorized;
    return decision;
}

QByteArray RemoteAccess::presentedToken(const QByteArray &authorization, const QByteArray &cookie)
{
    const QByteArray field = authorization.trimmed();
    const int space = int(field.indexOf(' '));
    const QByteArray scheme = space < 0 ? field : field.left(space);
    if (scheme.compare("bearer", Qt::CaseInsensitive) == 0) {
        const QByteArray token = field.mid(scheme.size()).trimmed();
        if (!token.isEmpty())
            return token;
    }
    // "a=b; zorvik_token=x"; a Cookie field given twice arrives joined with ", ".
    QByteArray pairs = cookie;
    pairs.replace(',', ';');
    for (const QByteArray &pair : pairs.split(';')) {
        const int equals = int(pair.indexOf('='));
        if (equals < 0 || pair.left(equals).trimmed() != CookieName)
            continue;
        QByteArray value = pair.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        if (!value.isEmpty())
            return value;
    }
    return QByteArray();
}

bool RemoteAccess::hostAllowed(const QByteArray &host, const QHostAddress &local)
{
    QByteArray name;
    QByteArray port;
    bool hasPort = false;
    const bool bracketed = host.startsWith('[');
    if (bracketed) {
        const int close = int(host.indexOf(']'));
        if (close < 0)
            return false;
        name = host.mid(1, close - 1);
        const QByteArray rest = host.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(':'))
                return false;
            hasPort = true;
            port = rest.mid(1);
        }
        if (!onlyOf(name, isIpv6Char))
            return false;
    } else {
        const int colon = int(host.indexOf(':'));
        if (colon >= 0) {
            hasPort = true;
            port = host.mid(colon + 1);
        }
        name = colon >= 0 ? host.left(colon) : host;
        if (!onlyOf(name, isNameChar))
            return false;
        if (name.compare("localhost", Qt::CaseInsensitive) == 0)
            return !hasPort || isPortText(port);
    }
    if (hasPort && !isPortText(port))
        return false;

    QHostAddress address;
    if (!address.setAddress(QString::fromLatin1(name)))
        return false;
    // Brackets hold an IPv6 address and nothing else; an IPv6 address needs them.
    if (bracketed != (address.protocol() == QAbstractSocket::IPv6Protocol))
        return false;
    address = plain(address);
    if (address == QHostAddress(QHostAddress::LocalHost) || address == QHostAddress(QHostAddress::LocalHostIPv6))
        return true;
    const QHostAddress arrivedOn = plain(local);
    return !arrivedOn.isNull() && arrivedOn != QHostAddress(QHostAddress::AnyIPv4)
        && arrivedOn != QHostAddress(QHostAddress::AnyIPv6) && address == arrivedOn;
}

bool RemoteAccess::originAllowed(const QByteArray &origin, const QByteArray &host)
{
    if (origin.isEmpty())
        return true;
    if (host.isEmpty())
        return false;
    return origin.toLower() == "http://" + host.toLower();
}

bool RemoteAccess::isLoopbackPeer(const QHostAddress &peer)
{
    const QHostAddress address = plain(peer);
    return address == QHostAddress(QHostAddress::LocalHost) || address == QHostAddress(QHostAddress::LocalHostIPv6);
}

bool RemoteAccess::takeCommand(const QHostAddress &peer, int *retryAfterSeconds)
{
    const qint64 now = clock.nowMs();
    const QString key = keyOf(peer);
    auto bucket = buckets.find(key);
    if (bucket == buckets.end()) {
        if (buckets.size() >= MaxAddresses) {
            dropFullBuckets(now);
            if (buckets.size() >= MaxAddresses)
                dropOldest(buckets);
        }
        Bucket fresh;
        fresh.lastMs = now;
        bucket = buckets.insert(key, fresh);
    }
    const qint64 full = qint64(CommandBurst) * 1000;
    // CommandsPerSecond thousandths of a command come back each millisecond.
    bucket->milliTokens = std::min(full, bucket->milliTokens + (now - bucket->lastMs) * CommandsPerSecond);
    bucket->lastMs = now;
    if (bucket->milliTokens >= 1000) {
        bucket->milliTokens -= 1000;
        if (retryAfterSeconds)
            *retryAfterSeconds = 0;
        return true;
    }
    if (retryAfterSeconds) {
        const qint64 waitMs = (1000 - bucket->milliTokens + CommandsPerSecond - 1) / CommandsPerSecond;
        *retryAfterSeconds = secondsUntil(now + waitMs, now);
    }
    return false;
}

bool RemoteAccess::sameToken(const QByteArray &a, const QByteArray &b)
{
    // Every byte of the longer one is looked at, whatever differs where: the time taken
    // tells nothing of how much of a guess was right.
    const qsizetype length = std::max(a.size(), b.size());
    unsigned difference = a.size() == b.size() ? 0U : 1U;
    for (qsizetype i = 0; i < length; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a.at(i)) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b.at(i)) : 0;
        difference |= unsigned(x ^ y);
    }
    return difference == 0;
}

void RemoteAccess::dropExpiredFailures(qint64 nowMs)
{
    for (auto it = failures.begin(); it != failures.end();) {
        const bool blocked = it->blockedUntilMs > nowMs;
        const bool counting = !it->wrongAtMs.isEmpty() && nowMs - it->wrongAtMs.last() < WrongTokenWindowMs;
        it = blocked || counting ? std::next(it) : failures.erase(it);
    }
}

void RemoteAccess::dropFullBuckets(qint64 nowMs)
{
    const qint64 full = qint64(CommandBurst) * 1000;
    for (auto it = buckets.begin(); it != buckets.end();) {
        const bool refilled = it->milliTokens + (nowMs - it->lastMs) * CommandsPerSecond >= full;
        it = refilled ? buckets.erase(it) : std::next(it);
    }
}

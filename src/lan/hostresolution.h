#pragma once

#include <QHostAddress>
#include <QHostInfo>
#include <QList>
#include <QString>

#include <optional>

// Where LAN datagrams go: the address text the configured host name stands for.
namespace HostResolution {

// The text every LAN datagram is held back by while the box's name does not resolve.
inline QString errorSentinel() { return QStringLiteral("error"); }

// The address to use from a look-up result: the first IPv4 one (the panel's socket sends
// over IPv4), else the first of any protocol; null when the result is empty.
QHostAddress preferredAddress(const QList<QHostAddress> &addresses);

// The host text as an address when it is one (IPv4 or IPv6 notation), else null.
QHostAddress addressLiteral(const QString &host);

// The address text of a look-up result, or the error sentinel when it failed.
QString addressFrom(const QHostInfo &lookup);

// Looks the host up now, blocking the calling thread for as long as the resolver takes;
// an address resolves to itself without asking the resolver (no reverse look-up).
// Returns the address text or the error sentinel.
QString resolveNow(const QString &hostName);

// Before each frame: the address to use at once when no look-up is needed ("Directly to
// IP" takes the host text as it is; an address is itself), else nothing, and a look-up
// is to be started whose result applies to later frames.
std::optional<QString> addressWithoutLookup(const QString &hostName, bool directIp);

} // namespace HostResolution

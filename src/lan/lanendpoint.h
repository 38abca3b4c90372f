#pragma once

#include <QHostAddress>
#include <QString>

namespace LanEndpoint {

// The box's UDP port from its settings text: a whole number from 1 to 65535, else 0
// (no valid destination; nothing is sent rather than sending to an unrelated port).
quint16 portFrom(const QString &text);

// Whether a datagram's sender is the box at `hostAddress` (IPv4-mapped IPv6 senders
// compare as IPv4). The sentinel "error", an empty text or a name never match.
bool isFromBox(const QHostAddress &sender, const QString &hostAddress);
// The same for the box's address already parsed from its text (QHostAddress(text)):
// a null address, what the sentinel, an empty text or a name parse to, never matches.
bool isFromBox(const QHostAddress &sender, const QHostAddress &box);

} // namespace LanEndpoint

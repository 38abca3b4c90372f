#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

namespace HostResolution {

// The text every LAN datagram is held back by while the box's name does not resolve.
inline QString errorSentinel() { return QStringLiteral("error"); }

// The address to use from a look-up result: the first IPv4 one (the panel's socket sends
// over IPv4), else the first of any protocol; null when the result is empty.
QHostAddress preferredAddress(const QList<QHostAddress> &addresses);

} // namespace HostResolution

#include "lanendpoint.h"

namespace LanEndpoint {

quint16 portFrom(const QString &text)
{
    bool ok = false;
    const int port = text.toInt(&ok, 10);
    return ok && port >= 1 && port <= 65535 ? static_cast<quint16>(port) : 0;
}

bool isFromBox(const QHostAddress &sender, const QString &hostAddress)
{
    return isFromBox(sender, QHostAddress(hostAddress));
}

bool isFromBox(const QHostAddress &sender, const QHostAddress &box)
{
    if (box.isNull() || sender.isNull())
        return false;
    return box.isEqual(sender, QHostAddress::ConvertV4MappedToIPv4);
}

} // namespace LanEndpoint

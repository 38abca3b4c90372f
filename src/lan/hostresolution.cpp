#include "hostresolution.h"

namespace HostResolution {

QHostAddress preferredAddress(const QList<QHostAddress> &addresses)
{
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    }
    return addresses.isEmpty() ? QHostAddress() : addresses.first();
}

QHostAddress addressLiteral(const QString &host)
{
    QHostAddress address;
    return address.setAddress(host.trimmed()) ? address : QHostAddress();
}

QString addressFrom(const QHostInfo &lookup)
{
    const QHostAddress address = preferredAddress(lookup.addresses());
    if (lookup.error() != QHostInfo::NoError || address.isNull())
        return errorSentinel();
    return address.toString();
}

QString resolveNow(const QString &hostName)
{
    if (const QHostAddress literal = addressLiteral(hostName); !literal.isNull())
        return literal.toString();
    return addressFrom(QHostInfo::fromName(hostName));
}

std::optional<QString> addressWithoutLookup(const QString &hostName, bool directIp)
{
    if (directIp)
        return hostName;
    if (const QHostAddress literal = addressLiteral(hostName); !literal.isNull())
        return literal.toString();
    return std::nullopt;
}

} // namespace HostResolution

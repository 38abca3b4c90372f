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

} // namespace HostResolution

#include "remotepageaddress.h"

#include <QHostAddress>
#include <QNetworkInterface>

namespace RemotePageAddress {

namespace {
QString firstNetworkAddress()
{
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString();
    }
    return QStringLiteral("127.0.0.1");
}
} // namespace

QString of(const PanelSettings::Remote &remote)
{
    using Mode = PanelSettings::Remote::Mode;
    QString host;
    switch (remote.mode) {
    case Mode::Off:
        return {};
    case Mode::Local:
        host = QStringLiteral("127.0.0.1");
        break;
    case Mode::Network: {
        const QHostAddress chosen(remote.address);
        if (remote.address.isEmpty() || chosen == QHostAddress::Any || chosen == QHostAddress::AnyIPv4
            || chosen == QHostAddress::AnyIPv6)
            host = firstNetworkAddress();
        else if (chosen.protocol() == QAbstractSocket::IPv6Protocol)
            host = QLatin1Char('[') + chosen.toString() + QLatin1Char(']');
        else
            host = chosen.isNull() ? remote.address : chosen.toString();
        break;
    }
    }
    return QStringLiteral("http://%1:%2/").arg(host).arg(remote.port);
}

QString withToken(const QString &address, const QString &token)
{
    if (address.isEmpty() || token.isEmpty())
        return address;
    return address + QStringLiteral("#token=") + token;
}

} // namespace RemotePageAddress

#include "udplink.h"

#include "console.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

using namespace TalmekSim;

namespace {
QString peer(const QHostAddress &address, quint16 port)
{
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}
} // namespace

UdpLink::UdpLink(SwitchBox &box, ReplyPolicy &policy, const LinkOptions &options, QObject *parent)
    : QObject(parent)
    , m_socket(new QUdpSocket(this))
    , m_session(box)
    , m_policy(policy)
    , m_options(options)
{
    connect(m_socket, &QUdpSocket::readyRead, this, &UdpLink::readPending);
}

bool UdpLink::bind(const QHostAddress &address, quint16 port, QString *error)
{
    if (!m_socket->bind(address, port)) {
        *error = QStringLiteral("cannot bind UDP %1: %2").arg(peer(address, port), m_socket->errorString());
        return false;
    }
    return true;
}

QHostAddress UdpLink::localAddress() const { return m_socket->localAddress(); }

quint16 UdpLink::localPort() const { return m_socket->localPort(); }

void UdpLink::readPending()
{
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        if (!datagram.isValid())
            continue;
        const auto result = m_session.receive(datagram.data());
        const QHostAddress from = datagram.senderAddress();
        const quint16 fromPort = static_cast<quint16>(datagram.senderPort());
        if (m_options.hex) {
            QString note;
            if (!result.wellFormed)
                note = QStringLiteral(" (malformed)");
            else if (result.outcome == Outcome::Refused)
                note = QStringLiteral(" (refused)");
            else if (result.outcome == Outcome::Invalid)
                note = QStringLiteral(" (invalid)");
            Console::line(
                QStringLiteral("RX udp %1 %2%3").arg(peer(from, fromPort), Console::hex(datagram.data()), note));
        }
        if (result.reply.isEmpty())
            continue;
        if (!m_policy.allowReply()) {
            if (m_options.hex)
                Console::line(QStringLiteral("-- udp reply not sent (%1)")
                                  .arg(m_policy.isSilent() ? QStringLiteral("silent") : QStringLiteral("dropped")));
            continue;
        }
        if (m_options.delayMs > 0) {
            QTimer::singleShot(m_options.delayMs, this,
                               [this, reply = result.reply, from, fromPort] { sendReply(reply, from, fromPort); });
        } else {
            sendReply(result.reply, from, fromPort);
        }
    }
}

void UdpLink::sendReply(const QByteArray &reply, const QHostAddress &to, quint16 port)
{
    if (m_options.hex)
        Console::line(
            QStringLiteral("TX udp %1 %2 \"%3\"").arg(peer(to, port), Console::hex(reply), QString::fromLatin1(reply)));
    m_socket->writeDatagram(reply, to, port);
}

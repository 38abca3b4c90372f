#pragma once

#include "lansession.h"
#include "linkoptions.h"
#include "replypolicy.h"

#include <QHostAddress>
#include <QObject>

class QUdpSocket;

// The box's UDP endpoint: one datagram per command; each state request is answered with
// one datagram to the address and port it came from.
class UdpLink : public QObject
{
    Q_OBJECT

public:
    UdpLink(TalmekSim::SwitchBox &box, TalmekSim::ReplyPolicy &policy, const LinkOptions &options,
            QObject *parent = nullptr);

    bool bind(const QHostAddress &address, quint16 port, QString *error);
    QHostAddress localAddress() const;
    quint16 localPort() const;
    const TalmekSim::LanSession &session() const { return m_session; }

private:
    void readPending();
    void sendReply(const QByteArray &reply, const QHostAddress &to, quint16 port);

    QUdpSocket *m_socket;
    TalmekSim::LanSession m_session;
    TalmekSim::ReplyPolicy &m_policy;
    LinkOptions m_options;
};

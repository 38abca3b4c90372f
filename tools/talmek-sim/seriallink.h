#pragma once

#include "linkoptions.h"
#include "replypolicy.h"
#include "serialsession.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>

// The box's end of one serial line, whatever carries it (a pseudo-terminal or a real
// port). Subclasses deliver received bytes to handleReceived() and write what writeBytes()
// is given. Replies pass the reply policy, then may be held back to be glued to the next
// one, delayed, or cut in pieces; one ordered queue keeps them in order whatever the shaping.
// Lives on the main thread like everything else in the simulator.
class SerialLink : public QObject
{
    Q_OBJECT

public:
    SerialLink(const QString &transport, TalmekSim::SwitchBox &box, TalmekSim::ReplyPolicy &policy,
               const LinkOptions &options, QObject *parent = nullptr);

    QString transport() const { return m_transport; }
    const TalmekSim::SerialSession &session() const { return m_session; }
    // Writes the bytes behind any reply already waiting to go out.
    void sendRaw(const QByteArray &bytes);

protected:
    void handleReceived(const QByteArray &bytes);
    virtual void writeBytes(const QByteArray &bytes) = 0;

private:
    struct Outgoing
    {
        qint64 due = 0;
        QByteArray bytes;
    };

    void queueReply(const QByteArray &reply);
    void enqueue(const QByteArray &bytes, qint64 due);
    void sendDue();
    void scheduleNext();

    QString m_transport;
    TalmekSim::SerialSession m_session;
    TalmekSim::ReplyPolicy &m_policy;
    LinkOptions m_options;
    QByteArray m_held;
    std::deque<Outgoing> m_outgoing;
    QTimer m_sendTimer;
    QElapsedTimer m_clock;
};

#pragma once

#include <QByteArray>
#include <QList>

// LanFrame payloads waiting to be sent, oldest first, with superseding by command code
// (the payload's second byte): a new state request replaces the queued state requests,
// and a new channel-1 selection replaces queued channel-1 selections and state requests.
// Nothing else is ever superseded, so no operator command is dropped for a poll.
//
// Not thread-safe by itself: the LAN worker guards it with its mutex.
class DatagramQueue
{
public:
    void enqueue(const QByteArray &payload);
    bool isEmpty() const { return payloads.isEmpty(); }
    int size() const { return payloads.size(); }
    QByteArray takeFirst() { return payloads.takeFirst(); }
    const QList<QByteArray> &contents() const { return payloads; }

    // The command code of a payload, or -1 when it has none.
    static int commandCode(const QByteArray &payload);

private:
    QList<QByteArray> payloads;
};

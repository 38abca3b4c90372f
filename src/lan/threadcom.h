#pragma once

#include "datagramqueue.h"
#include "engine/monotonicclock.h"
#include "queuemutex.h"

#include <QHostAddress>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <optional>

class QUdpSocket;

// The LAN worker: queues LanFrame datagrams (with superseding), sends them no closer than
// 90 ms apart, and hands every datagram the box sends back as text (textReceived).
//
// Thread contract: the object and its socket belong to the GUI thread, where
// enqueueDatagram(), setDestination(), lastDatagramTime() and receiveUDP() run. Every write
// to the socket happens on that thread too: a datagram that may leave at once is written by
// enqueueDatagram() itself; one that has to wait for the spacing (or for the box's name to
// resolve) is picked by run(), on the worker thread, under queueMutex and handed back to
// the socket's thread through the queued signal writeDue(). queueMutex guards the queue,
// the destination, the send time and the datagram in flight, and is never held while
// sleeping or inside the socket. Every time is taken from the clock the worker was given.
class ThreadCOM : public QThread
{
    Q_OBJECT

public:
    explicit ThreadCOM(const MonotonicClock &clock = steadyClock());
    ~ThreadCOM() override;

    static constexpr qint64 SpacingMs = 90;

    void enqueueDatagram(const QByteArray &payload);
    // Where datagrams go, as the window knows it now: the address text (or "error",
    // which holds every datagram back) and the port text. Applied when a datagram
    // leaves, not when it was queued.
    void setDestination(const QString &hostAddress, const QString &portText);
    // When the last datagram was handed to the socket, in the clock's milliseconds; 0
    // until the first.
    qint64 lastDatagramTime() const;
    // The local port replies come back to.
    quint16 localPort() const;
    int pendingDatagrams() const;
    // Every datagram read off the socket so far, the box's and stray ones alike: one per
    // "Read Pending Datagram!" line. Readable from any thread.
    quint64 datagramsRead() const { return readCount.load(std::memory_order_relaxed); }
    // For the box's latest datagram: the time from the last datagram sent to its arrival,
    // taken as it was read, in whole milliseconds; nothing when none had been sent. GUI
    // thread.
    std::optional<qint64> lastReplyRoundTrip() const { return lastRoundTrip; }

signals:
    // A datagram from the box, as its bytes up to the first zero byte, one Latin-1
    // character each.
    void textReceived(const QString &text);
    // Worker to socket thread: a datagram is ready in the hand-over slot.
    void writeDue();

public slots:
    void receiveUDP();

protected:
    void run() override;

private:
    bool readyToSend() const;
    // Takes the head datagram into the hand-over slot; false when it has no valid
    // destination and was dropped.
    bool takeHeadForSending();
    void writePending();

    const MonotonicClock &clock;
    DatagramQueue datagramQueue;
    mutable QueueMutex queueMutex;
    QUdpSocket *udpSocket;
    qint64 lastSendTime = 0;
    qint64 lastSendTimeUs = 0; // the same moment, for the round trip
    QString destinationHost;
    QString destinationPort;
    // The destination as read once when it changes, not per datagram: the address (null
    // for "error", an empty text or a name) and the port (0 when not valid).
    QHostAddress destinationAddress;
    quint16 destinationPortNumber = 0;
    // The datagram handed to the socket's thread, and where it goes.
    bool sendInFlight = false;
    QByteArray pendingPayload;
    QHostAddress pendingAddress;
    quint16 pendingPort = 0;
    // Written by receiveUDP() only; atomic so that a thread that paces a sender can read it.
    std::atomic<quint64> readCount{0};
    std::optional<qint64> lastRoundTrip;
    std::atomic<bool> stopRequested{false};
    // Wakes the worker when something may leave: a datagram queued that could not go at
    // once, the destination changed, the previous datagram written, or the stop requested.
    std::condition_variable_any wakeUp;
};

#pragma once

#include "datagramqueue.h"
#include "queuemutex.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>

class MainWindow;
class QUdpSocket;

// The LAN worker: queues LanFrame datagrams (with superseding), sends them no closer than
// 90 ms apart, and hands every datagram the box sends back to the window's reply handler.
//
// Thread contract: the object and its socket belong to the GUI thread, where
// enqueueDatagram(), setDestination(), lastDatagramTime() and receiveUDP() run. run()
// executes on the worker thread; it only decides, under queueMutex, which datagram
// leaves next, and posts the actual write to the socket's thread, so the socket is used
// from one thread only. queueMutex guards the queue, the destination, the send time and
// the datagram in flight, and is never held while sleeping or inside the socket.
class ThreadCOM : public QThread
{
    Q_OBJECT

public:
    explicit ThreadCOM(MainWindow *window);
    ~ThreadCOM() override;

    void enqueueDatagram(const QByteArray &payload);
    // Where datagrams go, as the window knows it now: the address text (or "error",
    // which holds every datagram back) and the port text. Applied when a datagram
    // leaves, not when it was queued.
    void setDestination(const QString &hostAddress, const QString &portText);
    qint64 lastDatagramTime() const;
    // The local port replies come back to.
    quint16 localPort() const;
    int pendingDatagrams() const;

public slots:
    void receiveUDP();

protected:
    void run() override;

private slots:
    void writePending();

private:
    bool readyToSend() const;

    MainWindow *window;
    DatagramQueue datagramQueue;
    mutable QueueMutex queueMutex;
    QUdpSocket *udpSocket;
    qint64 lastSendTime = 0;
    QString destinationHost;
    QString destinationPort;
    // The datagram handed from the worker thread to the socket's thread, and where it goes.
    bool sendInFlight = false;
    QByteArray pendingPayload;
    QString pendingHost;
    quint16 pendingPort = 0;
    std::atomic<bool> stopRequested{false};
    // Wakes the worker when something may leave: a datagram queued, the destination
    // changed, the previous datagram written, or the stop requested.
    std::condition_variable_any wakeUp;
};

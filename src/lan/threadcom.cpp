#include "threadcom.h"

#include "app/mainwindow.h"
#include "hostresolution.h"
#include "lanendpoint.h"

#include <QDateTime>
#include <QDebug>
#include <QHostAddress>
#include <QUdpSocket>

#include <mutex>
#include <utility>

namespace {
constexpr unsigned long PassMs = 90;
}

ThreadCOM::ThreadCOM(MainWindow *window)
    : window(window)
    , udpSocket(new QUdpSocket(this))
{
    // Port 0: the system picks the source port, and the box answers to it.
    udpSocket->bind(QHostAddress(QHostAddress::AnyIPv4), 0);
    connect(udpSocket, &QUdpSocket::readyRead, this, &ThreadCOM::receiveUDP);
    start(QThread::InheritPriority);
}

ThreadCOM::~ThreadCOM()
{
    udpSocket->close();
    stopRequested = true;
    wait();
}

void ThreadCOM::enqueueDatagram(const QByteArray &payload)
{
    std::lock_guard<QueueMutex> lock(queueMutex);
    datagramQueue.enqueue(payload);
}

void ThreadCOM::setDestination(const QString &hostAddress, const QString &portText)
{
    std::lock_guard<QueueMutex> lock(queueMutex);
    destinationHost = hostAddress;
    destinationPort = portText;
}

qint64 ThreadCOM::lastDatagramTime() const
{
    std::lock_guard<QueueMutex> lock(queueMutex);
    return lastSendTime;
}

quint16 ThreadCOM::localPort() const
{
    return udpSocket->localPort();
}

int ThreadCOM::pendingDatagrams() const
{
    std::lock_guard<QueueMutex> lock(queueMutex);
    return datagramQueue.size();
}

void ThreadCOM::run()
{
    while (!stopRequested) {
        msleep(PassMs);
        std::unique_lock<QueueMutex> lock(queueMutex);
        if (datagramQueue.isEmpty() || destinationHost == HostResolution::errorSentinel())
            continue; // held, not dropped, while the box's name does not resolve
        // One datagram at a time, and never closer than 90 ms to the previous one,
        // however late the GUI thread gets round to the write.
        if (sendInFlight || QDateTime::currentMSecsSinceEpoch() - lastSendTime < qint64(PassMs))
            continue;
        const QByteArray payload = datagramQueue.takeFirst();
        const quint16 port = LanEndpoint::portFrom(destinationPort);
        if (port == 0 || QHostAddress(destinationHost).isNull())
            continue; // no valid destination: nothing goes to the wrong place
        pendingPayload = payload;
        pendingHost = destinationHost;
        pendingPort = port;
        sendInFlight = true;
        lock.unlock();
        QMetaObject::invokeMethod(this, "writePending", Qt::QueuedConnection);
    }
}

void ThreadCOM::writePending()
{
    std::unique_lock<QueueMutex> lock(queueMutex);
    const QByteArray payload = std::exchange(pendingPayload, QByteArray());
    const QHostAddress host(pendingHost);
    const quint16 port = pendingPort;
    lock.unlock();
    udpSocket->writeDatagram(payload, host, port);
    lock.lock();
    lastSendTime = QDateTime::currentMSecsSinceEpoch();
    sendInFlight = false;
}

void ThreadCOM::receiveUDP()
{
    // Every waiting datagram is handled now: Qt does not notify again for datagrams
    // that were already pending, so none may wait for a later one.
    while (udpSocket->hasPendingDatagrams()) {
        qDebug() << "Read Pending Datagram!";
        const qint64 size = udpSocket->pendingDatagramSize();
        QByteArray buffer(int(qMax<qint64>(size, 0)), Qt::Uninitialized);
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 read = udpSocket->readDatagram(buffer.data(), buffer.size(), &sender, &senderPort);
        if (read < 0)
            break;
        buffer.truncate(int(read));
        // Only the box may drive the panel and its link lamp.
        if (!LanEndpoint::isFromBox(sender, window->boxHostAddress()))
            continue;
        const int zero = buffer.indexOf('\0');
        const QString text = QString::fromLatin1(buffer.constData(), zero < 0 ? buffer.size() : zero);
        window->processaPDRLan(window, text);
    }
}

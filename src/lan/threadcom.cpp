#include "threadcom.h"

#include "app/mainwindow.h"
#include "hostresolution.h"
#include "lanendpoint.h"

#include <QDateTime>
#include <QDebug>
#include <QHostAddress>
#include <QUdpSocket>

#include <chrono>
#include <mutex>
#include <utility>

namespace {
constexpr unsigned long PassMs = 90;
constexpr int MaxDatagramsPerNotice = 64;
} // namespace

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
    {
        std::lock_guard<QueueMutex> lock(queueMutex);
        stopRequested = true;
    }
    wakeUp.notify_all();
    wait();
}

void ThreadCOM::enqueueDatagram(const QByteArray &payload)
{
    std::lock_guard<QueueMutex> lock(queueMutex);
    datagramQueue.enqueue(payload);
    wakeUp.notify_all();
}

void ThreadCOM::setDestination(const QString &hostAddress, const QString &portText)
{
    std::lock_guard<QueueMutex> lock(queueMutex);
    if (destinationHost == hostAddress && destinationPort == portText)
        return;
    destinationHost = hostAddress;
    destinationPort = portText;
    wakeUp.notify_all();
}

qint64 ThreadCOM::lastDatagramTime() const
{
    std::lock_guard<QueueMutex> lock(queueMutex);
    return lastSendTime;
}

quint16 ThreadCOM::localPort() const { return udpSocket->localPort(); }

int ThreadCOM::pendingDatagrams() const
{
    std::lock_guard<QueueMutex> lock(queueMutex);
    return datagramQueue.size();
}

bool ThreadCOM::readyToSend() const
{
    // Held, not dropped, while the box's name does not resolve; one datagram at a time
    // on its way to the socket.
    return !datagramQueue.isEmpty() && destinationHost != HostResolution::errorSentinel() && !sendInFlight;
}

void ThreadCOM::run()
{
    std::unique_lock<QueueMutex> lock(queueMutex);
    while (!stopRequested) {
        // Sleeps until something can leave, so an idle link costs no wake-ups.
        wakeUp.wait(lock, [this] { return stopRequested || readyToSend(); });
        if (stopRequested)
            break;
        // Never closer than 90 ms to the previous datagram, however late the GUI thread
        // got round to writing it.
        const qint64 early = lastSendTime + qint64(PassMs) - QDateTime::currentMSecsSinceEpoch();
        if (early > 0) {
            wakeUp.wait_for(lock, std::chrono::milliseconds(early), [this] { return stopRequested.load(); });
            continue;
        }
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
        lock.lock();
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
    wakeUp.notify_all();
}

void ThreadCOM::receiveUDP()
{
    // A bounded batch per notification, so a flood cannot starve the timers and the
    // painting; the socket notifies again at once while datagrams are left.
    for (int batch = 0; batch < MaxDatagramsPerNotice && udpSocket->hasPendingDatagrams(); ++batch) {
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

#include "threadcom.h"

#include "hostresolution.h"
#include "lanendpoint.h"

#include <QDebug>
#include <QHostAddress>
#include <QUdpSocket>

#include <mutex>
#include <utility>

namespace {
constexpr int MaxDatagramsPerNotice = 64;
} // namespace

ThreadCOM::ThreadCOM(const MonotonicClock &monotonicClock)
    : clock(monotonicClock)
    , udpSocket(new QUdpSocket(this))
{
    // Port 0: the system picks the source port, and the box answers to it.
    udpSocket->bind(QHostAddress(QHostAddress::AnyIPv4), 0);
    connect(udpSocket, &QUdpSocket::readyRead, this, &ThreadCOM::receiveUDP);
    // Carries no data itself: the datagram waits in the hand-over slot, under queueMutex.
    connect(this, &ThreadCOM::writeDue, this, &ThreadCOM::writePending, Qt::QueuedConnection);
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
    clock.wake();
    wait();
}

void ThreadCOM::enqueueDatagram(const QByteArray &payload)
{
    std::unique_lock<QueueMutex> lock(queueMutex);
    datagramQueue.enqueue(payload);
    if (!readyToSend())
        return; // held back; whatever releases it wakes the worker
    const bool spaced = lastSendTime == 0 || clock.nowMs() - lastSendTime >= SpacingMs;
    if (spaced && datagramQueue.size() == 1) {
        // Nothing ahead of it and the spacing kept: this is the socket's thread, so it
        // goes out now, and the worker sleeps on.
        const bool valid = takeHeadForSending();
        lock.unlock();
        if (valid)
            writePending();
        return;
    }
    wakeUp.notify_all();
}

void ThreadCOM::setDestination(const QString &hostAddress, const QString &portText)
{
    std::lock_guard<QueueMutex> lock(queueMutex);
    if (destinationHost == hostAddress && destinationPort == portText)
        return;
    destinationHost = hostAddress;
    destinationPort = portText;
    destinationAddress = QHostAddress(hostAddress);
    destinationPortNumber = LanEndpoint::portFrom(portText);
    if (readyToSend())
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

bool ThreadCOM::takeHeadForSending()
{
    QByteArray payload = datagramQueue.takeFirst();
    if (destinationPortNumber == 0 || destinationAddress.isNull())
        return false; // no valid destination: nothing goes to the wrong place
    pendingPayload = std::move(payload);
    pendingAddress = destinationAddress;
    pendingPort = destinationPortNumber;
    sendInFlight = true;
    return true;
}

void ThreadCOM::run()
{
    std::unique_lock<QueueMutex> lock(queueMutex);
    while (!stopRequested) {
        // Sleeps until something can leave, so an idle link costs no wake-ups.
        wakeUp.wait(lock, [this] { return stopRequested || readyToSend(); });
        if (stopRequested)
            break;
        // Never closer than the spacing to the previous datagram, however late the
        // socket's thread got round to writing it.
        if (lastSendTime != 0) {
            const qint64 due = lastSendTime + SpacingMs;
            if (clock.nowMs() < due) {
                lock.unlock();
                clock.sleepUntil(due, stopRequested);
                lock.lock();
                continue;
            }
        }
        if (takeHeadForSending()) {
            lock.unlock();
            emit writeDue();
            lock.lock();
        }
    }
}

void ThreadCOM::writePending()
{
    std::unique_lock<QueueMutex> lock(queueMutex);
    if (!sendInFlight)
        return;
    const QByteArray payload = std::exchange(pendingPayload, QByteArray());
    const QHostAddress host = pendingAddress;
    const quint16 port = pendingPort;
    lock.unlock();
    udpSocket->writeDatagram(payload, host, port);
    lock.lock();
    lastSendTimeUs = clock.nowUs();
    lastSendTime = lastSendTimeUs / 1000;
    sendInFlight = false;
    if (readyToSend())
        wakeUp.notify_all();
}

void ThreadCOM::receiveUDP()
{
    // A bounded batch per notification, so a flood cannot starve the timers and the
    // painting; the socket notifies again at once while datagrams are left.
    for (int batch = 0; batch < MaxDatagramsPerNotice && udpSocket->hasPendingDatagrams(); ++batch) {
        // The message form, not the stream: the same line through the same handler, without
        // building a QDebug stream for every datagram (most of what a reply cost this thread).
        qDebug("Read Pending Datagram!");
        const qint64 size = udpSocket->pendingDatagramSize();
        QByteArray buffer(int(qMax<qint64>(size, 0)), Qt::Uninitialized);
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 read = udpSocket->readDatagram(buffer.data(), buffer.size(), &sender, &senderPort);
        if (read < 0)
            break;
        buffer.truncate(int(read));
        readCount.store(readCount.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        const qint64 arrivalUs = clock.nowUs();
        QHostAddress box;
        qint64 sentUs = 0;
        {
            std::lock_guard<QueueMutex> lock(queueMutex);
            box = destinationAddress;
            sentUs = lastSendTimeUs;
        }
        // Only the box may drive the panel and its link lamp.
        if (!LanEndpoint::isFromBox(sender, box))
            continue;
        // The time that passed, in whole milliseconds: a reply 0.3 ms after its request is
        // 0, even when a millisecond's step of the clock fell between the two.
        lastRoundTrip = sentUs != 0 ? std::optional<qint64>((arrivalUs - sentUs) / 1000) : std::nullopt;
        const int zero = buffer.indexOf('\0');
        emit textReceived(QString::fromLatin1(buffer.constData(), zero < 0 ? buffer.size() : zero));
    }
}

#include "loggerlistener.h"

#include <QNetworkInterface>
#include <QUdpSocket>

#include <algorithm>

namespace LoggerSender {

namespace {
QHostAddress asIPv4WhenMapped(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return mapped && address.protocol() == QAbstractSocket::IPv6Protocol ? QHostAddress(v4) : address;
}
} // namespace

bool accepted(const QHostAddress &sender, const QList<QHostAddress> &acceptFrom,
              const QList<QNetworkAddressEntry> &ownNetworks)
{
    const QHostAddress from = asIPv4WhenMapped(sender);
    if (from.isNull())
        return false;
    if (!acceptFrom.isEmpty()) {
        return std::any_of(acceptFrom.cbegin(), acceptFrom.cend(), [&from](const QHostAddress &listed) {
            return from.isEqual(listed, QHostAddress::ConvertV4MappedToIPv4);
        });
    }
    if (from.isLoopback())
        return true;
    return std::any_of(ownNetworks.cbegin(), ownNetworks.cend(), [&from](const QNetworkAddressEntry &own) {
        // A prefix of 0 would take in every address there is: only the address itself then.
        return from.isEqual(own.ip(), QHostAddress::ConvertV4MappedToIPv4)
            || (own.prefixLength() > 0 && from.isInSubnet(own.ip(), own.prefixLength()));
    });
}

QList<QNetworkAddressEntry> ownNetworks()
{
    QList<QNetworkAddressEntry> entries;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        const bool up = nic.flags().testFlag(QNetworkInterface::IsUp);
        for (QNetworkAddressEntry entry : nic.addressEntries()) {
            if (!up)
                entry.setPrefixLength(0); // its address is still this computer's, its network not near
            entries.append(entry);
        }
    }
    return entries;
}

} // namespace LoggerSender

namespace {
// A bounded batch per notification, so a flood cannot starve the timers and the painting;
// the socket notifies again at once while datagrams are left.
constexpr int MaxDatagramsPerNotice = 64;
// Interfaces come and go (a cable, a Wi-Fi network, a VPN): their networks are read again
// when a datagram arrives this long after the last reading.
constexpr qint64 NetworksRefreshMs = 10000;
} // namespace

LoggerListener::LoggerListener(const MonotonicClock &monotonicClock, QObject *parent)
    : QObject(parent)
    , clock(monotonicClock)
    , socket(new QUdpSocket(this))
{
    wakeUp.setSingleShot(true);
    connect(&wakeUp, &QTimer::timeout, this, &LoggerListener::service);
    connect(socket, &QUdpSocket::readyRead, this, &LoggerListener::onReadyRead);
}

LoggerListener::~LoggerListener()
{
    socket->disconnect(this);
    socket->abort();
}

bool LoggerListener::start(const Options &with)
{
    stop();
    options = with;
    error.clear();
    takenCount = malformedCount = senderCount = stationCount = 0;
    if (!socket->bind(QHostAddress::AnyIPv4, options.port,
                      QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        error = socket->errorString();
        socket->abort();
        return false;
    }
    listening = true;
    const qint64 now = clock.nowMs();
    networks = LoggerSender::ownNetworks();
    networksReadAt = now;
    // A radio not heard since the start is as silent as one that stopped.
    heardAt.fill(now);
    silenceNoted.fill(false);
    scheduleWake();
    return true;
}

void LoggerListener::stop()
{
    listening = false;
    wakeUp.stop();
    socket->abort();
}

quint16 LoggerListener::localPort() const { return listening ? socket->localPort() : 0; }

void LoggerListener::onReadyRead()
{
    for (int batch = 0; batch < MaxDatagramsPerNotice && listening && socket->hasPendingDatagrams(); ++batch) {
        const qint64 size = socket->pendingDatagramSize();
        if (size < 0)
            break;
        // A datagram too large for a report is read (its rest goes with the read) and
        // dropped whole: none of it is parsed.
        const bool tooLarge = size > RadioInfo::MaxDatagramSize;
        QByteArray datagram(tooLarge ? 1 : int(size), Qt::Uninitialized);
        QHostAddress sender;
        const qint64 read = socket->readDatagram(datagram.data(), datagram.size(), &sender);
        if (read < 0)
            break;
        datagram.truncate(tooLarge ? 0 : int(read));
        take(sender, datagram);
    }
}

void LoggerListener::take(const QHostAddress &sender, const QByteArray &datagram)
{
    if (!senderAccepted(sender)) {
        ++senderCount;
        return;
    }
    const std::optional<RadioInfo::Report> parsed = RadioInfo::parse(datagram);
    if (!parsed) {
        ++malformedCount;
        return;
    }
    if (!options.station.isEmpty() && parsed->station != options.station) {
        ++stationCount;
        return;
    }
    ++takenCount;
    const int radio = parsed->radio;
    heardAt[radio] = clock.nowMs();
    if (silenceNoted[radio]) {
        silenceNoted[radio] = false;
        emit message(radio, tr("Radio %1: logger heard").arg(radio));
        if (!listening) // stopped by whoever took the note
            return;
    }
    scheduleWake();
    emit report(radio, *parsed);
}

bool LoggerListener::senderAccepted(const QHostAddress &sender)
{
    if (options.acceptFrom.isEmpty() && clock.nowMs() - networksReadAt >= NetworksRefreshMs) {
        networks = LoggerSender::ownNetworks();
        networksReadAt = clock.nowMs();
    }
    return LoggerSender::accepted(sender, options.acceptFrom, networks);
}

void LoggerListener::service()
{
    if (!listening)
        return;
    const qint64 now = clock.nowMs();
    for (int radio = 1; radio <= 2; ++radio) {
        if (!options.radios[radio] || silenceNoted[radio] || now - heardAt[radio] < SilenceMs)
            continue;
        silenceNoted[radio] = true;
        emit message(radio, tr("Radio %1: no word from the logger for %2 s").arg(radio).arg(SilenceMs / 1000));
        if (!listening)
            return;
    }
    scheduleWake();
}

void LoggerListener::scheduleWake()
{
    const qint64 now = clock.nowMs();
    qint64 due = -1;
    for (int radio = 1; radio <= 2; ++radio) {
        if (options.radios[radio] && !silenceNoted[radio]) {
            const qint64 at = heardAt[radio] + SilenceMs;
            due = due < 0 ? at : std::min(due, at);
        }
    }
    if (due < 0) {
        wakeUp.stop();
        return;
    }
    wakeUp.start(int(std::clamp<qint64>(due - now, 1, SilenceMs)));
}

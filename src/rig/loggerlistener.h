#pragma once

#include "engine/monotonicclock.h"
#include "radioinfo.h"

#include <QHostAddress>
#include <QList>
#include <QNetworkAddressEntry>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class QUdpSocket;

// Who may tell the station which band its radios are on. A sender listed in `acceptFrom`
// when the list is not empty; otherwise this computer (loopback and its own addresses) and
// the networks its interfaces are directly on, so that a port open to a wider network
// cannot be used to switch the antennas. IPv4-mapped IPv6 addresses compare as IPv4.
namespace LoggerSender {

// A network of prefix length 0 stands for its address alone.
bool accepted(const QHostAddress &sender, const QList<QHostAddress> &acceptFrom,
              const QList<QNetworkAddressEntry> &ownNetworks);

// This computer's addresses with the networks (address and prefix length) of its interfaces
// that are up; an interface that is down gives its address alone (prefix length 0).
QList<QNetworkAddressEntry> ownNetworks();

} // namespace LoggerSender

// Listens for the RadioInfo datagrams a contest logger broadcasts, one per radio, at every
// change and at least every 10 s. The port is bound shared on every IPv4 address, so another
// program on this computer can listen on it too and both receive every broadcast datagram.
// A datagram that is no report, comes from a sender not accepted or from another station is
// dropped and counted, never reported one by one.
//
// A followed radio whose reports stop for SilenceMs gets one note, and another when they
// come again. The silence is measured on the MonotonicClock; a timer only wakes service(),
// which tests on a hand-moved clock call instead.
//
// Thread contract: GUI thread only (the socket lives there).
class LoggerListener : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 SilenceMs = 30000;

    struct Options
    {
        quint16 port = 12060;
        // Empty: every station.
        QString station;
        // Empty: this computer and the networks its interfaces are directly on.
        QList<QHostAddress> acceptFrom;
        // [1], [2]: which radios are followed (silence notes only for those).
        std::array<bool, 3> radios{};
    };

    explicit LoggerListener(const MonotonicClock &clock, QObject *parent = nullptr);
    ~LoggerListener() override;

    // False, with errorString(), when the port cannot be bound.
    bool start(const Options &options);
    void stop();
    bool isListening() const { return listening; }
    QString errorString() const { return error; }
    quint16 localPort() const;

    // Since the last start(): reports taken; datagrams dropped as no report (malformed, junk,
    // oversized), as from a sender not accepted, as of another station.
    quint64 taken() const { return takenCount; }
    quint64 droppedMalformed() const { return malformedCount; }
    quint64 droppedSender() const { return senderCount; }
    quint64 droppedStation() const { return stationCount; }

public slots:
    void service();

signals:
    void report(int radio, const RadioInfo::Report &report);
    // "Radio N: no word from the logger for 30 s" once; "Radio N: logger heard" when
    // reports come again.
    void message(int radio, const QString &text);

private:
    void onReadyRead();
    void take(const QHostAddress &sender, const QByteArray &datagram);
    bool senderAccepted(const QHostAddress &sender);
    void scheduleWake();

    const MonotonicClock &clock;
    QUdpSocket *socket;
    QTimer wakeUp;
    Options options;
    bool listening = false;
    QString error;
    QList<QNetworkAddressEntry> networks;
    qint64 networksReadAt = 0;
    std::array<qint64, 3> heardAt{};
    std::array<bool, 3> silenceNoted{};
    quint64 takenCount = 0;
    quint64 malformedCount = 0;
    quint64 senderCount = 0;
    quint64 stationCount = 0;
};

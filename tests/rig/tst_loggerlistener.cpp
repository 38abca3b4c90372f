// A contest logger's RadioInfo datagrams on loopback: which are taken, which dropped and
// counted, who may send them, and the silence notes on a hand-moved clock.

#include "rig/loggerlistener.h"

#include "loopbackaddress.h"
#include "manualclock.h"
#include "radioinfodatagram.h"

#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

using RadioInfoDatagram::example;

namespace {
const QString Broadcast = QStringLiteral("127.255.255.255");
using Reports = QList<QPair<int, qint64>>; // radio, hertz
constexpr QAbstractSocket::BindMode Shared = QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;
} // namespace

class tst_LoggerListener : public QObject
{
    Q_OBJECT

public:
    tst_LoggerListener()
    {
        connect(&listener, &LoggerListener::report, this, [this](int radio, const RadioInfo::Report &report) {
            reports.append({radio, report.hz});
        });
    }

private slots:
    void init()
    {
        listener.stop();
        messages.clear();
        reports.clear();
    }
    void datagramsAreTakenOrDroppedAndCounted_data();
    void datagramsAreTakenOrDroppedAndCounted();
    void senderRule_data();
    void senderRule();
    void silenceIsNotedOnceUntilTheRadioIsHeardAgain();
    void aPortHeldExclusivelyCannotBeBound();

private:
    bool send(const QByteArray &datagram, const QString &from, const QString &to = QStringLiteral("127.0.0.1"))
    {
        QUdpSocket sender;
        return sender.bind(QHostAddress(from), 0)
            && sender.writeDatagram(datagram, QHostAddress(to), listener.localPort()) == datagram.size();
    }

    ManualClock clock;
    LoggerListener listener{clock};
    QSignalSpy messages{&listener, &LoggerListener::message};
    Reports reports;
};

// Rows: what is sent from where to where, the listener's station and accepted sender, and
// the counter it lands in with the report it makes (radio 0: none).
void tst_LoggerListener::datagramsAreTakenOrDroppedAndCounted_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("acceptFrom");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<int>("radio");
    QTest::addColumn<qint64>("hz");
    const QString box = "127.0.0.2", lo = "127.0.0.1";
    QTest::newRow("documentation example") << example() << box << lo << ""
                                           << ""
                                           << "taken" << 1 << qint64(3522110);
    QTest::newRow("broadcast, another program hears it too") << example() << box << Broadcast << ""
                                                             << ""
                                                             << "taken" << 1 << qint64(3522110);
    QTest::newRow("radio 2 to the ten hertz") << example("2", "<Freq>2840005</Freq>") << box << Broadcast << ""
                                              << ""
                                              << "taken" << 2 << qint64(28400050);
    QTest::newRow("this station") << example() << box << Broadcast << "CW-80m"
                                  << ""
                                  << "taken" << 1 << qint64(3522110);
    QTest::newRow("another station") << example() << box << Broadcast << "SSB-20m"
                                     << ""
                                     << "station" << 0 << qint64(0);
    QTest::newRow("junk") << QByteArray("\x00\xffjunk", 6) << box << Broadcast << ""
                          << ""
                          << "malformed" << 0 << qint64(0);
    QTest::newRow("XML cut short") << example().left(150) << box << lo << ""
                                   << ""
                                   << "malformed" << 0 << qint64(0);
    QTest::newRow("largest datagram") << RadioInfoDatagram::padded(RadioInfo::MaxDatagramSize) << box << lo << ""
                                      << ""
                                      << "taken" << 1 << qint64(3522110);
    QTest::newRow("sender listed as IPv4-mapped") << example() << box << lo << ""
                                                  << "::ffff:127.0.0.2"
                                                  << "taken" << 1 << qint64(3522110);
    QTest::newRow("sender not listed") << example() << "127.0.0.3" << Broadcast << "" << box << "sender" << 0
                                       << qint64(0);
}

void tst_LoggerListener::datagramsAreTakenOrDroppedAndCounted()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, station);
    QFETCH(QString, acceptFrom);
    QFETCH(QString, counter);
    QFETCH(int, radio);
    QFETCH(qint64, hz);
    if (from != LoopbackAddress::box().toString() && LoopbackAddress::sendersLookAlike())
        QSKIP("Loopback senders cannot be told apart here");
#ifndef Q_OS_LINUX
    if (to == Broadcast)
        QSKIP("Loopback broadcast is Linux's");
#endif
    LoggerListener::Options options;
    options.port = 0;
    options.station = station;
    if (!acceptFrom.isEmpty())
        options.acceptFrom = {QHostAddress(acceptFrom)};
    QVERIFY2(listener.start(options), qPrintable(listener.errorString()));
    // Another program listening on the same port (a unicast datagram would reach only one).
    QUdpSocket other;
    if (to == Broadcast)
        QVERIFY(other.bind(QHostAddress::AnyIPv4, listener.localPort(), Shared));
    QVERIFY(send(datagram, from, to));

    // Taken, dropped as no report, as from a stranger, as another station's.
    QList<quint64> counted{0, 0, 0, 0};
    counted[QStringList{"taken", "malformed", "sender", "station"}.indexOf(counter)] = 1;
    QTRY_COMPARE_WITH_TIMEOUT((QList<quint64>{listener.taken(), listener.droppedMalformed(), listener.droppedSender(),
                                              listener.droppedStation()}),
                              counted, 2000);
    QCOMPARE(reports, radio == 0 ? Reports() : Reports({{radio, hz}}));
    QVERIFY(messages.isEmpty());
    if (to == Broadcast) {
        QTRY_VERIFY_WITH_TIMEOUT(other.hasPendingDatagrams(), 2000);
        QCOMPARE(other.pendingDatagramSize(), qint64(datagram.size()));
    }
}

// Rows: the sender, the addresses listed to accept (none: this computer and its networks),
// this computer's interface addresses with their prefix lengths, and whether it is accepted.
void tst_LoggerListener::senderRule_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QStringList>("acceptFrom");
    QTest::addColumn<QStringList>("networks");
    QTest::addColumn<bool>("accepted");
    const QStringList lan{"192.168.1.10/24", "2001:db8:1::1/64", "198.51.100.7/32", "10.9.9.9/0"};
    QTest::newRow("loopback") << "127.5.6.7" << QStringList() << QStringList() << true;
    QTest::newRow("IPv6 loopback") << "::1" << QStringList() << QStringList() << true;
    QTest::newRow("IPv4-mapped loopback") << "::ffff:127.0.0.1" << QStringList() << QStringList() << true;
    QTest::newRow("own address") << "198.51.100.7" << QStringList() << lan << true;
    QTest::newRow("on the LAN") << "192.168.1.200" << QStringList() << lan << true;
    QTest::newRow("on the LAN, IPv4-mapped") << "::ffff:192.168.1.200" << QStringList() << lan << true;
    QTest::newRow("on the IPv6 LAN") << "2001:db8:1::99" << QStringList() << lan << true;
    QTest::newRow("next network") << "192.168.2.200" << QStringList() << lan << false;
    QTest::newRow("next to an address-only network") << "198.51.100.8" << QStringList() << lan << false;
    QTest::newRow("a network of prefix 0 is its address") << "8.8.8.8" << QStringList() << lan << false;
    QTest::newRow("on the LAN, not listed") << "192.168.1.200" << QStringList{"192.168.1.5"} << lan << false;
    QTest::newRow("loopback, not listed") << "127.0.0.1" << QStringList{"192.168.1.5"} << lan << false;
    QTest::newRow("listed, far away") << "203.0.113.9" << QStringList{"192.168.1.5", "203.0.113.9"} << lan << true;
    QTest::newRow("listed, IPv4-mapped") << "::ffff:203.0.113.9" << QStringList{"203.0.113.9"} << lan << true;
    QTest::newRow("no address") << "" << QStringList() << lan << false;
}

void tst_LoggerListener::senderRule()
{
    QFETCH(QString, sender);
    QFETCH(QStringList, acceptFrom);
    QFETCH(QStringList, networks);
    QFETCH(bool, accepted);
    QList<QNetworkAddressEntry> entries;
    for (const QString &network : qAsConst(networks)) {
        QNetworkAddressEntry entry;
        entry.setIp(QHostAddress(network.section('/', 0, 0)));
        entry.setPrefixLength(network.section('/', 1).toInt());
        entries.append(entry);
    }
    QList<QHostAddress> listed;
    for (const QString &address : qAsConst(acceptFrom))
        listed.append(QHostAddress(address));
    QCOMPARE(LoggerSender::accepted(QHostAddress(sender), listed, entries), accepted);
}

void tst_LoggerListener::silenceIsNotedOnceUntilTheRadioIsHeardAgain()
{
    LoggerListener::Options options;
    options.port = 0;
    options.radios = {false, true, true};
    QVERIFY(listener.start(options));
    const qint64 start = clock.nowMs();
    const auto at = [&](qint64 ms) {
        clock.advanceTo(start + ms);
        listener.service();
    };
    const auto hear = [&](int radio) {
        const int before = reports.size();
        return send(example(QByteArray::number(radio)), LoopbackAddress::box().toString())
            && QTest::qWaitFor([&] { return reports.size() > before; }, 2000);
    };
    const QString silent = "Radio %1: no word from the logger for 30 s", heard = "Radio %1: logger heard";
    QList<QList<QVariant>> expected;

    at(20000);
    QVERIFY(hear(2));
    at(LoggerListener::SilenceMs - 1);
    QCOMPARE(messages, expected);
    at(LoggerListener::SilenceMs);
    expected.append({1, silent.arg(1)});
    QCOMPARE(messages, expected);
    at(20000 + LoggerListener::SilenceMs - 1);
    QCOMPARE(messages, expected);
    at(20000 + LoggerListener::SilenceMs);
    expected.append({2, silent.arg(2)});
    at(100000);
    QCOMPARE(messages, expected);

    QVERIFY(hear(1));
    QVERIFY(hear(1));
    expected.append({1, heard.arg(1)});
    QCOMPARE(messages, expected);
    at(100000 + LoggerListener::SilenceMs);
    expected.append({1, silent.arg(1)});
    QCOMPARE(messages, expected);
}

void tst_LoggerListener::aPortHeldExclusivelyCannotBeBound()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    LoggerListener::Options options;
    options.port = holder.localPort();
    QVERIFY(!listener.start(options));
    QVERIFY(!listener.isListening());
    QVERIFY(!listener.errorString().isEmpty());
}

QTEST_GUILESS_MAIN(tst_LoggerListener)
#include "tst_loggerlistener.moc"

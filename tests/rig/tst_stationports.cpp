// A contest logger's inputs as the station hears them: its RadioInfo datagrams on loopback
// (taken, or dropped and counted; who may send them; the silence notes) and its OTRSP port
// over a pseudo-terminal, the test playing the logger. Intervals on a hand-moved clock.

#include "rig/bandfollowservice.h"
#include "rig/loggerlistener.h"
#include "rig/otrspport.h"

#include "loopbackaddress.h"
#include "manualclock.h"
#include "radioinfodatagram.h"
#ifdef Q_OS_UNIX
#include "pseudoterminal.h"
#endif

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

using RadioInfoDatagram::example;

Q_DECLARE_METATYPE(BandFollowSettings::Source)

class tst_StationPorts : public QObject
{
    Q_OBJECT

public:
    tst_StationPorts()
    {
        connect(&listener, &LoggerListener::report, this, [this](int radio, const RadioInfo::Report &report) {
            reports.append(QStringLiteral("%1:%2").arg(radio).arg(report.hz));
        });
    }

private slots:
    void init()
    {
        listener.stop();
        otrsp.close();
        for (QSignalSpy *spy : {&notes, &auxes, &otrspNotes})
            spy->clear();
        reports.clear();
    }
    void datagramsAreTakenOrDroppedAndCounted_data();
    void datagramsAreTakenOrDroppedAndCounted();
    void senders_data();
    void senders();
    void silenceIsNotedOnceUntilTheRadioIsHeardAgain();
    void aPortHeldExclusivelyCannotBeBound();
#ifdef Q_OS_UNIX
    void otrspAnswersQueriesAndReportsAux();
    void otrspPortThatIsGoneIsTriedAgainEveryRetryInterval();
    void otrspPortIsHeldOnlyWhileAChannelFollowsIt_data();
    void otrspPortIsHeldOnlyWhileAChannelFollowsIt();
#endif

private:
    bool send(const QByteArray &datagram, const QString &from, const QString &to = QStringLiteral("127.0.0.1"))
    {
        QUdpSocket sender;
        return sender.bind(QHostAddress(from), 0)
            && sender.writeDatagram(datagram, QHostAddress(to), listener.localPort()) == datagram.size();
    }
    void advance(qint64 ms)
    {
        clock.advance(ms);
        listener.service();
        otrsp.service();
    }

    ManualClock clock;
    LoggerListener listener{clock};
    QSignalSpy notes{&listener, &LoggerListener::message};
    QStringList reports; // radio:hertz
    OtrspPort otrsp{clock};
    QSignalSpy auxes{&otrsp, &OtrspPort::aux};
    QSignalSpy otrspNotes{&otrsp, &OtrspPort::message};
};

// Rows: what is sent from where to where, the listener's station and accepted sender, and
// the report made (radio:hertz) or the counter the datagram is dropped in.
void tst_StationPorts::datagramsAreTakenOrDroppedAndCounted_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("acceptFrom");
    QTest::addColumn<QString>("outcome");
    const QString none, box = LoopbackAddress::box().toString(), one = "127.0.0.1", all = "127.255.255.255",
                        doc = "1:3522110";
    QTest::newRow("documentation example") << example() << box << one << none << none << doc;
    QTest::newRow("broadcast, heard by another program too") << example() << box << all << none << none << doc;
    QTest::newRow("radio 2 to ten hertz")
        << example("2", "<Freq>2840005</Freq>") << box << all << none << none << "2:28400050";
    QTest::newRow("this station") << example() << box << all << "CW-80m" << none << doc;
    QTest::newRow("another station") << example() << box << all << "SSB-20m" << none << "station";
    QTest::newRow("junk") << QByteArray("\x00\xffjunk", 6) << box << all << none << none << "malformed";
    QTest::newRow("empty") << QByteArray() << box << one << none << none << "malformed";
    QTest::newRow("XML cut short") << example().left(150) << box << one << none << none << "malformed";
    QTest::newRow("largest datagram") << RadioInfoDatagram::padded(RadioInfo::MaxDatagramSize) << box << one << none
                                      << none << doc;
    QTest::newRow("sender listed, IPv4-mapped") << example() << box << one << none << "::ffff:" + box << doc;
    QTest::newRow("sender not listed") << example() << "127.0.0.3" << all << none << box << "sender";
}

void tst_StationPorts::datagramsAreTakenOrDroppedAndCounted()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, station);
    QFETCH(QString, acceptFrom);
    QFETCH(QString, outcome);
    if (from == "127.0.0.3" && LoopbackAddress::sendersLookAlike())
        QSKIP("Loopback senders cannot be told apart here");
#ifndef Q_OS_LINUX
    if (to.endsWith(".255"))
        QSKIP("Loopback broadcast is Linux's");
#endif
    LoggerListener::Options options;
    options.port = 0;
    options.station = station;
    if (!acceptFrom.isEmpty())
        options.acceptFrom = {QHostAddress(acceptFrom)};
    QVERIFY2(listener.start(options), qPrintable(listener.errorString()));
    // Another program on the same port (a unicast datagram would reach only one of them).
    QUdpSocket other;
    if (to.endsWith(".255"))
        QVERIFY(other.bind(QHostAddress::AnyIPv4, listener.localPort(),
                           QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    QVERIFY(send(datagram, from, to));

    const bool taken = outcome.contains(':');
    QList<quint64> counted{0, 0, 0, 0}; // taken, and dropped as no report, as a stranger's, as another station's
    counted[taken ? 0 : QStringList{"", "malformed", "sender", "station"}.indexOf(outcome)] = 1;
    QTRY_COMPARE_WITH_TIMEOUT((QList<quint64>{listener.taken(), listener.droppedMalformed(), listener.droppedSender(),
                                              listener.droppedStation()}),
                              counted, 2000);
    QCOMPARE(reports, taken ? QStringList{outcome} : QStringList());
    QVERIFY(notes.isEmpty());
    if (to.endsWith(".255")) {
        QTRY_VERIFY_WITH_TIMEOUT(other.hasPendingDatagrams(), 2000);
        QCOMPARE(other.pendingDatagramSize(), qint64(datagram.size()));
    }
}

// Rows: the sender, the one address listed to accept (none: this computer and its networks,
// here those below), and whether it is accepted.
void tst_StationPorts::senders_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("acceptFrom");
    QTest::addColumn<bool>("accepted");
    const QString none;
    QTest::newRow("loopback") << "127.5.6.7" << none << true;
    QTest::newRow("IPv4-mapped loopback") << "::ffff:127.0.0.1" << none << true;
    QTest::newRow("own address") << "198.51.100.7" << none << true;
    QTest::newRow("next to an address-only network") << "198.51.100.8" << none << false;
    QTest::newRow("on the LAN, IPv4-mapped") << "::ffff:192.168.1.200" << none << true;
    QTest::newRow("on the IPv6 LAN") << "2001:db8:1::99" << none << true;
    QTest::newRow("next network") << "192.168.2.200" << none << false;
    QTest::newRow("a network of prefix 0 is its address alone") << "8.8.8.8" << none << false;
    QTest::newRow("on the LAN, not listed") << "192.168.1.200"
                                            << "192.168.1.5" << false;
    QTest::newRow("loopback, not listed") << "127.0.0.1"
                                          << "192.168.1.5" << false;
    QTest::newRow("listed far away, IPv4-mapped") << "::ffff:203.0.113.9"
                                                  << "203.0.113.9" << true;
}

void tst_StationPorts::senders()
{
    QFETCH(QString, sender);
    QFETCH(QString, acceptFrom);
    QFETCH(bool, accepted);
    QList<QNetworkAddressEntry> networks;
    for (const QString &network : QStringList{"192.168.1.10/24", "2001:db8:1::1/64", "198.51.100.7/32", "10.9.9.9/0"}) {
        QNetworkAddressEntry entry;
        entry.setIp(QHostAddress(network.section('/', 0, 0)));
        entry.setPrefixLength(network.section('/', 1).toInt());
        networks.append(entry);
    }
    const QList<QHostAddress> listed = acceptFrom.isEmpty() ? QList<QHostAddress>() : QList{QHostAddress(acceptFrom)};
    QCOMPARE(LoggerSender::accepted(QHostAddress(sender), listed, networks), accepted);
}

void tst_StationPorts::silenceIsNotedOnceUntilTheRadioIsHeardAgain()
{
    LoggerListener::Options options;
    options.port = 0;
    options.radios = {false, true, true};
    QVERIFY(listener.start(options));
    // Radio 2 heard at 20 s, radio 1 never until 100 s.
    struct Step
    {
        qint64 at;
        int heard; // the radio a report comes from at that time, if any
        QString note; // the one note that step adds, if any
    };
    const QString silent = "Radio %1: no word from the logger for 30 s";
    const Step steps[] = {{20000, 2, ""},
                          {29999, 0, ""},
                          {30000, 0, silent.arg(1)},
                          {49999, 0, ""},
                          {50000, 0, silent.arg(2)},
                          {99999, 0, ""},
                          {100000, 1, "Radio 1: logger heard"},
                          {100000, 1, ""},
                          {130000, 0, silent.arg(1)}};
    const qint64 start = clock.nowMs();
    for (const Step &step : steps) {
        const int before = notes.size();
        advance(start + step.at - clock.nowMs());
        if (step.heard != 0) {
            const int heard = reports.size();
            QVERIFY(send(example(QByteArray::number(step.heard)), LoopbackAddress::box().toString()));
            QTRY_COMPARE_WITH_TIMEOUT(reports.size(), heard + 1, 2000);
        }
        QCOMPARE(notes.size(), before + !step.note.isEmpty());
        if (!step.note.isEmpty())
            QCOMPARE(notes.last(), (QList<QVariant>{step.note.mid(6, 1).toInt(), step.note}));
    }
}

void tst_StationPorts::aPortHeldExclusivelyCannotBeBound()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    LoggerListener::Options options;
    options.port = holder.localPort();
    QVERIFY(!listener.start(options));
    QVERIFY(!listener.isListening());
    QVERIFY(!listener.errorString().isEmpty());
}

#ifdef Q_OS_UNIX
// The line handling itself is tst_stationinputs' table; here the port reports and answers.
void tst_StationPorts::otrspAnswersQueriesAndReportsAux()
{
    PseudoTerminal logger;
    otrsp.open(logger.slavePath());
    QVERIFY(otrsp.isOpen());
    QVERIFY(logger.write("?NAME\r?\rAUX13\r\nTX1\rAUX203\rAUX299\r?AUX1\r?AUX2\r"));
    QCOMPARE(logger.read(41), QByteArray("NAMEZorvik Remote Control\r?\rAUX13\rAUX299\r"));
    QStringList reported;
    for (const QList<QVariant> &command : qAsConst(auxes))
        reported.append(QStringLiteral("%1:%2").arg(command.at(0).toInt()).arg(command.at(1).toInt()));
    QCOMPARE(reported, QStringList({"1:3", "2:3", "2:99"}));
    QCOMPARE(otrsp.auxCode(2), 99);
}

void tst_StationPorts::otrspPortThatIsGoneIsTriedAgainEveryRetryInterval()
{
    // A path that points at one pseudo-terminal after another, as an adapter pulled out and
    // plugged in again keeps its name.
    QTemporaryDir dir;
    const QString path = dir.filePath("otrsp");
    std::unique_ptr<PseudoTerminal> logger;
    const auto plugIn = [&] {
        logger = std::make_unique<PseudoTerminal>();
        QFile::remove(path);
        return QFile::link(logger->slavePath(), path);
    };
    const qint64 retryMs = 2000; // the operator's figure, not the code's constant
    const QString cannot = "OTRSP: %1 cannot be opened: …; trying again", listening = "OTRSP: listening on %1";

    otrsp.open(path);
    QVERIFY(plugIn());
    advance(retryMs - 1);
    QVERIFY(!otrsp.isOpen());
    advance(1);
    QVERIFY(otrsp.isOpen());
    QVERIFY(logger->write("AUX12\r"));
    QVERIFY(auxes.wait(2000));

    logger.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!otrsp.isOpen(), 2000);
    // Two tries fail, the second as the first: one note for both.
    advance(retryMs);
    advance(retryMs);
    QVERIFY(plugIn());
    advance(retryMs);
    QVERIFY(otrsp.isOpen());
    QVERIFY(logger->write("?AUX1\r"));
    QCOMPARE(logger->read(6), QByteArray("AUX12\r"));
    QStringList seen;
    for (const QList<QVariant> &note : qAsConst(otrspNotes))
        seen.append(note.at(0).toString().replace(QRegularExpression("opened: .+;"), QStringLiteral("opened: …;")));
    QCOMPARE(seen,
             QStringList({cannot, listening, "OTRSP: %1 lost; trying again", cannot, listening})
                 .replaceInStrings("%1", path));

    // Closed while waiting: no more tries.
    logger.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!otrsp.isOpen(), 2000);
    otrsp.close();
    QVERIFY(plugIn());
    advance(retryMs);
    QVERIFY(!otrsp.isOpen());
}

// Rows: whether the port is there when band follow starts on it (else it appears right after
// the change), what channel 1 follows then (the port's name stays), how long after the change
// the port is looked at, and whether it is open then.
void tst_StationPorts::otrspPortIsHeldOnlyWhileAChannelFollowsIt_data()
{
    using Source = BandFollowSettings::Source;
    QTest::addColumn<bool>("present");
    QTest::addColumn<Source>("after");
    QTest::addColumn<int>("waitMs");
    QTest::addColumn<bool>("open");
    QTest::newRow("still followed: missing port not tried before 2 s") << false << Source::Otrsp << 1999 << false;
    QTest::newRow("still followed: missing port tried at 2 s") << false << Source::Otrsp << 2000 << true;
    QTest::newRow("still followed: open port kept") << true << Source::Otrsp << 2000 << true;
    QTest::newRow("switched off while open") << true << Source::Off << 2000 << false;
    QTest::newRow("switched off while retrying") << false << Source::Off << 2000 << false;
    // rigctld without an address reads nothing.
    QTest::newRow("moved to rigctld while retrying") << false << Source::Rigctld << 60000 << false;
}

void tst_StationPorts::otrspPortIsHeldOnlyWhileAChannelFollowsIt()
{
    using Source = BandFollowSettings::Source;
    QFETCH(bool, present);
    QFETCH(Source, after);
    QFETCH(int, waitMs);
    QFETCH(bool, open);
    QTemporaryDir dir;
    const QString path = dir.filePath("otrsp");
    std::unique_ptr<PseudoTerminal> logger;
    const auto plugIn = [&] {
        logger = std::make_unique<PseudoTerminal>();
        return logger->isValid() && QFile::link(logger->slavePath(), path);
    };
    if (present)
        QVERIFY(plugIn());
    BandFollowService service(clock, [](int) { return std::optional<BandFollow::Channel>(); });
    OtrspPort *port = service.otrspPort();
    BandFollowSettings settings;
    settings.otrspPort = path;
    settings.radio[1].source = Source::Otrsp;
    service.configure(settings, {});
    service.start();
    QCOMPARE(port->isOpen(), present);

    settings.radio[1].source = after;
    service.configure(settings, {});
    if (!present)
        QVERIFY(plugIn());
    QSignalSpy portNotes(port, &OtrspPort::message);
    clock.advance(waitMs);
    port->service();
    QCOMPARE(port->isOpen(), open);
    // A port no channel follows is not even tried.
    if (after != Source::Otrsp)
        QCOMPARE(portNotes.size(), 0);
}
#endif

QTEST_GUILESS_MAIN(tst_StationPorts)
#include "tst_stationports.moc"

// The station without a window or a display: every command through its door, with the rule
// that refuses it and the source that gave it; the box driven on both links; a serial line
// that goes away shown at once; band memory taking only presses that selected an antenna.

#include "headless/stationlog.h"
#include "radioinfodatagram.h"
#include "remote/remoteswitchnote.h"
#include "rig/bandfollowservice.h"
#include "stationbench.h"

#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

Q_DECLARE_METATYPE(Station::Source)
Q_DECLARE_METATYPE(Station::Refusal)

class tst_Station : public QObject
{
    Q_OBJECT

private slots:
    void doorRules_data();
    void doorRules();
    void drivesTheBox_data() { addLinkRows(); }
    void drivesTheBox();
    void lostLineShowsAtOnce();
    void bandMemoryTakesOnlySelections_data();
    void bandMemoryTakesOnlySelections();
    void remoteCommandsSaid_data();
    void remoteCommandsSaid();
};

namespace {
// "select <channel> <position>", "split <channel>", "split <channel> <rx> <tx>",
// "splitoff <channel>" or "cancel", through the door; "lock" locks remote switching.
Station::Result act(Station &station, const QString &step, const Station::Origin &origin)
{
    const QStringList words = step.split(QLatin1Char(' '));
    if (words.at(0) == QLatin1String("select"))
        return station.select(words.at(1).toInt(), words.at(2).toInt(), origin);
    if (words.at(0) == QLatin1String("split") && words.size() == 4)
        return station.split(words.at(1).toInt(), words.at(2).toInt(), words.at(3).toInt(), origin);
    if (words.at(0) == QLatin1String("split"))
        return station.pressSplit(words.at(1).toInt(), origin);
    if (words.at(0) == QLatin1String("splitoff"))
        return station.splitOff(words.at(1).toInt(), origin);
    if (words.at(0) == QLatin1String("lock")) {
        station.setRemoteLocked(true);
        return {};
    }
    return station.cancelSplitChoice(origin);
}

// The box's LAN status text: channel 1 on Ant 1 and channel 2 on none, unless given.
QString status(const QString &fields = QStringLiteral("0.F.0.0.0.0.0.0")) { return fields + QStringLiteral(".0.0.FF"); }
} // namespace

void tst_Station::doorRules_data()
{
    QTest::addColumn<QString>("box"); // the box's report before the steps
    QTest::addColumn<int>("receiveOnly"); // RXONLY_<n>, 0 for none
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QStringList>("steps"); // the last one is judged
    QTest::addColumn<Station::Source>("source");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<Station::Refusal>("refusal");

    using S = Station::Source;
    using R = Station::Refusal;
    const QString plain = status();
    const QString split1 = status(QStringLiteral("4.F.1.0.1.0.0.0")); // RX Ant 5, TX Ant 2
    QTest::newRow("antenna, panel") << plain << 0 << true << QStringList{"select 1 2"} << S::Panel << true << R::None;
    QTest::newRow("release, band follow")
        << plain << 0 << true << QStringList{"select 1 15"} << S::BandFollow << true << R::None;
    QTest::newRow("antenna, logger") << plain << 0 << true << QStringList{"select 2 5"} << S::Logger << true << R::None;
    QTest::newRow("antenna, OTRSP") << plain << 0 << true << QStringList{"select 2 0"} << S::Otrsp << true << R::None;
    QTest::newRow("antenna, remote") << plain << 0 << true << QStringList{"select 1 3"} << S::Remote << true << R::None;
    QTest::newRow("split chosen") << plain << 0 << true << QStringList{"split 1", "select 1 2"} << S::Panel << true
                                  << R::None;
    QTest::newRow("split off") << split1 << 0 << true << QStringList{"split 1"} << S::Remote << true << R::None;
    QTest::newRow("channel 3") << plain << 0 << true << QStringList{"select 3 2"} << S::Remote << false
                               << R::BadArgument;
    QTest::newRow("Ant 7") << plain << 0 << true << QStringList{"select 1 6"} << S::Remote << false << R::BadArgument;
    QTest::newRow("SPLIT of channel 0") << plain << 0 << true << QStringList{"split 0"} << S::Remote << false
                                        << R::BadArgument;
    QTest::newRow("LAN not connected") << plain << 0 << false << QStringList{"select 1 2"} << S::Otrsp << false
                                       << R::NotConnected;
    QTest::newRow("split off, LAN not connected") << status(QStringLiteral("0.F.1.0.1.0.0.0")) << 0 << false
                                                  << QStringList{"split 1"} << S::Panel << false << R::NotConnected;
    QTest::newRow("receive-only alone") << plain << 5 << true << QStringList{"select 1 4"} << S::Otrsp << false
                                        << R::ReceiveOnly;
    QTest::newRow("receive-only as split TX")
        << plain << 5 << true << QStringList{"split 1", "select 1 4"} << S::Panel << false << R::ReceiveOnly;
    QTest::newRow("split receiving on receive-only, SPLIT")
        << split1 << 5 << true << QStringList{"split 1"} << S::Remote << false << R::ReceiveOnly;
    QTest::newRow("split receiving on receive-only, its RX")
        << split1 << 5 << true << QStringList{"select 1 4"} << S::BandFollow << false << R::ReceiveOnly;
    QTest::newRow("other channel choosing")
        << plain << 0 << true << QStringList{"split 2", "select 1 2"} << S::Logger << false << R::SplitChoiceElsewhere;
    QTest::newRow("SPLIT starts the choice")
        << plain << 0 << true << QStringList{"split 1"} << S::Panel << false << R::NothingToSend;
    QTest::newRow("Escape, nothing to end")
        << plain << 0 << true << QStringList{"cancel"} << S::Panel << false << R::NothingToSend;

    // From afar: refused, never queued, while the operator locked it, the box is not
    // answering or the channel transmits; the panel and band follow are not held back.
    const QString transmitting1 = status(QStringLiteral("0.F.0.0.0.0.1.0"));
    QTest::newRow("remote, locked") << plain << 0 << true << QStringList{"lock", "select 1 2"} << S::Remote << false
                                    << R::Locked;
    QTest::newRow("panel, remote locked")
        << plain << 0 << true << QStringList{"lock", "select 1 2"} << S::Panel << true << R::None;
    QTest::newRow("remote, link down") << plain << 0 << false << QStringList{"select 1 2"} << S::Remote << false
                                       << R::BoxUnavailable;
    QTest::newRow("remote split, link down")
        << plain << 0 << false << QStringList{"split 1 4 1"} << S::Remote << false << R::BoxUnavailable;
    QTest::newRow("remote, transmitting")
        << transmitting1 << 0 << true << QStringList{"select 1 2"} << S::Remote << false << R::Transmitting;
    QTest::newRow("remote split off, transmitting")
        << transmitting1 << 0 << true << QStringList{"splitoff 1"} << S::Remote << false << R::Transmitting;
    QTest::newRow("remote, the other channel transmitting")
        << transmitting1 << 0 << true << QStringList{"select 2 2"} << S::Remote << true << R::None;
    QTest::newRow("band follow, transmitting")
        << transmitting1 << 0 << true << QStringList{"select 1 2"} << S::BandFollow << true << R::None;
    QTest::newRow("remote, receive-only: no split offered")
        << plain << 5 << true << QStringList{"select 1 4"} << S::Remote << false << R::ReceiveOnly;
    QTest::newRow("remote, while the panel chooses a split")
        << plain << 0 << true << QStringList{"split 1", "select 1 2"} << S::Remote << true << R::None;
    QTest::newRow("remote split") << plain << 0 << true << QStringList{"split 1 4 1"} << S::Remote << true << R::None;
    QTest::newRow("remote split, TX receive-only")
        << plain << 5 << true << QStringList{"split 1 1 4"} << S::Remote << false << R::ReceiveOnly;
    QTest::newRow("remote split, RX receive-only")
        << plain << 5 << true << QStringList{"split 1 4 1"} << S::Remote << true << R::None;
    QTest::newRow("remote split, one antenna")
        << plain << 0 << true << QStringList{"split 1 2 2"} << S::Remote << false << R::BadArgument;
    QTest::newRow("remote split, Ant 7")
        << plain << 0 << true << QStringList{"split 1 6 1"} << S::Remote << false << R::BadArgument;
    QTest::newRow("remote split off") << split1 << 0 << true << QStringList{"splitoff 1"} << S::Remote << true
                                      << R::None;
    QTest::newRow("remote split off, receiving on receive-only")
        << split1 << 5 << true << QStringList{"splitoff 1"} << S::Remote << false << R::ReceiveOnly;
    QTest::newRow("remote split off, just sent on receive-only")
        << plain << 5 << true << QStringList{"split 1 4 1", "splitoff 1"} << S::Remote << false << R::ReceiveOnly;
}

void tst_Station::doorRules()
{
    QFETCH(QString, box);
    QFETCH(int, receiveOnly);
    QFETCH(bool, connected);
    QFETCH(QStringList, steps);
    QFETCH(Station::Source, source);
    QFETCH(bool, sent);
    QFETCH(Station::Refusal, refusal);

    StationBench bench;
    QVariantMap keys{{"serialMode", 1}, {"IP", "127.0.0.1"}, {"PORT", "9"}};
    if (receiveOnly != 0)
        keys.insert(QStringLiteral("RXONLY_%1").arg(receiveOnly), 1);
    bench.open(keys, false);
    Station &station = *bench.station;
    if (connected)
        QVERIFY(bench.connectBox());
    station.takeLanReply(box);
    const Station::Origin origin{source, source == Station::Source::Remote ? QStringLiteral("127.0.0.2") : QString()};
    for (int i = 0; i + 1 < steps.size(); ++i)
        act(station, steps.at(i), origin);

    QSignalSpy done(&station, &Station::commandDone);
    const quint64 before = station.revision();
    const DeviceState stateBefore = station.deviceState();
    const Station::Result result = act(station, steps.last(), origin);
    QCOMPARE(result.sent, sent);
    if (source == Station::Source::Remote) {
        // A remote command refused changes nothing, and one sent leaves the panel's split
        // choice as it was.
        if (!sent)
            QVERIFY(station.deviceState() == stateBefore);
        QCOMPARE(station.deviceState().splitSetupActive, stateBefore.splitSetupActive);
    }
    QCOMPARE(result.refusal, refusal);
    QCOMPARE(result.revision, station.revision());
    if (sent)
        QCOMPARE(station.revision(), before + 1);
    // Every face hears what became of it, and from whom.
    QCOMPARE(done.count(), 1);
    const auto heard = done.at(0).at(0).value<Station::Origin>();
    QCOMPARE(heard.source, source);
    QCOMPARE(heard.address, origin.address);
    QCOMPARE(done.at(0).at(2).value<Station::Result>().refusal, refusal);
}

void tst_Station::drivesTheBox()
{
    QFETCH(Link, link);
    StationBench bench;
    QVERIFY(bench.startBox(link));
    bench.open({{"K3_1", "Yagi"}});
    QStringList log;
    StationLog logger(
        *bench.station, [&log](const QString &line) { log << line; }, [] { return QStringLiteral("12:00:00"); });
    QVERIFY(bench.connectAndWait());
    Station &station = *bench.station;
    QCOMPARE(station.linkStatus().connected, true);
    QCOMPARE(station.linkStatus().kind, link == Link::Serial ? LinkMode::Serial : LinkMode::Lan);

    QSignalSpy changes(&station, &Station::stateChanged);
    const int from = bench.sim->lineCount();
    QVERIFY(station.select(1, 2, {Station::Source::Remote, QStringLiteral("127.0.0.2")}).sent);
    QTRY_COMPARE(bench.sim->stateValue("antenna1"), 2);
    QTRY_COMPARE(int(station.deviceState().antenna[1]), 2);
    // The bytes of the antenna's button, and revisions that only grow.
    QCOMPARE(bench.commandsReceived(from),
             QStringList{link == Link::Serial ? QStringLiteral("49 47 01 32 3B") : QStringLiteral("FE 02 02 FD")});
    QVERIFY(!changes.isEmpty()); // the command (on the LAN, then the box's report)
    for (int i = 1; i < changes.count(); ++i)
        QVERIFY(changes.at(i).at(0).toULongLong() > changes.at(i - 1).at(0).toULongLong());

    QVERIFY(station.release(1, {Station::Source::Panel, QString()}).sent);
    QTRY_COMPARE(bench.sim->stateValue("antenna1"), 15);
    station.disconnectBox();
    QCOMPARE(station.linkStatus().connected, false);
    QCOMPARE(station.linkStatus().boxAnswering, false);
    // What the headless mode logs of it, in order, with who asked.
    const QStringList said = link == Link::Serial
        ? QStringList{"Serial link up", "The box answers", "Channel 1: Ant 3 (Yagi) selected (remote 127.0.0.2)",
                      "Channel 1: released (panel)", "Serial link down"}
        : QStringList{"LAN enabled", "LAN link up: the box answers",
                      "Channel 1: Ant 3 (Yagi) selected (remote 127.0.0.2)", "Channel 1: released (panel)",
                      "LAN link down"};
    QStringList heard;
    for (const QString &line : log) {
        if (said.contains(line.mid(9)))
            heard << line.mid(9);
        QVERIFY2(line.startsWith(QLatin1String("12:00:00 ")), qPrintable(line));
    }
    QCOMPARE(heard, said);
}

void tst_Station::lostLineShowsAtOnce()
{
    StationBench bench;
    QVERIFY(bench.startBox(Link::Serial));
    bench.open();
    QVERIFY(bench.connectAndWait());
    QSignalSpy checked(bench.station.get(), &Station::linkChecked);
    QElapsedTimer sinceGone;
    bench.sim.reset(); // the box's line goes, as an adapter pulled out
    sinceGone.start();
    // Known at once, not after the 7000 ms the watchdog gives a silent box.
    QTRY_VERIFY_WITH_TIMEOUT(!checked.isEmpty() && !checked.last().at(0).toBool(), 2000);
    QCOMPARE(bench.station->linkStatus().boxAnswering, false);
    QVERIFY2(sinceGone.elapsed() < 2000, qPrintable(QString::number(sinceGone.elapsed())));
}

void tst_Station::bandMemoryTakesOnlySelections_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("stored"); // BAND1_20 afterwards, 0 for none

    QTest::newRow("Ant 3 selected") << QStringList{"select 1 2"} << 3;
    QTest::newRow("pressed while channel 2 chooses its split") << QStringList{"split 2", "select 1 2"} << 0;
    QTest::newRow("chosen as the split's TX") << QStringList{"split 1", "select 1 2"} << 0;
    QTest::newRow("receive-only Ant 5 pressed") << QStringList{"select 1 4"} << 0;
    QTest::newRow("RELEASE") << QStringList{"select 1 15"} << 0;
}

void tst_Station::bandMemoryTakesOnlySelections()
{
    QFETCH(QStringList, steps);
    QFETCH(int, stored);

    const quint16 port = LoopbackAddress::freeUdpPort();
    QVERIFY(port != 0);
    StationBench bench;
    bench.open({{"serialMode", 1},
                {"IP", "127.0.0.1"},
                {"PORT", "9"},
                {"FOLLOW1", "logger"},
                {"BANDMEMORY1", 1},
                {"LOGGER_PORT", port},
                {"RXONLY_5", 1}},
               false);
    Station &station = *bench.station;
    QVERIFY(bench.connectBox());
    station.takeLanReply(status());
    QSignalSpy readings(&station.bandFollow(), &BandFollowService::frequencyRead);
    QUdpSocket logger;
    const QByteArray on20m = RadioInfoDatagram::example("1", "<Freq>1407400</Freq>", "False", "");
    QCOMPARE(logger.writeDatagram(on20m, QHostAddress::LocalHost, port), qint64(on20m.size()));
    QTRY_COMPARE(readings.count(), 1);

    for (const QString &step : steps)
        act(station, step, {Station::Source::Panel, QString()});
    QCOMPARE(QSettings(bench.iniPath(), QSettings::IniFormat).value("BAND1_20", 0).toInt(), stored);
}

// Rows: a remote client's command through the door, and what the headless log and the
// panel's status bar say of it (the panel nothing of a refusal: the client is told why).
void tst_Station::remoteCommandsSaid_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QString>("shown");
    const QString from = QStringLiteral("192.168.1.20");
    QTest::newRow("select") << "select 1 2" << from << "Channel 1: Ant 3 (Yagi) selected (remote 192.168.1.20)"
                            << QString::fromUtf8("Remote 192.168.1.20: channel 1 → Ant 3 (Yagi)");
    QTest::newRow("release, IPv6") << "select 2 15" << "::1" << "Channel 2: released (remote ::1)"
                                   << QString::fromUtf8("Remote ::1: channel 2 → released");
    QTest::newRow("split") << "split 1 4 2" << from
                           << "Channel 1: split, receiving on Ant 5, transmitting on Ant 3 (Yagi) (remote 192.168.1.20)"
                           << QString::fromUtf8(
                                  "Remote 192.168.1.20: channel 1 → split, receive Ant 5, transmit Ant 3 (Yagi)");
    QTest::newRow("split off") << "splitOff 2" << from << "Channel 2: split off (remote 192.168.1.20)"
                               << QString::fromUtf8("Remote 192.168.1.20: channel 2 → split off");
    QTest::newRow("locked") << "locked select 1 2" << from
                            << "Channel 1: refused, remote switching is locked (remote 192.168.1.20)" << QString();
    QTest::newRow("receive-only") << "select 1 5" << from
                                  << "Channel 1: refused, Ant 6 (Beverage) is receive-only (remote 192.168.1.20)"
                                  << QString();
}

void tst_Station::remoteCommandsSaid()
{
    QFETCH(QString, command);
    QFETCH(QString, address);
    QFETCH(QString, logged);
    QFETCH(QString, shown);
    StationBench bench;
    bench.open({{"serialMode", 1}, {"IP", "127.0.0.1"}, {"PORT", "9"}, {"K3_1", "Yagi"}, {"K6_1", "Beverage"},
                {"RXONLY_6", 1}},
               false);
    Station &station = *bench.station;
    QVERIFY(bench.connectBox());
    station.takeLanReply(status());
    QStringList words = command.split(QLatin1Char(' '));
    if (words.first() == QLatin1String("locked")) {
        station.setRemoteLocked(true);
        words.removeFirst();
    }
    QSignalSpy done(&station, &Station::commandDone);
    const Station::Origin origin{Station::Source::Remote, address};
    const int channel = words.at(1).toInt();
    if (words.first() == QLatin1String("select"))
        station.select(channel, words.at(2).toInt(), origin);
    else if (words.first() == QLatin1String("split"))
        station.split(channel, words.at(2).toInt(), words.at(3).toInt(), origin);
    else
        station.splitOff(channel, origin);
    QCOMPARE(done.count(), 1);
    const auto result = done.at(0).at(2).value<Station::Result>();
    QCOMPARE(StationLog::commandText(station, origin, channel, result), logged);
    QCOMPARE(RemoteSwitchNote::text(station, origin, channel, result), shown);
}

QTEST_GUILESS_MAIN(tst_Station)
#include "tst_station.moc"

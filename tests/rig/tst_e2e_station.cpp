// The contest station end to end, on both links to talmek-sim: a logger's broadcasts (up to
// the largest datagram UDP carries) and its OTRSP commands (also after the port went and came
// back) drive the channels through the buttons' own path, and receive-only antennas are
// never transmitted on by the panel's doing, and sound the alarm when the box transmits on
// one anyway. Band follow, band memory and OTRSP as scripts of what the logger and the
// operator do and what the box, the settings file and the radio's note show.

#include "lan/threadcom.h"
#include "panelbench.h"
#include "pseudoterminal.h"
#include "radioinfodatagram.h"
#include "rig/bandfollowservice.h"
#include "rig/loggerlistener.h"
#include "rig/otrspport.h"

#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

#include <functional>
#include <memory>

using PanelLook::Look;

class tst_E2eStation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { PanelProbe::silenceReadNotices(); }
    void init();
    void cleanup();

    void loggerDrivesBothChannels_data() { addLinkRows(); }
    void loggerDrivesBothChannels();
    void otrspChoosesTheAntenna_data() { addLinkRows(); }
    void otrspChoosesTheAntenna();
    void receiveOnlyIsNeverTransmittedOn_data() { addLinkRows(); }
    void receiveOnlyIsNeverTransmittedOn();
    void followAndBandMemoryScripts_data();
    void followAndBandMemoryScripts();

private:
    // The panel on the box with these settings, connected and answered.
    void startPanel(QVariantMap settings);
    int boxValue(const char *key) { return bench->sim->stateValue(QLatin1String(key)); }
    bool noted(const QString &text) const { return notes.contains(text); }
    QStringList commandsSince(int from) { return bench->commandsReceived(from); }

    std::unique_ptr<PanelBench> bench;
    QStringList notes;
};

void tst_E2eStation::init()
{
    bench = std::make_unique<PanelBench>();
    QVERIFY(bench->isValid());
    notes.clear();
}

void tst_E2eStation::cleanup() { bench.reset(); }

void tst_E2eStation::startPanel(QVariantMap settings)
{
    QFETCH(Link, link);
    QVERIFY(bench->startBox(link));
    const QVariantMap linkKeys = bench->linkSettings();
    for (auto it = linkKeys.cbegin(); it != linkKeys.cend(); ++it)
        settings.insert(it.key(), it.value());
    // Channel 1: 20 m Ant 3, 40 m Ant 2; channel 2: 20 m Ant 4.
    settings.insert(QStringLiteral("BAND1_20"), 3);
    settings.insert(QStringLiteral("BAND1_40"), 2);
    settings.insert(QStringLiteral("BAND2_20"), 4);
    bench->store(settings);
    QVERIFY(bench->open(bench->linkPorts()));
    const auto *service = bench->window->findChild<BandFollowService *>();
    connect(service, &BandFollowService::message, this, [this](int, const QString &text) { notes << text; });
    bench->startPolling();
    QVERIFY(bench->connectAndWait());
}

void tst_E2eStation::loggerDrivesBothChannels()
{
    const quint16 port = LoopbackAddress::freeUdpPort();
    QVERIFY(port != 0);
    startPanel({{"FOLLOW1", "logger"}, {"FOLLOW2", "logger"}, {"LOGGER_PORT", port}, {"LOGGER_STATION", "CW-80m"}});
    QTRY_VERIFY(noted(QStringLiteral("Radio 1: listening for the logger on UDP port %1").arg(port)));
    QUdpSocket logger;
    const auto send = [&](const QByteArray &datagram, const char *to) {
        QCOMPARE(logger.writeDatagram(datagram, QHostAddress(QLatin1String(to)), port), qint64(datagram.size()));
    };
    using RadioInfoDatagram::example;

    // Unicast, the documentation example on 20 m (tens of hertz): channel 1 to Ant 3.
    send(example("1", "<Freq>1407400</Freq>"), "127.0.0.1");
    QTRY_COMPARE(boxValue("antenna1"), 2);
    // Another program listens on the same port: broadcasts reach both.
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    send(example("2", "<Freq>1407600</Freq>"), "127.255.255.255");
    QTRY_COMPARE(boxValue("antenna2"), 3);
    QTRY_VERIFY(other.hasPendingDatagrams());

    // Another station's word and a truncated text change nothing and are counted.
    const LoggerListener *listener = bench->window->findChild<BandFollowService *>()->loggerListener();
    send(example("1", "<Freq>703000</Freq>", "False", "SSB-40m"), "127.255.255.255");
    send("<RadioInfo><RadioNr>1", "127.255.255.255");
    QTRY_COMPARE(listener->droppedStation() + listener->droppedMalformed(), quint64(2));
    QCOMPARE(boxValue("antenna1"), 2);

    // While the logger says the radio transmits, the switch to 40 m waits.
    send(example("1", "<Freq>703000</Freq>", "True"), "127.255.255.255");
    QTRY_COMPARE(listener->taken(), quint64(3));
    QVERIFY(bench->waitForTicks(4));
    QCOMPARE(boxValue("antenna1"), 2);
    send(example("1", "<Freq>703000</Freq>", "False"), "127.255.255.255");
    QTRY_COMPARE(boxValue("antenna1"), 1);

    // The largest datagram UDP carries is read whole: garbled at its end it changes nothing,
    // well formed it takes channel 1 back to 20 m.
    const QByteArray largest =
        RadioInfoDatagram::padded(RadioInfo::MaxDatagramSize, example("1", "<Freq>1407400</Freq>"));
    send(QByteArray(largest).replace("</RadioInfo>", "</RadioInfX>"), "127.255.255.255");
    QTRY_COMPARE(listener->droppedMalformed(), quint64(2));
    QVERIFY(bench->waitForTicks(4));
    QCOMPARE(boxValue("antenna1"), 1);
    send(largest, "127.255.255.255");
    QTRY_COMPARE(boxValue("antenna1"), 2);
    QCOMPARE(listener->taken(), quint64(5));
}

void tst_E2eStation::otrspChoosesTheAntenna()
{
    // The port by a name that points at one pseudo-terminal after another, as an adapter
    // pulled out and plugged in again keeps its name.
    const QString path = bench->filePath(QStringLiteral("otrsp"));
    std::unique_ptr<PseudoTerminal> logger;
    const auto plugIn = [&] {
        logger = std::make_unique<PseudoTerminal>();
        QFile::remove(path);
        return logger->isValid() && QFile::link(logger->slavePath(), path);
    };
    const auto note = [&] { return bench->window->findChild<QLabel *>(QStringLiteral("bandFollowStatus1"))->text(); };
    const QString listening = QStringLiteral("Radio 1: OTRSP: listening on %1").arg(path);
    QVERIFY(plugIn());
    startPanel({{"FOLLOW1", "otrsp"}, {"OTRSP_PORT", path}});
    QTRY_COMPARE(note(), listening);
    QVERIFY(logger->write("?NAME\rAUX13\r"));
    QCOMPARE(logger->read(26), QByteArray("NAMEZorvik Remote Control\r"));
    QTRY_COMPARE(boxValue("antenna1"), 2);
    // Codes that name no antenna, and radio 2 (not on OTRSP), change nothing but are kept.
    QVERIFY(logger->write("AUX107\rAUX25\r?AUX1\r?AUX2\r"));
    QCOMPARE(logger->read(12), QByteArray("AUX17\rAUX25\r"));
    QCOMPARE(boxValue("antenna1"), 2);
    QCOMPARE(boxValue("antenna2"), 15);

    // The port goes while open and comes back: noted, opened again by the next try (a retry
    // interval after the loss; tst_stationports pins it on a hand-moved clock), and the
    // logger's word acts again.
    logger.reset();
    QTRY_COMPARE(note(), QStringLiteral("Radio 1: OTRSP: %1 lost; trying again").arg(path));
    QVERIFY(plugIn());
    QTRY_COMPARE_WITH_TIMEOUT(note(), listening, int(OtrspPort::RetryIntervalMs) + 3000);
    QVERIFY(logger->write("AUX14\r"));
    QTRY_COMPARE(boxValue("antenna1"), 3);
    // Disconnect closes the port.
    bench->disconnectFromBox();
    QVERIFY(!bench->window->findChild<BandFollowService *>()->otrspPort()->isOpen());
}

void tst_E2eStation::receiveOnlyIsNeverTransmittedOn()
{
    // Radio 1 follows a rigctld that is not there: its note shares the status bar.
    startPanel({{"K5_1", "Beverage"}, {"RXONLY_5", 1}, {"FOLLOW1", "rigctld"}, {"RIG1", "127.0.0.1:1"}});
    const auto *note = bench->window->findChild<QLabel *>(QStringLiteral("bandFollowStatus1"));
    QTRY_VERIFY(note->isVisible());
    const int before = bench->sim->lines().size();
    // Alone it offers the split: nothing is sent.
    bench->press(QStringLiteral("botaoTecla5C1"));
    QCOMPARE(bench->status(),
             QStringLiteral("Ant 5 (Beverage) is receive-only: choose the TX position for a split receiving on it"));
    QVERIFY(bench->waitForTicks(4));
    QCOMPARE(commandsSince(before), QStringList());
    // The transmit antenna chosen: one split command, TX Ant 2, RX Ant 5.
    bench->press(QStringLiteral("botaoTecla2C1"));
    QTRY_COMPARE(boxValue("split1"), 1);
    QCOMPARE(boxValue("splitTx1"), 1);
    QCOMPARE(boxValue("antenna1"), 4);
    QCOMPARE(commandsSince(before).size(), 1);
    // Switching that split off would transmit on the Beverage: it stays on, nothing sent.
    bench->press(QStringLiteral("botaoSplitC1"));
    QVERIFY(bench->waitForTicks(4));
    QCOMPARE(commandsSince(before).size(), 1);
    QCOMPARE(boxValue("split1"), 1);

    // Transmitting, the box moves the split's TX there itself (its front panel): the alarm.
    QVERIFY(bench->sim->control(QStringLiteral("tx 1 on")));
    QTRY_COMPARE(bench->look(QStringLiteral("botaoSendC1")), Look::Red);
    QVERIFY(bench->look(QStringLiteral("botaoTecla5C1")) != Look::Alarm); // receiving there, not sending
    QVERIFY(bench->status() != QStringLiteral("Channel 1 is transmitting on receive-only Ant 5 (Beverage)!"));
    QVERIFY(bench->sim->control(QStringLiteral("select 1 5")));
    QTRY_COMPARE(bench->look(QStringLiteral("botaoTecla5C1")), Look::Alarm);
    const QString alarm = QStringLiteral("Channel 1 is transmitting on receive-only Ant 5 (Beverage)!");
    QCOMPARE(bench->status(), alarm);
    QVERIFY(!note->isVisible()); // the whole bar is the alarm's
    QVERIFY(bench->waitForTicks(6)); // ping figures come and go: the alarm stays
    QCOMPARE(bench->status(), alarm);
    QVERIFY(bench->sim->control(QStringLiteral("tx 1 off")));
    QTRY_VERIFY(bench->status() != alarm);
    QVERIFY(bench->look(QStringLiteral("botaoTecla5C1")) != Look::Alarm);
    QVERIFY(note->isVisible());
}

// Rows: channel 1's source and the settings beside startPanel()'s (channel 1: 20 m Ant 3,
// 40 m Ant 2), then steps in order. A step acts: "on 20 m" or "on 40 m" (the logger's
// broadcast for radio 1), "AUX1<n>" (its OTRSP command), "press Ant <n>", "press SPLIT"
// (channel 1's buttons); or checks: "box: Ant <n>" (channel 1 holds it), "stored: KEY=value"
// (in the settings file), "note: <text>" (radio 1's note). Every row runs on both links.
void tst_E2eStation::followAndBandMemoryScripts_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<QStringList>("steps");
    const QVariantMap logger{{"FOLLOW1", "logger"}}, otrsp{{"FOLLOW1", "otrsp"}};
    const auto with = [](QVariantMap settings, const QVariantMap &more) {
        for (auto it = more.cbegin(); it != more.cend(); ++it)
            settings.insert(it.key(), it.value());
        return settings;
    };
    struct Scenario
    {
        const char *name;
        QVariantMap settings;
        QStringList steps;
    };
    const Scenario scenarios[] = {
        {"band memory keeps a press for its band",
         with(logger, {{"BANDMEMORY1", 1}}),
         {"on 20 m", "box: Ant 3", "press Ant 5", "box: Ant 5", "stored: BAND1_20=5", "stored: BAND1_40=2", "on 40 m",
          "box: Ant 2", "on 20 m", "box: Ant 5"}},
        {"band follow passes a receive-only antenna by",
         with(logger, {{"K3_1", "Yagi"}, {"RXONLY_3", 1}}),
         {"on 40 m", "box: Ant 2", "on 20 m", "note: Radio 1: 20 m \u2192 Yagi is receive-only: not switched",
          "box: Ant 2"}},
        {"band memory keeps no receive-only antenna",
         with(logger, {{"BANDMEMORY1", 1}, {"RXONLY_5", 1}}),
         {"on 20 m", "box: Ant 3", "press Ant 5", "press SPLIT", "stored: BAND1_20=3", "on 40 m", "box: Ant 2",
          "on 20 m", "box: Ant 3"}},
        {"OTRSP passes a receive-only antenna by",
         with(otrsp, {{"K5_1", "Beverage"}, {"RXONLY_5", 1}}),
         {"AUX12", "box: Ant 2", "AUX15", "note: Radio 1: OTRSP \u2192 Beverage is receive-only: not switched",
          "box: Ant 2"}},
    };
    for (const Link link : {Link::Serial, Link::Lan}) {
        for (const Scenario &scenario : scenarios)
            QTest::addRow("%s, %s", link == Link::Serial ? "serial" : "LAN", scenario.name)
                << link << scenario.settings << scenario.steps;
    }
}

void tst_E2eStation::followAndBandMemoryScripts()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QStringList, steps);
    const quint16 port = LoopbackAddress::freeUdpPort();
    QVERIFY(port != 0);
    PseudoTerminal otrspLine;
    const QString path = bench->filePath(QStringLiteral("otrsp"));
    QVERIFY(otrspLine.isValid() && QFile::link(otrspLine.slavePath(), path));
    settings.insert(QStringLiteral("LOGGER_PORT"), port);
    settings.insert(QStringLiteral("OTRSP_PORT"), path);
    startPanel(settings);
    if (QTest::currentTestFailed())
        return;
    const auto *service = bench->window->findChild<BandFollowService *>();
    const LoggerListener *listener = service->loggerListener();
    QSignalSpy auxes(service->otrspPort(), &OtrspPort::aux);
    const auto *note = bench->window->findChild<QLabel *>(QStringLiteral("bandFollowStatus1"));
    QTRY_VERIFY(noted(QStringLiteral("Radio 1: listening for the logger on UDP port %1").arg(port))
                || noted(QStringLiteral("Radio 1: OTRSP: listening on %1").arg(path)));
    QUdpSocket logger;

    for (int i = 0; i < steps.size(); ++i) {
        const QString &step = steps.at(i);
        const QString key = step.section(QStringLiteral(": "), 1).section(QLatin1Char('='), 0, 0);
        // What a check sees now, worded as its step.
        std::function<QString()> seen;
        if (step.startsWith(QLatin1String("on "))) {
            const quint64 taken = listener->taken();
            const QByteArray datagram =
                RadioInfoDatagram::example("1", step == "on 20 m" ? "<Freq>1407400</Freq>" : "<Freq>703000</Freq>");
            QCOMPARE(logger.writeDatagram(datagram, QHostAddress::LocalHost, port), qint64(datagram.size()));
            QTRY_COMPARE(listener->taken(), taken + 1);
        } else if (step.startsWith(QLatin1String("AUX"))) {
            const int heard = auxes.size();
            QVERIFY(otrspLine.write(step.toLatin1() + '\r'));
            QTRY_COMPARE(auxes.size(), heard + 1);
        } else if (step == QLatin1String("press SPLIT")) {
            bench->press(QStringLiteral("botaoSplitC1"));
        } else if (step.startsWith(QLatin1String("press Ant "))) {
            bench->press(QStringLiteral("botaoTecla%1C1").arg(step.right(1)));
        } else if (step.startsWith(QLatin1String("box: "))) {
            seen = [&] { return QStringLiteral("box: Ant %1").arg(boxValue("antenna1") + 1); };
        } else if (step.startsWith(QLatin1String("stored: "))) {
            seen = [&] {
                const QSettings file(bench->iniPath(), QSettings::IniFormat);
                return QStringLiteral("stored: %1=%2").arg(key, file.value(key).toString());
            };
        } else if (step.startsWith(QLatin1String("note: "))) {
            seen = [&] { return QStringLiteral("note: ") + note->text(); };
        } else {
            QFAIL(qPrintable(QStringLiteral("no such step: ") + step));
        }
        if (seen) {
            const QString numbered = QStringLiteral("%1. %2").arg(i + 1);
            QTRY_COMPARE(numbered.arg(seen()), numbered.arg(step));
            continue;
        }
        // Whatever the step sets off has gone to the box and been reported back.
        QVERIFY(bench->waitForTicks(4));
    }
}

QTEST_MAIN(tst_E2eStation)
#include "tst_e2e_station.moc"

// The whole path at its own pace, on both links: the real window and polling thread talking
// to the talmek-sim process over a pseudo-terminal, or through the LAN worker over UDP to
// the box's loopback address (127.0.0.2, so that a datagram sent to a wrong or unspecified
// address cannot reach it by accident). The exact intervals are pinned on a hand-moved clock
// elsewhere (tst_threadleitura, tst_serialpath, tst_threadcom, tst_lanpath); here the pace
// is the threads' own, checked loosely, and the clock is only ever stepped forward to skip
// the watchdog's 7 s. Scenarios that only one link has run on that link alone.

#include "manualclock.h"
#include "panelbench.h"
#include "serial/seriallink.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

using PanelLook::Look;
using PanelProbe::LookHistory;

namespace {
const QString HostError = QStringLiteral("HOST error: check LAN Settings!");
const QString Power = QStringLiteral("botaoPower");
} // namespace

class tst_E2eLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // Both links.
    void connectPollsSteadily_data() { addLinkRows(); }
    void connectPollsSteadily();
    void antennaPressSwitchesTheBox_data();
    void antennaPressSwitchesTheBox();
    void splitFollowsTheBox_data();
    void splitFollowsTheBox();
    void silentBoxClearsThePanelUntilItAnswers_data() { addLinkRows(); }
    void silentBoxClearsThePanelUntilItAnswers();

    // The serial line.
    void firmwareShownWhenTheFirstStateRequestCatchesUp();
    void reconnectReachesANewBox();
    void lostLineComesBackByItself();
    void boxGoneWhileConnectedIsTriedUntilDisconnect();

    // The LAN.
    void unresolvableHostHoldsDatagramsUntilItResolves_data();
    void unresolvableHostHoldsDatagramsUntilItResolves();
    void droppedRepliesKeepTheLampAndLoseNoCommand();
    void noBoxKeepsPollingWithTheLampOut();
    void disconnectStopsPolling();

private:
    // The box on `link` and the window on it, polling, not yet connected.
    bool startOn(Link link, const QStringList &arguments = {}, const QString &ptyLink = {});
    QString status() const { return bench->status(); }
    Look lookOf(const QString &name) const { return bench->look(name); }
    QString panel() const { return bench->panel(); }
    static QString panelOf(QStringList marks) { return PanelBench::panelOf(std::move(marks)); }
    TalmekSimProcess &sim() const { return *bench->sim; }

    std::unique_ptr<SteppedClock> clock;
    std::unique_ptr<PanelBench> bench;
};

void tst_E2eLinks::initTestCase()
{
    QVERIFY2(QFileInfo(TalmekSimProcess::program()).isExecutable(), qPrintable(TalmekSimProcess::program()));
    // The worker logs every datagram it reads; a few thousand lines say nothing here.
    PanelProbe::silenceReadNotices();
}

void tst_E2eLinks::init()
{
#ifndef Q_OS_UNIX
    const QByteArray function = QTest::currentTestFunction();
    if (QByteArray(QTest::currentDataTag()).startsWith("serial") || function == "reconnectReachesANewBox"
        || function == "lostLineComesBackByItself" || function == "boxGoneWhileConnectedIsTriedUntilDisconnect"
        || function == "firmwareShownWhenTheFirstStateRequestCatchesUp")
        QSKIP("the serial line is a pseudo-terminal here");
#endif
    clock = std::make_unique<SteppedClock>();
    bench = std::make_unique<PanelBench>();
    QVERIFY(bench->isValid());
}

void tst_E2eLinks::cleanup()
{
    bench.reset();
    clock.reset();
}

bool tst_E2eLinks::startOn(Link link, const QStringList &arguments, const QString &ptyLink)
{
    return bench->startBox(link, arguments, ptyLink) && bench->openOnBox(clock.get());
}

void tst_E2eLinks::connectPollsSteadily()
{
    QFETCH(Link, link);

    QVERIFY(startOn(link, {QStringLiteral("--firmware"), QStringLiteral("3.14")}));
    QVERIFY(bench->waitForTicks(3));
    QCOMPARE(bench->received(0), QStringList()); // nothing goes out before Connect
    QCOMPARE(bench->window->lanLink()->lastDatagramTime(), 0);
    QVERIFY(lookOf(Power) != Look::Green);
    bench->connectToBox();
    QVERIFY(bench->linkUp());
    if (link == Link::Serial) {
        QTRY_COMPARE_WITH_TIMEOUT(lookOf(Power), Look::Green, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Connected! Firmware Revision: 3 . 14"), 2000);
    } else {
        QCOMPARE(status(), QStringLiteral("LAN enabled"));
        QVERIFY(!bench->action(QStringLiteral("actionLAN_Settings"))->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(lookOf(Power), Look::Green, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QLatin1String("Ping: ")), 2000);
    }
    // The lamp may light on the firmware reply already; the first status reply repaints.
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QString(), 1000); // both channels start on no antenna

    // Idle: a state request about every 160 ms, nothing else, each one answered. On the LAN
    // each round trip is shown, sampled as it stands at each request: the status bar only
    // signals when its text changes, and on loopback the figure is mostly the same few ms.
    QSignalSpy messages(bench->window->statusBar(), &QStatusBar::messageChanged);
    const quint64 read = bench->datagramsRead();
    const int from = sim().lineCount();
    QStringList shown;
    QElapsedTimer elapsed;
    for (int seen = 1; seen <= 11; ++seen) {
        QTRY_VERIFY_WITH_TIMEOUT(bench->stateRequestsReceived(from) >= seen, 3000);
        shown << status();
        if (seen == 1)
            elapsed.start();
    }
    // Ten more requests span ten gaps of no less than 150 ms. The first may have been read
    // from the simulator's output late, by up to a gap; a busy machine only stretches them.
    QVERIFY2(elapsed.elapsed() >= 9 * 150 && elapsed.elapsed() < 10 * 160 * 2,
             qPrintable(QStringLiteral("10 state requests after the first in %1 ms").arg(elapsed.elapsed())));
    const int requests = bench->stateRequestsReceived(from);
    QCOMPARE(bench->received(from).size(), requests);
    const int replies = bench->repliesSent(from);
    QVERIFY2(qAbs(replies - requests) <= 1,
             qPrintable(QStringLiteral("%1 replies to %2 requests").arg(replies).arg(requests)));
    QCOMPARE(lookOf(Power), Look::Green);

    if (link == Link::Serial) {
        QCOMPARE(status(), QStringLiteral("Connected! Firmware Revision: 3 . 14"));
    } else {
        const quint64 datagrams = bench->datagramsRead() - read;
        QVERIFY2(qAbs(qint64(datagrams) - replies) <= 1,
                 qPrintable(QStringLiteral("%1 datagrams read, %2 sent").arg(datagrams).arg(replies)));
        for (const QList<QVariant> &message : qAsConst(messages))
            shown << message.at(0).toString();
        int small = 0;
        for (const QString &text : qAsConst(shown)) {
            QVERIFY2(text.startsWith(QLatin1String("Ping: ")), qPrintable(text));
            bool isNumber = false;
            const qint64 ms = text.mid(6).toLongLong(&isNumber);
            QVERIFY2(isNumber, qPrintable(text));
            small += ms >= 0 && ms < 1000 ? 1 : 0;
        }
        // Loopback answers within a few milliseconds of the request.
        QVERIFY2(small * 2 >= shown.size(), qPrintable(shown.join(QStringLiteral(", "))));
    }

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

void tst_E2eLinks::antennaPressSwitchesTheBox_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<QString>("antennaButton");
    QTest::addColumn<QString>("releaseButton");
    QTest::addColumn<QString>("antennaKey");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("selectFrame");
    QTest::addColumn<QString>("releaseFrame");

    QTest::newRow("serial, channel 1, Ant 3") << Link::Serial << "botaoTecla3C1"
                                              << "botaoRelease1"
                                              << "antenna1" << 2 << "49 47 01 32 3B"
                                              << "49 47 01 3F 3B";
    QTest::newRow("serial, channel 2, Ant 6") << Link::Serial << "botaoTecla6C2"
                                              << "botaoRelease2"
                                              << "antenna2" << 5 << "49 47 02 35 3B"
                                              << "49 47 02 3F 3B";
    QTest::newRow("LAN, channel 1, Ant 3") << Link::Lan << "botaoTecla3C1"
                                           << "botaoRelease1"
                                           << "antenna1" << 2 << "FE 02 02 FD"
                                           << "FE 02 0F FD";
    QTest::newRow("LAN, channel 2, Ant 6") << Link::Lan << "botaoTecla6C2"
                                           << "botaoRelease2"
                                           << "antenna2" << 5 << "FE 03 05 FD"
                                           << "FE 03 0F FD";
}

void tst_E2eLinks::antennaPressSwitchesTheBox()
{
    QFETCH(Link, link);
    QFETCH(QString, antennaButton);
    QFETCH(QString, releaseButton);
    QFETCH(QString, antennaKey);
    QFETCH(int, position);
    QFETCH(QString, selectFrame);
    QFETCH(QString, releaseFrame);

    QVERIFY(startOn(link));
    QVERIFY(bench->connectAndWait());
    LookHistory lamp(bench->button(Power));

    {
        LookHistory history(bench->button(antennaButton));
        const int from = sim().lineCount();
        bench->press(antennaButton);
        // On the serial line the press shows at once, before the box has heard of it; on
        // the LAN the box's reply decides.
        QCOMPARE(lookOf(antennaButton), link == Link::Serial ? Look::Held : Look::Neutral);
        QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(antennaKey), position, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(lookOf(antennaButton), Look::Held, 2000);
        // The reply that predates the press must not turn it grey again, nor any later one.
        QVERIFY(bench->waitForReplies(4));
        QCOMPARE(history.names(), QStringList{QStringLiteral("Held")});
        QCOMPARE(panel(), antennaButton + QStringLiteral(":Held"));
        QCOMPARE(bench->commandsReceived(from), QStringList{selectFrame});
    }

    {
        LookHistory held(bench->button(antennaButton));
        const int from = sim().lineCount();
        bench->press(releaseButton);
        if (link == Link::Serial)
            QCOMPARE(panel(), QString()); // at once
        QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(antennaKey), 15, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(panel(), QString(), 2000);
        QVERIFY(bench->waitForReplies(4));
        QCOMPARE(held.names(), QStringList{QStringLiteral("Neutral")});
        QCOMPARE(panel(), QString());
        QCOMPARE(bench->commandsReceived(from), QStringList{releaseFrame});
    }
    QVERIFY2(lamp.onlyEver(Look::Green), qPrintable(lamp.names().join(QLatin1Char(' '))));
    QCOMPARE(lookOf(Power), Look::Green);

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

void tst_E2eLinks::splitFollowsTheBox_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<int>("channel");
    QTest::newRow("serial, channel 1") << Link::Serial << 1;
    QTest::newRow("serial, channel 2") << Link::Serial << 2;
    QTest::newRow("LAN, channel 1") << Link::Lan << 1;
    QTest::newRow("LAN, channel 2") << Link::Lan << 2;
}

void tst_E2eLinks::splitFollowsTheBox()
{
    QFETCH(Link, link);
    QFETCH(int, channel);
    const auto antenna = [channel](int n) { return QStringLiteral("botaoTecla%1C%2").arg(n).arg(channel); };
    const QString split = QStringLiteral("botaoSplitC%1").arg(channel);
    const QString send = QStringLiteral("botaoSendC%1").arg(channel);
    const auto key = [channel](const char *name) { return QLatin1String(name) + QString::number(channel); };
    const auto held = [](const QString &name) { return name + QStringLiteral(":Held"); };
    const auto red = [](const QString &name) { return name + QStringLiteral(":Red"); };
    const auto lanFrame = [channel](const char *arguments) {
        return QStringLiteral("FE %1 %2 FD").arg(channel + 3, 2, 10, QLatin1Char('0')).arg(QLatin1String(arguments));
    };

    QVERIFY(startOn(link));
    QVERIFY(bench->connectAndWait());

    bench->press(antenna(2));
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(key("antenna")), 1, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), held(antenna(2)), 2000);

    // SPLIT, then the TX antenna: the box receives on Ant 2 and transmits on Ant 5.
    int from = sim().lineCount();
    bench->press(split);
    QCOMPARE(status(), QStringLiteral("Choose the TX position:"));
    if (link == Link::Serial && channel == 1)
        QCOMPARE(lookOf(split), Look::Highlight); // lit at once; SPLIT 2 waits for the blink
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(split), Look::Highlight, 1500); // blinking
    bench->press(antenna(5));
    QCOMPARE(status(), QStringLiteral("Split configured succesfuly!"));
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(key("split")), 1, 3000);
    const QMap<QString, int> box = sim().state();
    QCOMPARE(box.value(key("antenna")), 1);
    QCOMPARE(box.value(key("splitTx")), 4);
    const QString receiving = panelOf({red(split), antenna(2) + QStringLiteral(":Highlight"), held(antenna(5))});
    QTRY_COMPARE_WITH_TIMEOUT(panel(), receiving, 3000);
    QVERIFY(bench->waitForReplies(3));
    QCOMPARE(panel(), receiving); // settled, not blinking
    if (link == Link::Lan)
        QCOMPARE(bench->commandsReceived(from), QStringList{lanFrame("01 04 01")});

    // While the radio transmits the two antennas swap and SEND lights.
    QVERIFY(sim().control(QStringLiteral("tx %1 on").arg(channel)));
    QTRY_COMPARE_WITH_TIMEOUT(
        panel(), panelOf({red(send), red(split), held(antenna(2)), antenna(5) + QStringLiteral(":Highlight")}), 3000);

    // SPLIT again clears it: the box keeps Ant 2, the radio still transmits.
    from = sim().lineCount();
    bench->press(split);
    QCOMPARE(status(), QStringLiteral("Split %1 disabled").arg(channel));
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(key("split")), 0, 3000);
    QCOMPARE(sim().stateValue(key("antenna")), 1);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), panelOf({red(send), held(antenna(2))}), 3000);
    if (link == Link::Lan)
        QCOMPARE(bench->commandsReceived(from), QStringList{lanFrame("00 00 00")});

    QVERIFY(sim().control(QStringLiteral("tx %1 off").arg(channel)));
    QTRY_COMPARE_WITH_TIMEOUT(panel(), held(antenna(2)), 3000);

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

void tst_E2eLinks::silentBoxClearsThePanelUntilItAnswers()
{
    QFETCH(Link, link);

    QVERIFY(startOn(link));
    QVERIFY(bench->connectAndWait());
    bench->press(QStringLiteral("botaoTecla4C2"));
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(QStringLiteral("antenna2")), 3, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QStringLiteral("botaoTecla4C2:Held"), 2000);
    QVERIFY(bench->waitForReplies(2));
    QCOMPARE(panel(), QStringLiteral("botaoTecla4C2:Held"));

    QVERIFY(sim().control(QStringLiteral("silent on")));
    const int from = sim().lineCount();
    // Two unanswered polls, and the ticks that read after them: any reply sent before the
    // silence has been read by now.
    QTRY_VERIFY_WITH_TIMEOUT(bench->stateRequestsReceived(from) >= 2, 3000);
    QVERIFY(bench->waitForTicks(2));
    QCOMPARE(lookOf(Power), Look::Green);
    // The watchdog's 7 s (pinned to the millisecond in tst_serialpath and tst_lanpath) pass
    // at once.
    clock->skip(MainWindow::LinkTimeoutMs + 1);
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(Power), Look::Neutral, 2000);
    QCOMPARE(panel(), QString());
    // The panel keeps asking; it never gives up on the link by itself.
    const int asked = bench->stateRequestsReceived(from);
    QTRY_VERIFY_WITH_TIMEOUT(bench->stateRequestsReceived(from) >= asked + 3, 3000);
    QCOMPARE(bench->repliesSent(from), 0);
    QVERIFY(bench->linkUp());

    // A press while the box is silent still reaches it; the watchdog wipes the panel again.
    bench->press(QStringLiteral("botaoTecla6C1"));
    if (link == Link::Serial)
        QCOMPARE(lookOf(QStringLiteral("botaoTecla6C1")), Look::Held);
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(QStringLiteral("antenna1")), 5, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QString(), 1000);
    QCOMPARE(lookOf(Power), Look::Neutral);

    QVERIFY(sim().control(QStringLiteral("silent off")));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(Power), Look::Green, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), panelOf({"botaoTecla4C2:Held", "botaoTecla6C1:Held"}), 2000);
    if (link == Link::Lan)
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QLatin1String("Ping: ")), 2000);

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

void tst_E2eLinks::firmwareShownWhenTheFirstStateRequestCatchesUp()
{
    QVERIFY(startOn(Link::Serial));
    // The operator connects a while after the start: the first tick then asks at once.
    clock->skip(400);
    QVERIFY(bench->waitForTicks(1));
    const int from = sim().lineCount();
    bench->connectToBox();
    // The GUI thread busy right after the open (a blocking host look-up does this): the
    // first tick's state request is queued behind the firmware request, so both replies
    // are waiting by the time the panel reads.
    QThread::msleep(250);
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(Power), Look::Green, 3000);
    QCOMPARE(sim().count(QStringLiteral("TX pty 49 47 57 01 07 "), from), 1); // the box did answer
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Connected! Firmware Revision: 1 . 7"), 1000);

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

void tst_E2eLinks::reconnectReachesANewBox()
{
    // The operator's port is a fixed name; each box process puts its own line behind it.
    const QString line = bench->filePath(QStringLiteral("ttyTalmek"));
    QVERIFY(startOn(Link::Serial, {QStringLiteral("--firmware"), QStringLiteral("2.3")}, line));
    QVERIFY(bench->connectAndWait(QStringLiteral("2 . 3")));
    bench->press(QStringLiteral("botaoTecla1C1"));
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(QStringLiteral("antenna1")), 0, 3000);

    bench->disconnectFromBox();
    QCOMPARE(status(), QStringLiteral("Disconnected"));
    QVERIFY(!bench->window->linkFlags().serialOpen);
    QVERIFY(bench->action(QStringLiteral("actionConnect_to_Brisel"))->isEnabled());
    QVERIFY(bench->waitForTicks(2)); // ticks posted before the Disconnect have run
    const int from = sim().lineCount();
    QVERIFY(bench->waitForTicks(6)); // three polls' worth
    QCOMPARE(bench->received(from), QStringList());
    QVERIFY(sim().quit());

    QVERIFY(bench->startBox(
        Link::Serial,
        {QStringLiteral("--firmware"), QStringLiteral("4.2"), QStringLiteral("--transmit"), QStringLiteral("1")},
        line));
    bench->connectToBox();
    QVERIFY(bench->window->linkFlags().serialOpen);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Connected! Firmware Revision: 4 . 2"), 2000);
    // The new box's state replaces the old one: nothing held, channel 1 transmitting.
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QStringLiteral("botaoSendC1:Red"), 3000);
    QCOMPARE(lookOf(Power), Look::Green);

    bench->press(QStringLiteral("botaoTecla3C2"));
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(QStringLiteral("antenna2")), 2, 3000);
    QVERIFY(bench->waitForReplies(2));
    QCOMPARE(panel(), panelOf({"botaoSendC1:Red", "botaoTecla3C2:Held"}));

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

void tst_E2eLinks::lostLineComesBackByItself()
{
    // The name of an adapter's line (a udev name) goes when it is unplugged and comes back
    // pointing at a new line when it is plugged in again.
    const QString line = bench->filePath(QStringLiteral("ttyTalmek"));
    QVERIFY(startOn(Link::Serial, {}, line));
    QVERIFY(bench->connectAndWait());
    QSignalSpy messages(bench->window->statusBar(), &QStatusBar::messageChanged);

    QVERIFY(sim().quit());
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Serial line lost: reconnecting to %1\u2026").arg(line), 2000);
    QVERIFY(!bench->action(QStringLiteral("actionConnect_to_Brisel"))->isEnabled()); // still connected in the menus
    bench->press(QStringLiteral("botaoTecla2C2"));

    QVERIFY(bench->startBox(Link::Serial, {QStringLiteral("--firmware"), QStringLiteral("5.1")}, line));
    // Polling resumes without a click, and the press made meanwhile reaches the box.
    QTRY_VERIFY_WITH_TIMEOUT(bench->stateRequestsReceived() > 0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Connected! Firmware Revision: 5 . 1"), 2000);
    QVERIFY(messages.contains({QStringLiteral("Connected to %1 : 9600, 8, None, 1, None").arg(line)}));
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(QStringLiteral("antenna2")), 1, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QStringLiteral("botaoTecla2C2:Held"), 2000);
    QCOMPARE(lookOf(Power), Look::Green);

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

void tst_E2eLinks::boxGoneWhileConnectedIsTriedUntilDisconnect()
{
#ifdef Q_OS_UNIX
    const QString line = bench->filePath(QStringLiteral("ttyTalmek"));
    QVERIFY(startOn(Link::Serial, {}, line));
    QVERIFY(bench->connectAndWait());

    // The box goes away with the port still open (a USB adapter pulled out does the same).
    // The panel tries the line again, but must not busy-loop on it.
    QVERIFY(sim().quit());
    QTRY_VERIFY_WITH_TIMEOUT(!bench->window->linkFlags().serialOpen, 2000);
    QElapsedTimer wall;
    wall.start();
    const qint64 cpuBefore = PanelProbe::cpuTimeMs();
    clock->skip(SerialLink::ReopenIntervalMs); // a try on the missing line among them
    // The jump cuts short the sleep it lands in; every sleep after it is a whole tick. Times
    // are taken where the thread asks, as the window may take a tick late or two at once.
    const std::size_t from = bench->ticksAskedFor();
    QTRY_VERIFY_WITH_TIMEOUT(bench->ticksAskedFor() >= from + 12, 12 * 80 + 3000);
    const std::vector<qint64> asked = bench->ticksAskedForSince(from);
    QVERIFY2(asked[11] - asked[0] >= 11 * 80,
             qPrintable(QStringLiteral("12 ticks in %1 ms").arg(asked[11] - asked[0])));
    const qint64 cpu = PanelProbe::cpuTimeMs() - cpuBefore;
    QVERIFY2(cpu * 10 < wall.elapsed() * 3,
             qPrintable(QStringLiteral("%1 ms of CPU in %2 ms").arg(cpu).arg(wall.elapsed())));

    bench->disconnectFromBox();
    QCOMPARE(status(), QStringLiteral("Disconnected"));
    QVERIFY(bench->startBox(Link::Serial, {}, line));
    clock->skip(2 * SerialLink::ReopenIntervalMs);
    QVERIFY(bench->waitForTicks(4));
    QVERIFY(!bench->window->linkFlags().serialOpen);
    QCOMPARE(bench->received(0), QStringList());
    QCOMPARE(status(), QStringLiteral("Disconnected"));
#endif
}

void tst_E2eLinks::unresolvableHostHoldsDatagramsUntilItResolves_data()
{
    QTest::addColumn<bool>("throughDialog");
    QTest::newRow("settings reloaded") << false;
    // Opened before Connect, confirmed while the link is up.
    QTest::newRow("LAN settings dialog") << true;
}

void tst_E2eLinks::unresolvableHostHoldsDatagramsUntilItResolves()
{
    QFETCH(bool, throughDialog);
    const QString boxAddress = PanelBench::boxAddress().toString();

    QVERIFY(bench->startBox(Link::Lan));
    QVariantMap settings = bench->linkSettings();
    settings.insert(QStringLiteral("IP"), QString()); // an empty name never resolves
    bench->store(settings);
    QVERIFY(bench->open({}, clock.get()));
    bench->startPolling();
    MainWindow &window = *bench->window;
    QCOMPARE(window.boxHostAddress(), QStringLiteral("error"));
    QCOMPARE(status(), HostError);

    QDialog *dialog = nullptr;
    if (throughDialog) {
        bench->trigger(QStringLiteral("actionLAN_Settings"));
        dialog = window.findChild<QDialog *>(QStringLiteral("formLanCFG"));
        QVERIFY(dialog);
    }

    const int from = sim().lineCount();
    bench->connectToBox();
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    // Every poll looks the name up again, and fails again.
    QTRY_COMPARE_WITH_TIMEOUT(status(), HostError, 2000);
    bench->press(QStringLiteral("botaoTecla5C1"));
    bench->press(QStringLiteral("botaoTecla6C2"));
    // Polls after the presses look the name up and fail again; the presses stay queued.
    window.statusBar()->clearMessage();
    QTRY_COMPARE_WITH_TIMEOUT(status(), HostError, 2000);
    QVERIFY(bench->waitForTicks(4));
    QCOMPARE(window.lanLink()->lastDatagramTime(), 0); // held, not sent anywhere
    QCOMPARE(bench->received(from), QStringList());
    QVERIFY2(window.lanLink()->pendingDatagrams() >= 2,
             qPrintable(QString::number(window.lanLink()->pendingDatagrams())));
    QCOMPARE(window.boxHostAddress(), QStringLiteral("error"));
    QCOMPARE(lookOf(Power), Look::Neutral);

    if (throughDialog) {
        auto *ip = dialog->findChild<QLineEdit *>(QStringLiteral("lineEditIP"));
        QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("lineEditPort"))->text(), bench->boxPortName());
        ip->setText(boxAddress);
        auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    } else {
        bench->store({{QStringLiteral("IP"), boxAddress}});
        window.loadSettings();
    }
    QCOMPARE(window.boxHostAddress(), boxAddress);

    // The held presses go out, oldest first, to the box now named.
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(QStringLiteral("antenna2")), 5, 3000);
    QCOMPARE(sim().stateValue(QStringLiteral("antenna1")), 4);
    QCOMPARE(bench->commandsReceived(from),
             (QStringList{QStringLiteral("FE 02 04 FD"), QStringLiteral("FE 03 05 FD")}));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(Power), Look::Green, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), panelOf({"botaoTecla5C1:Held", "botaoTecla6C2:Held"}), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QLatin1String("Ping: ")), 2000);
    QCOMPARE(window.boxHostAddress(), boxAddress);

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

void tst_E2eLinks::droppedRepliesKeepTheLampAndLoseNoCommand()
{
    QVERIFY(startOn(Link::Lan, {QStringLiteral("--drop"), QStringLiteral("50")}));
    QVERIFY(bench->connectAndWait());
    LookHistory lamp(bench->button(Power));
    const int from = sim().lineCount();

    // Faster than the worker sends, so several presses wait in its queue at once. Channel 2
    // goes to positions 1 and 2 too: payloads that carry the byte values of the state
    // request's and channel 1's command codes must not be superseded as if they were those.
    const char *const presses[] = {"botaoTecla3C2", "botaoTecla4C1", "botaoTecla6C2", "botaoTecla1C1",
                                   "botaoTecla2C2", "botaoTecla3C1", "botaoTecla3C2"};
    for (const char *name : presses)
        bench->press(QLatin1String(name));

    const auto commandsWithCode = [this, from](const char *code) {
        QStringList found;
        for (const QString &payload : bench->commandsReceived(from)) {
            if (payload.startsWith(QStringLiteral("FE %1 ").arg(QLatin1String(code))))
                found << payload;
        }
        return found;
    };
    QTRY_COMPARE_WITH_TIMEOUT(commandsWithCode("03").size(), 4, 3000);
    const QMap<QString, int> box = sim().state();
    QCOMPARE(box.value(QStringLiteral("antenna1")), 2);
    QCOMPARE(box.value(QStringLiteral("antenna2")), 2);
    // Every channel-2 press arrived, in order; channel 1 ended on its last press.
    QCOMPARE(commandsWithCode("03"), (QStringList{"FE 03 02 FD", "FE 03 05 FD", "FE 03 01 FD", "FE 03 02 FD"}));
    const QStringList channel1 = commandsWithCode("02");
    QVERIFY(!channel1.isEmpty());
    QCOMPARE(channel1.last(), QStringLiteral("FE 02 02 FD"));
    QTRY_COMPARE_WITH_TIMEOUT(panel(), panelOf({"botaoTecla3C1:Held", "botaoTecla3C2:Held"}), 3000);

    {
        LookHistory held(bench->button(QStringLiteral("botaoTecla3C1")));
        QVERIFY(bench->waitForReplies(4));
        QVERIFY2(held.onlyEver(Look::Held), qPrintable(held.names().join(QLatin1Char(' '))));
    }
    QVERIFY2(lamp.onlyEver(Look::Green), qPrintable(lamp.names().join(QLatin1Char(' '))));
    QCOMPARE(lookOf(Power), Look::Green);
    // The simulator really did drop replies meanwhile.
    QVERIFY(sim().count(QStringLiteral("-- udp reply not sent (dropped)"), from) >= 2);

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

void tst_E2eLinks::noBoxKeepsPollingWithTheLampOut()
{
    // A port on the box's address that nobody listens on: every datagram bounces.
    quint16 port = 0;
    {
        QUdpSocket probe;
        QVERIFY(probe.bind(PanelBench::boxAddress(), 0));
        port = probe.localPort();
    }
    bench->store({{QStringLiteral("serialMode"), 1},
                  {QStringLiteral("IP"), PanelBench::boxAddress().toString()},
                  {QStringLiteral("PORT"), QString::number(port)}});
    QVERIFY(bench->open({}, clock.get()));
    bench->startPolling();
    ThreadCOM &worker = *bench->window->lanLink();
    LookHistory lamp(bench->button(Power));
    const quint64 read = bench->datagramsRead();
    bench->connectToBox();
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    QTRY_VERIFY_WITH_TIMEOUT(worker.lastDatagramTime() > 0, 2000);
    const qint64 firstSend = worker.lastDatagramTime();
    // Still sending, a few polls on, with nothing coming back.
    QTRY_VERIFY_WITH_TIMEOUT(worker.lastDatagramTime() >= firstSend + 3 * 160, 3000);
    QVERIFY2(worker.pendingDatagrams() <= 1, qPrintable(QString::number(worker.pendingDatagrams())));
    QVERIFY2(!lamp.names().contains(QStringLiteral("Green")), qPrintable(lamp.names().join(QLatin1Char(' '))));
    QCOMPARE(lookOf(Power), Look::Neutral);
    QCOMPARE(bench->datagramsRead(), read); // nothing came back
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    QVERIFY(bench->window->isVisible());

    // The box appears on that port: the polls reach it without a new Connect.
    QVERIFY(bench->startBox(Link::Lan, {}, {}, port));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(Power), Look::Green, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QLatin1String("Ping: ")), 2000);
    QVERIFY(bench->stateRequestsReceived() >= 1);

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

void tst_E2eLinks::disconnectStopsPolling()
{
    QVERIFY(startOn(Link::Lan));
    QVERIFY(bench->connectAndWait());
    ThreadCOM &worker = *bench->window->lanLink();
    bench->press(QStringLiteral("botaoTecla2C2"));
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(QStringLiteral("antenna2")), 1, 3000);

    bench->disconnectFromBox();
    QCOMPARE(status(), QStringLiteral("Disconnected"));
    QVERIFY(!bench->window->linkFlags().lanLinkEnabled);
    QVERIFY(bench->action(QStringLiteral("actionConnect_to_Brisel"))->isEnabled());
    QVERIFY(bench->action(QStringLiteral("actionLAN_Settings"))->isEnabled());
    // Whatever was queued before the Disconnect may still leave; then nothing more.
    QTRY_COMPARE_WITH_TIMEOUT(worker.pendingDatagrams(), 0, 2000);
    QVERIFY(bench->waitForTicks(2));
    const qint64 lastSend = worker.lastDatagramTime();
    int from = sim().lineCount();
    bench->press(QStringLiteral("botaoTecla1C1"));
    QCOMPARE(worker.pendingDatagrams(), 0);
    QVERIFY(bench->waitForTicks(6)); // three polls' worth
    QCOMPARE(worker.lastDatagramTime(), lastSend);
    QCOMPARE(bench->received(from), QStringList());
    QCOMPARE(sim().stateValue(QStringLiteral("antenna1")), 15);

    // Connecting again resumes the polling.
    from = sim().lineCount();
    bench->connectToBox();
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    QTRY_VERIFY_WITH_TIMEOUT(bench->stateRequestsReceived(from) >= 3, 2000);

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

QTEST_MAIN(tst_E2eLinks)
#include "tst_e2e_links.moc"

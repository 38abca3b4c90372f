// The whole LAN path at its own pace: the real window, polling thread and LAN worker
// talking UDP to the talmek-sim process bound on 127.0.0.2. The exact intervals are pinned
// on a hand-moved clock elsewhere (tst_threadleitura, tst_threadcom, tst_lanpath); here the
// pace is the threads' own, checked loosely, and the clock is only ever stepped forward to
// skip the watchdog's 7 s. The box is on 127.0.0.2 so that a datagram sent to a wrong or
// unspecified address cannot reach it by accident.

#include "app/mainwindow.h"
#include "app/panellook.h"
#include "engine/threadleitura.h"
#include "lan/threadcom.h"
#include "manualclock.h"
#include "talmeksimprocess.h"

#include "panelprobe.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <memory>

using PanelLook::Look;

namespace {
const QString BoxAddress = QStringLiteral("127.0.0.2");
const QString StateRequest = QStringLiteral("FE 01 FD");
const QString HostError = QStringLiteral("HOST error: check LAN Settings!");

} // namespace

using namespace PanelProbe;

class tst_E2eLan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectShowsPingAndPollsSteadily();
    void antennaPressSwitchesTheBox_data();
    void antennaPressSwitchesTheBox();
    void splitFollowsTheBox_data();
    void splitFollowsTheBox();
    void silentBoxClearsThePanelUntilItAnswers();
    void unresolvableHostHoldsDatagramsUntilItResolves_data();
    void unresolvableHostHoldsDatagramsUntilItResolves();
    void droppedRepliesKeepTheLampAndLoseNoCommand();
    void noBoxKeepsPollingWithTheLampOut();
    void disconnectStopsPolling();

private:
    QPushButton *button(const QString &name) { return window->findChild<QPushButton *>(name); }
    QAction *action(const char *name) { return window->findChild<QAction *>(QLatin1String(name)); }
    QString status() { return window->statusBar()->currentMessage(); }
    Look lookOf(const QString &name) { return ::lookOf(button(name)); }
    QString panel() const { return panelMarks(window.get()); }
    static QString panelOf(QStringList marks) { return sortedMarks(std::move(marks)); }
    QStringList received(int from) const;
    QStringList commandsReceived(int from) const;
    int stateRequestsReceived(int from) const { return received(from).count(StateRequest); }
    int repliesSent(int from) const;
    void startSimulator(const QStringList &arguments, quint16 port = 0);
    void startPanel(const QString &ip, const QString &port);
    void connectPanel();
    void waitForReplies(int count);
    // Waits until the polling thread has ticked `count` more times.
    void waitForTicks(int count);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<SteppedClock> clock;
    std::atomic<int> ticks{0};
    std::unique_ptr<TalmekSimProcess> sim;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ThreadLeitura> polling;
    quint16 simPort = 0;
};

void tst_E2eLan::initTestCase()
{
    QVERIFY2(QFileInfo(TalmekSimProcess::program()).isExecutable(), qPrintable(TalmekSimProcess::program()));
    qRegisterMetaType<MainWindow *>("MainWindow*");
    ReadNotices::install();
}

void tst_E2eLan::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    sim = std::make_unique<TalmekSimProcess>();
    clock = std::make_unique<SteppedClock>();
    ticks = 0;
    simPort = 0;
}

void tst_E2eLan::cleanup()
{
    // The thread posts to the window, so it goes first.
    polling.reset();
    window.reset();
    sim.reset();
    clock.reset();
    dir.reset();
}

// The payloads (hex, as the simulator prints them) of the datagrams the box received from
// the panel's socket, from console line `from` on.
QStringList tst_E2eLan::received(int from) const
{
    const QString panelPort = QLatin1Char(':') + QString::number(window->lanLink()->localPort());
    QStringList payloads;
    const QStringList &lines = sim->lines();
    for (int i = qMax(0, from); i < lines.size(); ++i) {
        const QStringList words = lines.at(i).split(QLatin1Char(' '));
        if (words.size() > 3 && words.at(0) == QLatin1String("RX") && words.at(1) == QLatin1String("udp")
            && words.at(2).endsWith(panelPort))
            payloads << words.mid(3).join(QLatin1Char(' '));
    }
    return payloads;
}

QStringList tst_E2eLan::commandsReceived(int from) const
{
    QStringList commands = received(from);
    commands.removeAll(StateRequest);
    return commands;
}

// Status replies the box sent to the panel's socket from console line `from` on.
int tst_E2eLan::repliesSent(int from) const
{
    const QString prefix = QStringLiteral("TX udp ");
    const QString panelPort = QLatin1Char(':') + QString::number(window->lanLink()->localPort());
    int n = 0;
    const QStringList &lines = sim->lines();
    for (int i = qMax(0, from); i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line.startsWith(prefix) && line.section(QLatin1Char(' '), 2, 2).endsWith(panelPort))
            ++n;
    }
    return n;
}

void tst_E2eLan::startSimulator(const QStringList &arguments, quint16 port)
{
    QVERIFY2(sim->start(QStringList{QStringLiteral("--hex"), QStringLiteral("--udp"), QString::number(port),
                                    QStringLiteral("--udp-bind"), BoxAddress}
                        + arguments),
             "talmek-sim did not start");
    const QString line = sim->waitForLine(QStringLiteral("UDP "), 0, 5000);
    QVERIFY2(line.startsWith(QStringLiteral("UDP ") + BoxAddress + QLatin1Char(':')), qPrintable(line));
    simPort = line.section(QLatin1Char(':'), 1).toUShort();
    QVERIFY(simPort != 0);
    if (port != 0)
        QCOMPARE(simPort, port);
}

void tst_E2eLan::startPanel(const QString &ip, const QString &port)
{
    const QString ini = dir->filePath(QStringLiteral("settings.ini"));
    {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setValue(QStringLiteral("serialMode"), 1);
        settings.setValue(QStringLiteral("IP"), ip);
        settings.setValue(QStringLiteral("PORT"), port);
    }
    window = std::make_unique<MainWindow>(
        MainWindow::Options{ini, [] { return QList<SerialPortDescription>{}; }, clock.get()});
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(window->lanLink()->localPort() != 0);
    polling = std::make_unique<ThreadLeitura>(window.get());
    // Queued to this thread: counted when the window could have carried the tick out.
    connect(polling.get(), &ThreadLeitura::tickDue, window.get(), [this] { ++ticks; });
}

void tst_E2eLan::waitForTicks(int count)
{
    const int target = ticks + count;
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= target, 80 * count + 3000);
}

// Connects and waits for the lamp and the first "Ping: " figure.
void tst_E2eLan::connectPanel()
{
    action("actionConnect_to_Brisel")->trigger();
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    QVERIFY(window->linkFlags().lanLinkEnabled);
    QVERIFY(!action("actionLAN_Settings")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(QStringLiteral("botaoPower")), Look::Green, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QLatin1String("Ping: ")), 2000);
}

// Waits until the panel has read `count` more datagrams from the box.
void tst_E2eLan::waitForReplies(int count)
{
    const int target = ReadNotices::count() + count;
    QTRY_VERIFY_WITH_TIMEOUT(ReadNotices::count() >= target, 3000);
}

void tst_E2eLan::connectShowsPingAndPollsSteadily()
{
    startSimulator({});
    startPanel(BoxAddress, QString::number(simPort));
    waitForTicks(3);
    QCOMPARE(window->lanLink()->lastDatagramTime(), 0); // nothing goes out before Connect
    QVERIFY(received(0).isEmpty());
    QVERIFY(lookOf(QStringLiteral("botaoPower")) != Look::Green);
    connectPanel();
    QCOMPARE(panel(), QString()); // the box starts with both channels on no antenna

    // Idle: a state request about every 160 ms, nothing else, each one answered and its
    // round trip shown.
    QSignalSpy messages(window->statusBar(), &QStatusBar::messageChanged);
    const int notices = ReadNotices::count();
    const int from = sim->lineCount();
    QElapsedTimer elapsed;
    // The figure is sampled as it stands at each request: the status bar only signals when
    // its text changes, and on loopback the figure is mostly the same few milliseconds.
    QStringList shown;
    for (int seen = 1; seen <= 11; ++seen) {
        QTRY_VERIFY_WITH_TIMEOUT(stateRequestsReceived(from) >= seen, 3000);
        shown << status();
        if (seen == 1)
            elapsed.start();
    }
    // Ten more requests span ten gaps of no less than 150 ms. The first may have been read
    // from the simulator's output late, by up to a gap; a busy machine only stretches them.
    QVERIFY2(elapsed.elapsed() >= 9 * 150 && elapsed.elapsed() < 10 * 160 * 2,
             qPrintable(QStringLiteral("10 state requests after the first in %1 ms").arg(elapsed.elapsed())));
    const int requests = stateRequestsReceived(from);
    QCOMPARE(received(from).size(), requests);
    const int replies = repliesSent(from);
    QVERIFY2(qAbs(replies - requests) <= 1,
             qPrintable(QStringLiteral("%1 replies to %2 requests").arg(replies).arg(requests)));
    QVERIFY2(qAbs(ReadNotices::count() - notices - replies) <= 1,
             qPrintable(QStringLiteral("%1 datagrams read, %2 sent").arg(ReadNotices::count() - notices).arg(replies)));

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
    QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Green);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eLan::antennaPressSwitchesTheBox_data()
{
    QTest::addColumn<QString>("antennaButton");
    QTest::addColumn<QString>("releaseButton");
    QTest::addColumn<QString>("antennaKey");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("selectFrame");
    QTest::addColumn<QString>("releaseFrame");

    QTest::newRow("channel 1, Ant 3") << "botaoTecla3C1"
                                      << "botaoRelease1"
                                      << "antenna1" << 2 << "FE 02 02 FD"
                                      << "FE 02 0F FD";
    QTest::newRow("channel 2, Ant 6") << "botaoTecla6C2"
                                      << "botaoRelease2"
                                      << "antenna2" << 5 << "FE 03 05 FD"
                                      << "FE 03 0F FD";
}

void tst_E2eLan::antennaPressSwitchesTheBox()
{
    QFETCH(QString, antennaButton);
    QFETCH(QString, releaseButton);
    QFETCH(QString, antennaKey);
    QFETCH(int, position);
    QFETCH(QString, selectFrame);
    QFETCH(QString, releaseFrame);

    startSimulator({});
    startPanel(BoxAddress, QString::number(simPort));
    connectPanel();

    {
        LookHistory history(button(antennaButton));
        const int from = sim->lineCount();
        QTest::mouseClick(button(antennaButton), Qt::LeftButton);
        QCOMPARE(lookOf(antennaButton), Look::Neutral); // on the LAN the box's reply decides
        QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(antennaKey), position, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(lookOf(antennaButton), Look::Held, 2000);
        QCOMPARE(panel(), antennaButton + QStringLiteral(":Held"));
        QCOMPARE(history.names(), QStringList{QStringLiteral("Held")});
        QCOMPARE(commandsReceived(from), QStringList{selectFrame});
    }

    {
        // Replies that repeat the state change nothing on the panel.
        LookHistory held(button(antennaButton));
        LookHistory lamp(button(QStringLiteral("botaoPower")));
        waitForReplies(4);
        QVERIFY2(held.onlyEver(Look::Held), qPrintable(held.names().join(QLatin1Char(' '))));
        QVERIFY2(lamp.onlyEver(Look::Green), qPrintable(lamp.names().join(QLatin1Char(' '))));
        QCOMPARE(panel(), antennaButton + QStringLiteral(":Held"));
    }

    {
        const int from = sim->lineCount();
        QTest::mouseClick(button(releaseButton), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(antennaKey), 15, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(panel(), QString(), 2000);
        QCOMPARE(commandsReceived(from), QStringList{releaseFrame});
        QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Green);
    }

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eLan::splitFollowsTheBox_data()
{
    QTest::addColumn<int>("channel");
    QTest::newRow("channel 1") << 1;
    QTest::newRow("channel 2") << 2;
}

void tst_E2eLan::splitFollowsTheBox()
{
    QFETCH(int, channel);
    const auto antenna = [channel](int n) { return QStringLiteral("botaoTecla%1C%2").arg(n).arg(channel); };
    const QString split = QStringLiteral("botaoSplitC%1").arg(channel);
    const QString send = QStringLiteral("botaoSendC%1").arg(channel);
    const auto key = [channel](const char *name) { return QLatin1String(name) + QString::number(channel); };
    const auto frame = [channel](const char *arguments) {
        return QStringLiteral("FE %1 %2 FD").arg(channel + 3, 2, 10, QLatin1Char('0')).arg(QLatin1String(arguments));
    };

    startSimulator({});
    startPanel(BoxAddress, QString::number(simPort));
    connectPanel();

    QTest::mouseClick(button(antenna(2)), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(key("antenna")), 1, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), antenna(2) + QStringLiteral(":Held"), 2000);

    // SPLIT, then the TX antenna: the box receives on Ant 2 and transmits on Ant 5.
    int from = sim->lineCount();
    QTest::mouseClick(button(split), Qt::LeftButton);
    QCOMPARE(status(), QStringLiteral("Choose the TX position:"));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(split), Look::Highlight, 1500); // blinking
    QTest::mouseClick(button(antenna(5)), Qt::LeftButton);
    QCOMPARE(status(), QStringLiteral("Split configured succesfuly!"));
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(key("split")), 1, 3000);
    const QMap<QString, int> box = sim->state();
    QCOMPARE(box.value(key("antenna")), 1);
    QCOMPARE(box.value(key("splitTx")), 4);
    const QString receiving = panelOf({split + QStringLiteral(":Red"), antenna(2) + QStringLiteral(":Highlight"),
                                       antenna(5) + QStringLiteral(":Held")});
    QTRY_COMPARE_WITH_TIMEOUT(panel(), receiving, 3000);
    waitForReplies(3);
    QCOMPARE(panel(), receiving); // settled, not blinking
    QCOMPARE(commandsReceived(from), QStringList{frame("01 04 01")});

    // While the radio transmits the two antennas swap and SEND lights.
    QVERIFY(sim->control(QStringLiteral("tx %1 on").arg(channel)));
    QTRY_COMPARE_WITH_TIMEOUT(
        panel(),
        panelOf({send + QStringLiteral(":Red"), split + QStringLiteral(":Red"), antenna(2) + QStringLiteral(":Held"),
                 antenna(5) + QStringLiteral(":Highlight")}),
        3000);

    // SPLIT again clears it: the box keeps Ant 2, the radio still transmits.
    from = sim->lineCount();
    QTest::mouseClick(button(split), Qt::LeftButton);
    QCOMPARE(status(), QStringLiteral("Split %1 disabled").arg(channel));
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(key("split")), 0, 3000);
    QCOMPARE(sim->stateValue(key("antenna")), 1);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), panelOf({send + QStringLiteral(":Red"), antenna(2) + QStringLiteral(":Held")}),
                              3000);
    QCOMPARE(commandsReceived(from), QStringList{frame("00 00 00")});

    QVERIFY(sim->control(QStringLiteral("tx %1 off").arg(channel)));
    QTRY_COMPARE_WITH_TIMEOUT(panel(), antenna(2) + QStringLiteral(":Held"), 3000);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eLan::silentBoxClearsThePanelUntilItAnswers()
{
    startSimulator({});
    startPanel(BoxAddress, QString::number(simPort));
    connectPanel();
    QTest::mouseClick(button(QStringLiteral("botaoTecla4C2")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna2")), 3, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QStringLiteral("botaoTecla4C2:Held"), 2000);

    QVERIFY(sim->control(QStringLiteral("silent on")));
    const int from = sim->lineCount();
    // Two unanswered polls: any reply sent before the silence has been read by now.
    QTRY_VERIFY_WITH_TIMEOUT(stateRequestsReceived(from) >= 2, 3000);
    QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Green);
    // The watchdog's 7 s (pinned to the millisecond in tst_lanpath) pass at once.
    clock->skip(MainWindow::LinkTimeoutMs + 1);
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(QStringLiteral("botaoPower")), Look::Neutral, 2000);
    QCOMPARE(panel(), QString());
    // The panel keeps asking; it never gives up on the link by itself.
    const int asked = stateRequestsReceived(from);
    QTRY_VERIFY_WITH_TIMEOUT(stateRequestsReceived(from) >= asked + 3, 3000);
    QCOMPARE(repliesSent(from), 0);
    QVERIFY(window->linkFlags().lanLinkEnabled);

    // A press while the box is silent still reaches it; the watchdog wipes the panel again.
    QTest::mouseClick(button(QStringLiteral("botaoTecla6C1")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna1")), 5, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QString(), 1000);
    QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Neutral);

    QVERIFY(sim->control(QStringLiteral("silent off")));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(QStringLiteral("botaoPower")), Look::Green, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), panelOf({"botaoTecla4C2:Held", "botaoTecla6C1:Held"}), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QLatin1String("Ping: ")), 2000);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eLan::unresolvableHostHoldsDatagramsUntilItResolves_data()
{
    QTest::addColumn<bool>("throughDialog");
    QTest::newRow("settings reloaded") << false;
    // Opened before Connect, confirmed while the link is up.
    QTest::newRow("LAN settings dialog") << true;
}

void tst_E2eLan::unresolvableHostHoldsDatagramsUntilItResolves()
{
    QFETCH(bool, throughDialog);

    startSimulator({});
    startPanel(QString(), QString::number(simPort)); // an empty name never resolves
    QCOMPARE(window->boxHostAddress(), QStringLiteral("error"));
    QCOMPARE(status(), HostError);

    QDialog *dialog = nullptr;
    if (throughDialog) {
        action("actionLAN_Settings")->trigger();
        dialog = window->findChild<QDialog *>(QStringLiteral("formLanCFG"));
        QVERIFY(dialog);
    }

    const int from = sim->lineCount();
    action("actionConnect_to_Brisel")->trigger();
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    // Every poll looks the name up again, and fails again.
    QTRY_COMPARE_WITH_TIMEOUT(status(), HostError, 2000);
    QTest::mouseClick(button(QStringLiteral("botaoTecla5C1")), Qt::LeftButton);
    QTest::mouseClick(button(QStringLiteral("botaoTecla6C2")), Qt::LeftButton);
    // Polls after the presses look the name up and fail again; the presses stay queued.
    window->statusBar()->clearMessage();
    QTRY_COMPARE_WITH_TIMEOUT(status(), HostError, 2000);
    waitForTicks(4);
    QCOMPARE(window->lanLink()->lastDatagramTime(), 0); // held, not sent anywhere
    QCOMPARE(received(from), QStringList());
    QVERIFY2(window->lanLink()->pendingDatagrams() >= 2,
             qPrintable(QString::number(window->lanLink()->pendingDatagrams())));
    QCOMPARE(window->boxHostAddress(), QStringLiteral("error"));
    QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Neutral);

    if (throughDialog) {
        auto *ip = dialog->findChild<QLineEdit *>(QStringLiteral("lineEditIP"));
        QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("lineEditPort"))->text(), QString::number(simPort));
        ip->setText(BoxAddress);
        auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    } else {
        QSettings(window->settingsFilePath(), QSettings::IniFormat).setValue(QStringLiteral("IP"), BoxAddress);
        window->loadSettings();
    }
    QCOMPARE(window->boxHostAddress(), BoxAddress);

    // The held presses go out, oldest first, to the box now named.
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna2")), 5, 3000);
    QCOMPARE(sim->stateValue(QStringLiteral("antenna1")), 4);
    QCOMPARE(commandsReceived(from), (QStringList{QStringLiteral("FE 02 04 FD"), QStringLiteral("FE 03 05 FD")}));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(QStringLiteral("botaoPower")), Look::Green, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), panelOf({"botaoTecla5C1:Held", "botaoTecla6C2:Held"}), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QLatin1String("Ping: ")), 2000);
    QCOMPARE(window->boxHostAddress(), BoxAddress);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eLan::droppedRepliesKeepTheLampAndLoseNoCommand()
{
    startSimulator({QStringLiteral("--drop"), QStringLiteral("50")});
    startPanel(BoxAddress, QString::number(simPort));
    connectPanel();
    LookHistory lamp(button(QStringLiteral("botaoPower")));
    const int from = sim->lineCount();

    // Faster than the worker sends, so several presses wait in its queue at once. Channel 2
    // goes to positions 1 and 2 too: payloads that carry the byte values of the state
    // request's and channel 1's command codes must not be superseded as if they were those.
    const char *const presses[] = {"botaoTecla3C2", "botaoTecla4C1", "botaoTecla6C2", "botaoTecla1C1",
                                   "botaoTecla2C2", "botaoTecla3C1", "botaoTecla3C2"};
    for (const char *name : presses)
        QTest::mouseClick(button(QLatin1String(name)), Qt::LeftButton);

    const auto commandsWithCode = [this, from](const char *code) {
        QStringList found;
        for (const QString &payload : commandsReceived(from)) {
            if (payload.startsWith(QStringLiteral("FE %1 ").arg(QLatin1String(code))))
                found << payload;
        }
        return found;
    };
    QTRY_COMPARE_WITH_TIMEOUT(commandsWithCode("03").size(), 4, 3000);
    const QMap<QString, int> box = sim->state();
    QCOMPARE(box.value(QStringLiteral("antenna1")), 2);
    QCOMPARE(box.value(QStringLiteral("antenna2")), 2);
    // Every channel-2 press arrived, in order; channel 1 ended on its last press.
    QCOMPARE(commandsWithCode("03"), (QStringList{"FE 03 02 FD", "FE 03 05 FD", "FE 03 01 FD", "FE 03 02 FD"}));
    const QStringList channel1 = commandsWithCode("02");
    QVERIFY(!channel1.isEmpty());
    QCOMPARE(channel1.last(), QStringLiteral("FE 02 02 FD"));
    QTRY_COMPARE_WITH_TIMEOUT(panel(), panelOf({"botaoTecla3C1:Held", "botaoTecla3C2:Held"}), 3000);

    {
        LookHistory held(button(QStringLiteral("botaoTecla3C1")));
        waitForReplies(4);
        QVERIFY2(held.onlyEver(Look::Held), qPrintable(held.names().join(QLatin1Char(' '))));
    }
    QVERIFY2(lamp.onlyEver(Look::Green), qPrintable(lamp.names().join(QLatin1Char(' '))));
    QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Green);
    // The simulator really did drop replies meanwhile.
    QVERIFY(sim->count(QStringLiteral("-- udp reply not sent (dropped)"), from) >= 2);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eLan::noBoxKeepsPollingWithTheLampOut()
{
    // A port on the box's address that nobody listens on: every datagram bounces.
    quint16 port = 0;
    {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress(BoxAddress), 0));
        port = probe.localPort();
    }
    startPanel(BoxAddress, QString::number(port));
    LookHistory lamp(button(QStringLiteral("botaoPower")));
    const int notices = ReadNotices::count();
    action("actionConnect_to_Brisel")->trigger();
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    QTRY_VERIFY_WITH_TIMEOUT(window->lanLink()->lastDatagramTime() > 0, 2000);
    const qint64 firstSend = window->lanLink()->lastDatagramTime();
    // Still sending, a few polls on, with nothing coming back.
    QTRY_VERIFY_WITH_TIMEOUT(window->lanLink()->lastDatagramTime() >= firstSend + 3 * 160, 3000);
    QVERIFY2(window->lanLink()->pendingDatagrams() <= 1,
             qPrintable(QString::number(window->lanLink()->pendingDatagrams())));
    QVERIFY2(!lamp.names().contains(QStringLiteral("Green")), qPrintable(lamp.names().join(QLatin1Char(' '))));
    QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Neutral);
    QCOMPARE(ReadNotices::count(), notices); // nothing came back
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    QVERIFY(window->isVisible());

    // The box appears on that port: the polls reach it without a new Connect.
    startSimulator({}, port);
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(QStringLiteral("botaoPower")), Look::Green, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QLatin1String("Ping: ")), 2000);
    QVERIFY(stateRequestsReceived(0) >= 1);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eLan::disconnectStopsPolling()
{
    startSimulator({});
    startPanel(BoxAddress, QString::number(simPort));
    connectPanel();
    QTest::mouseClick(button(QStringLiteral("botaoTecla2C2")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna2")), 1, 3000);

    action("actionDisconnect")->trigger();
    QCOMPARE(status(), QStringLiteral("Disconnected"));
    QVERIFY(!window->linkFlags().lanLinkEnabled);
    QVERIFY(action("actionConnect_to_Brisel")->isEnabled());
    QVERIFY(action("actionLAN_Settings")->isEnabled());
    // Whatever was queued before the Disconnect may still leave; then nothing more.
    QTRY_COMPARE_WITH_TIMEOUT(window->lanLink()->pendingDatagrams(), 0, 2000);
    waitForTicks(2);
    const qint64 lastSend = window->lanLink()->lastDatagramTime();
    int from = sim->lineCount();
    QTest::mouseClick(button(QStringLiteral("botaoTecla1C1")), Qt::LeftButton);
    QCOMPARE(window->lanLink()->pendingDatagrams(), 0);
    waitForTicks(6); // three polls' worth
    QCOMPARE(window->lanLink()->lastDatagramTime(), lastSend);
    QCOMPARE(received(from), QStringList());
    QCOMPARE(sim->stateValue(QStringLiteral("antenna1")), 15);

    // Connecting again resumes the polling.
    from = sim->lineCount();
    action("actionConnect_to_Brisel")->trigger();
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    QTRY_VERIFY_WITH_TIMEOUT(stateRequestsReceived(from) >= 3, 2000);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

QTEST_MAIN(tst_E2eLan)
#include "tst_e2e_lan.moc"

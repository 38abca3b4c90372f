// The whole serial path at its own pace: the real window and polling thread talking to the
// talmek-sim process over a pseudo-terminal. The exact intervals are pinned on a hand-moved
// clock elsewhere (tst_threadleitura, tst_serialpath); here the pace is the thread's own,
// checked loosely, and the clock is only ever stepped forward to skip the watchdog's 7 s.

#include "app/mainwindow.h"
#include "app/panellook.h"
#include "engine/threadleitura.h"
#include "manualclock.h"
#include "talmeksimprocess.h"

#include "panelprobe.h"
#include "serial/seriallink.h"

#include <QAction>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include <sys/resource.h>

using PanelLook::Look;

namespace {
// What the simulator prints for the frames of interest (--hex).
const QString StateRequestSeen = QStringLiteral("RX pty 49 47 05 33 3B");
const QString CommandSeen = QStringLiteral("RX pty 49 47 0");
const QString StatusSent = QStringLiteral("TX pty 49 47 05 ");
const QString TransmitStatusSent = QStringLiteral("TX pty 49 47 54 ");

} // namespace

using namespace PanelProbe;

class tst_E2eSerial : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectShowsFirmwareAndPollsSteadily();
    void firmwareShownWhenTheFirstStateRequestCatchesUp();
    void antennaPressSwitchesTheBox_data();
    void antennaPressSwitchesTheBox();
    void splitFollowsTheBox();
    void silentBoxClearsThePanelUntilItAnswers();
    void reconnectReachesANewBox();
    void lostLineComesBackByItself();
    void boxGoneWhileConnectedIsTriedUntilDisconnect();

private:
    QPushButton *button(const QString &name) { return window->findChild<QPushButton *>(name); }
    QAction *action(const char *name) { return window->findChild<QAction *>(QLatin1String(name)); }
    QString status() { return window->statusBar()->currentMessage(); }
    Look lookOf(const QString &name) { return ::lookOf(button(name)); }
    QString panel() const { return panelMarks(window.get()); }
    static QString panelOf(QStringList marks) { return sortedMarks(std::move(marks)); }
    int statusRepliesSent(int from) { return sim->count(StatusSent, from) + sim->count(TransmitStatusSent, from); }
    void startSimulator(const QStringList &arguments);
    void startPanel(const QString &portName);
    void connectPanel(int major, int minor);
    void waitForReplies(int count);
    // Waits until the polling thread has ticked `count` more times.
    void waitForTicks(int count);
    // How many ticks the polling thread has asked the window for, and when (steady ms).
    std::size_t ticksAskedFor() const;
    std::vector<qint64> ticksAskedForSince(std::size_t from) const;

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<SteppedClock> clock;
    int ticks = 0;
    mutable std::mutex askedMutex;
    std::vector<qint64> askedAt; // written by the polling thread
    std::unique_ptr<TalmekSimProcess> sim;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ThreadLeitura> polling;
};

void tst_E2eSerial::initTestCase()
{
    QVERIFY2(QFileInfo(TalmekSimProcess::program()).isExecutable(), qPrintable(TalmekSimProcess::program()));
    qRegisterMetaType<MainWindow *>("MainWindow*");
}

void tst_E2eSerial::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    sim = std::make_unique<TalmekSimProcess>();
    clock = std::make_unique<SteppedClock>();
    ticks = 0;
    askedAt.clear();
}

void tst_E2eSerial::cleanup()
{
    // The thread posts to the window, so it goes first; the window closes its port.
    polling.reset();
    window.reset();
    sim.reset();
    clock.reset();
    dir.reset();
}

void tst_E2eSerial::startSimulator(const QStringList &arguments)
{
    QVERIFY2(sim->start(QStringList{QStringLiteral("--hex")} + arguments), "talmek-sim did not start");
}

void tst_E2eSerial::startPanel(const QString &portName)
{
    const QString ini = dir->filePath(QStringLiteral("settings.ini"));
    {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setValue(QStringLiteral("serialMode"), 2);
    }
    SerialPortDescription port;
    port.portName = portName;
    window = std::make_unique<MainWindow>(
        MainWindow::Options{ini, [port] { return QList<SerialPortDescription>{port}; }, clock.get()});
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    polling = std::make_unique<ThreadLeitura>(window.get());
    // Queued to this thread: counted when the window could have carried the tick out.
    connect(polling.get(), &ThreadLeitura::tickDue, window.get(), [this] { ++ticks; });
    // Direct: the time the thread asked, however late the window gets round to it.
    connect(
        polling.get(), &ThreadLeitura::tickDue, polling.get(),
        [this] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::lock_guard<std::mutex> lock(askedMutex);
            askedAt.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
        },
        Qt::DirectConnection);
}

std::size_t tst_E2eSerial::ticksAskedFor() const
{
    std::lock_guard<std::mutex> lock(askedMutex);
    return askedAt.size();
}

std::vector<qint64> tst_E2eSerial::ticksAskedForSince(std::size_t from) const
{
    std::lock_guard<std::mutex> lock(askedMutex);
    return {askedAt.begin() + std::min(from, askedAt.size()), askedAt.end()};
}

void tst_E2eSerial::waitForTicks(int count)
{
    const int target = ticks + count;
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= target, 80 * count + 3000);
}

// Connects and waits for the box's firmware text and the green lamp.
void tst_E2eSerial::connectPanel(int major, int minor)
{
    QElapsedTimer clock;
    clock.start();
    action("actionConnect_to_Brisel")->trigger();
    QVERIFY(window->linkFlags().serialOpen);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Connected! Firmware Revision: %1 . %2").arg(major).arg(minor),
                              2000);
    const qint64 left = qMax(qint64(1), 1000 - clock.elapsed());
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(QStringLiteral("botaoPower")), Look::Green, left);
}

// Waits until the panel has read `count` more status replies: the panel reads a reply on the
// tick after its request and sends the next request a tick later, so one more reply than
// asked for means the last one asked for has been read.
void tst_E2eSerial::waitForReplies(int count)
{
    const int from = sim->lineCount();
    QTRY_VERIFY_WITH_TIMEOUT(statusRepliesSent(from) >= count + 1, 3000);
}

void tst_E2eSerial::connectShowsFirmwareAndPollsSteadily()
{
    startSimulator({QStringLiteral("--pty"), QStringLiteral("--firmware"), QStringLiteral("3.14")});
    startPanel(sim->ptyPath());
    QVERIFY(lookOf(QStringLiteral("botaoPower")) != Look::Green); // no reply yet
    connectPanel(3, 14);
    // The lamp may light on the firmware reply already; the first status reply repaints.
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QString(), 1000); // both channels start on no antenna

    // Idle: a state request about every 160 ms, nothing else, each one answered.
    const int from = sim->lineCount();
    QTRY_VERIFY_WITH_TIMEOUT(sim->count(StateRequestSeen, from) >= 1, 2000);
    QElapsedTimer elapsed;
    elapsed.start();
    QTRY_VERIFY_WITH_TIMEOUT(sim->count(StateRequestSeen, from) >= 11, 5000);
    // Ten more requests span ten gaps of no less than 150 ms. The first may have been read
    // from the simulator's output late, by up to a gap; a busy machine only stretches them.
    QVERIFY2(elapsed.elapsed() >= 9 * 150 && elapsed.elapsed() < 10 * 160 * 2,
             qPrintable(QStringLiteral("10 state requests after the first in %1 ms").arg(elapsed.elapsed())));
    const int requests = sim->count(StateRequestSeen, from);
    QCOMPARE(sim->count(CommandSeen, from), requests);
    QVERIFY(qAbs(statusRepliesSent(from) - requests) <= 1);
    QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Green);
    QCOMPARE(status(), QStringLiteral("Connected! Firmware Revision: 3 . 14"));

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eSerial::firmwareShownWhenTheFirstStateRequestCatchesUp()
{
    startSimulator({QStringLiteral("--pty")});
    startPanel(sim->ptyPath());
    // The operator connects a while after the start: the first tick then asks at once.
    clock->skip(400);
    waitForTicks(1);
    const int from = sim->lineCount();
    action("actionConnect_to_Brisel")->trigger();
    // The GUI thread busy right after the open (a blocking host look-up does this): the
    // first tick's state request is queued behind the firmware request, so both replies
    // are waiting by the time the panel reads.
    QThread::msleep(250);
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(QStringLiteral("botaoPower")), Look::Green, 3000);
    QCOMPARE(sim->count(QStringLiteral("TX pty 49 47 57 01 07 "), from), 1); // the box did answer
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Connected! Firmware Revision: 1 . 7"), 1000);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eSerial::antennaPressSwitchesTheBox_data()
{
    QTest::addColumn<QString>("antennaButton");
    QTest::addColumn<QString>("releaseButton");
    QTest::addColumn<QString>("antennaKey");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("commandSeen");

    QTest::newRow("channel 1, Ant 3") << "botaoTecla3C1"
                                      << "botaoRelease1"
                                      << "antenna1" << 2 << "RX pty 49 47 01 32 3B";
    QTest::newRow("channel 2, Ant 6") << "botaoTecla6C2"
                                      << "botaoRelease2"
                                      << "antenna2" << 5 << "RX pty 49 47 02 35 3B";
}

void tst_E2eSerial::antennaPressSwitchesTheBox()
{
    QFETCH(QString, antennaButton);
    QFETCH(QString, releaseButton);
    QFETCH(QString, antennaKey);
    QFETCH(int, position);
    QFETCH(QString, commandSeen);

    startSimulator({QStringLiteral("--pty")});
    startPanel(sim->ptyPath());
    connectPanel(1, 7);

    {
        LookHistory history(button(antennaButton));
        const int from = sim->lineCount();
        QTest::mouseClick(button(antennaButton), Qt::LeftButton);
        QCOMPARE(lookOf(antennaButton), Look::Held); // at once, before the box has heard of it
        QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(antennaKey), position, 3000);
        // The reply that predates the press must not turn it grey again, nor any later one.
        waitForReplies(4);
        QCOMPARE(history.names(), QStringList{QStringLiteral("Held")});
        QCOMPARE(panel(), antennaButton + QStringLiteral(":Held"));
        QCOMPARE(sim->count(commandSeen, from), 1);
    }

    {
        LookHistory history(button(antennaButton));
        QTest::mouseClick(button(releaseButton), Qt::LeftButton);
        QCOMPARE(panel(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(antennaKey), 15, 3000);
        waitForReplies(4);
        QCOMPARE(history.names(), QStringList{QStringLiteral("Neutral")});
        QCOMPARE(panel(), QString());
        QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Green);
    }

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eSerial::splitFollowsTheBox()
{
    startSimulator({QStringLiteral("--pty")});
    startPanel(sim->ptyPath());
    connectPanel(1, 7);

    QTest::mouseClick(button(QStringLiteral("botaoTecla2C1")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna1")), 1, 3000);

    // SPLIT, then the TX antenna: the box receives on Ant 2 and transmits on Ant 5.
    QTest::mouseClick(button(QStringLiteral("botaoSplitC1")), Qt::LeftButton);
    QCOMPARE(status(), QStringLiteral("Choose the TX position:"));
    QCOMPARE(lookOf(QStringLiteral("botaoSplitC1")), Look::Highlight);
    QTest::mouseClick(button(QStringLiteral("botaoTecla5C1")), Qt::LeftButton);
    QCOMPARE(status(), QStringLiteral("Split configured succesfuly!"));
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("split1")), 1, 3000);
    const QMap<QString, int> box = sim->state();
    QCOMPARE(box.value(QStringLiteral("antenna1")), 1);
    QCOMPARE(box.value(QStringLiteral("splitTx1")), 4);
    const QString receiving = panelOf({"botaoSplitC1:Red", "botaoTecla2C1:Highlight", "botaoTecla5C1:Held"});
    QTRY_COMPARE_WITH_TIMEOUT(panel(), receiving, 3000);
    waitForReplies(3);
    QCOMPARE(panel(), receiving); // settled, not blinking

    // While the radio transmits the two antennas swap and SEND lights.
    QVERIFY(sim->control(QStringLiteral("tx 1 on")));
    QTRY_COMPARE_WITH_TIMEOUT(
        panel(), panelOf({"botaoSendC1:Red", "botaoSplitC1:Red", "botaoTecla2C1:Held", "botaoTecla5C1:Highlight"}),
        3000);

    // SPLIT again clears it: the box keeps Ant 2, the radio still transmits.
    QTest::mouseClick(button(QStringLiteral("botaoSplitC1")), Qt::LeftButton);
    QCOMPARE(status(), QStringLiteral("Split 1 disabled"));
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("split1")), 0, 3000);
    QCOMPARE(sim->stateValue(QStringLiteral("antenna1")), 1);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), panelOf({"botaoSendC1:Red", "botaoTecla2C1:Held"}), 3000);

    QVERIFY(sim->control(QStringLiteral("tx 1 off")));
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QStringLiteral("botaoTecla2C1:Held"), 3000);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eSerial::silentBoxClearsThePanelUntilItAnswers()
{
    startSimulator({QStringLiteral("--pty")});
    startPanel(sim->ptyPath());
    connectPanel(1, 7);
    QTest::mouseClick(button(QStringLiteral("botaoTecla4C2")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna2")), 3, 3000);
    waitForReplies(2);
    QCOMPARE(panel(), QStringLiteral("botaoTecla4C2:Held"));

    QVERIFY(sim->control(QStringLiteral("silent on")));
    const int from = sim->lineCount();
    // Two unanswered polls: the panel reads on every tick, so any reply sent before the
    // silence has been read by now.
    QTRY_VERIFY_WITH_TIMEOUT(sim->count(StateRequestSeen, from) >= 2, 3000);
    waitForTicks(2);
    QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Green);
    // The watchdog's 7 s (pinned to the millisecond in tst_serialpath) pass at once.
    clock->skip(MainWindow::LinkTimeoutMs + 1);
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(QStringLiteral("botaoPower")), Look::Neutral, 2000);
    QCOMPARE(panel(), QString());
    // The panel keeps asking; it never gives up on the link by itself.
    const int asked = sim->count(StateRequestSeen, from);
    QTRY_VERIFY_WITH_TIMEOUT(sim->count(StateRequestSeen, from) >= asked + 3, 3000);
    QVERIFY(window->linkFlags().serialOpen);

    // A press while the box is silent still reaches it; the watchdog wipes the panel again.
    QTest::mouseClick(button(QStringLiteral("botaoTecla6C1")), Qt::LeftButton);
    QCOMPARE(lookOf(QStringLiteral("botaoTecla6C1")), Look::Held);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna1")), 5, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QString(), 1000);
    QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Neutral);

    QVERIFY(sim->control(QStringLiteral("silent off")));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(QStringLiteral("botaoPower")), Look::Green, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), panelOf({"botaoTecla4C2:Held", "botaoTecla6C1:Held"}), 2000);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eSerial::reconnectReachesANewBox()
{
    // The operator's port is a fixed name; each box process puts its own line behind it.
    const QString link = dir->filePath(QStringLiteral("ttyTalmek"));
    startSimulator({QStringLiteral("--pty"), link, QStringLiteral("--firmware"), QStringLiteral("2.3")});
    startPanel(link);
    connectPanel(2, 3);
    QTest::mouseClick(button(QStringLiteral("botaoTecla1C1")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna1")), 0, 3000);

    action("actionDisconnect")->trigger();
    QCOMPARE(status(), QStringLiteral("Disconnected"));
    QVERIFY(!window->linkFlags().serialOpen);
    QVERIFY(action("actionConnect_to_Brisel")->isEnabled());
    waitForTicks(2); // ticks posted before the Disconnect have run
    const int from = sim->lineCount();
    waitForTicks(6); // three polls' worth
    QCOMPARE(sim->count(CommandSeen, from), 0);
    QVERIFY(sim->quit());

    sim = std::make_unique<TalmekSimProcess>();
    startSimulator({QStringLiteral("--pty"), link, QStringLiteral("--firmware"), QStringLiteral("4.2"),
                    QStringLiteral("--transmit"), QStringLiteral("1")});
    action("actionConnect_to_Brisel")->trigger();
    QVERIFY(window->linkFlags().serialOpen);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Connected! Firmware Revision: 4 . 2"), 2000);
    // The new box's state replaces the old one: nothing held, channel 1 transmitting.
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QStringLiteral("botaoSendC1:Red"), 3000);
    QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Green);

    QTest::mouseClick(button(QStringLiteral("botaoTecla3C2")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna2")), 2, 3000);
    waitForReplies(2);
    QCOMPARE(panel(), panelOf({"botaoSendC1:Red", "botaoTecla3C2:Held"}));

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eSerial::lostLineComesBackByItself()
{
    // The name of an adapter's line (a udev name) goes when it is unplugged and comes back
    // pointing at a new line when it is plugged in again.
    const QString link = dir->filePath(QStringLiteral("ttyTalmek"));
    startSimulator({QStringLiteral("--pty"), link});
    startPanel(link);
    connectPanel(1, 7);
    QSignalSpy messages(window->statusBar(), &QStatusBar::messageChanged);

    QVERIFY(sim->quit());
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Serial line lost: reconnecting to %1\u2026").arg(link), 2000);
    QVERIFY(!action("actionConnect_to_Brisel")->isEnabled()); // still connected in the menus
    QTest::mouseClick(button(QStringLiteral("botaoTecla2C2")), Qt::LeftButton);

    sim = std::make_unique<TalmekSimProcess>();
    startSimulator({QStringLiteral("--pty"), link, QStringLiteral("--firmware"), QStringLiteral("5.1")});
    // Polling resumes without a click, and the press made meanwhile reaches the box.
    QTRY_VERIFY_WITH_TIMEOUT(sim->count(StateRequestSeen) > 0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Connected! Firmware Revision: 5 . 1"), 2000);
    QVERIFY(messages.contains({QStringLiteral("Connected to %1 : 9600, 8, None, 1, None").arg(link)}));
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna2")), 1, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(panel(), QStringLiteral("botaoTecla2C2:Held"), 2000);
    QCOMPARE(lookOf(QStringLiteral("botaoPower")), Look::Green);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_E2eSerial::boxGoneWhileConnectedIsTriedUntilDisconnect()
{
    const QString link = dir->filePath(QStringLiteral("ttyTalmek"));
    startSimulator({QStringLiteral("--pty"), link});
    startPanel(link);
    connectPanel(1, 7);

    // The box goes away with the port still open (a USB adapter pulled out does the same).
    // The panel tries the line again, but must not busy-loop on it.
    QVERIFY(sim->quit());
    QTRY_VERIFY_WITH_TIMEOUT(!window->linkFlags().serialOpen, 2000);
    QElapsedTimer wall;
    wall.start();
    const qint64 cpuBefore = cpuTimeMs();
    clock->skip(SerialLink::ReopenIntervalMs); // a try on the missing line among them
    // The jump cuts short the sleep it lands in; every sleep after it is a whole tick. Times
    // are taken where the thread asks, as the window may take a tick late or two at once.
    const std::size_t from = ticksAskedFor();
    QTRY_VERIFY_WITH_TIMEOUT(ticksAskedFor() >= from + 12, 12 * 80 + 3000);
    const std::vector<qint64> asked = ticksAskedForSince(from);
    QVERIFY2(asked[11] - asked[0] >= 11 * 80,
             qPrintable(QStringLiteral("12 ticks in %1 ms").arg(asked[11] - asked[0])));
    const qint64 cpu = cpuTimeMs() - cpuBefore;
    QVERIFY2(cpu * 10 < wall.elapsed() * 3,
             qPrintable(QStringLiteral("%1 ms of CPU in %2 ms").arg(cpu).arg(wall.elapsed())));

    action("actionDisconnect")->trigger();
    QCOMPARE(status(), QStringLiteral("Disconnected"));
    sim = std::make_unique<TalmekSimProcess>();
    startSimulator({QStringLiteral("--pty"), link});
    clock->skip(2 * SerialLink::ReopenIntervalMs);
    waitForTicks(4);
    QVERIFY(!window->linkFlags().serialOpen);
    QCOMPARE(sim->count(QStringLiteral("RX pty")), 0);
    QCOMPARE(status(), QStringLiteral("Disconnected"));
}

QTEST_MAIN(tst_E2eSerial)
#include "tst_e2e_serial.moc"

// The panel's serial path on real widgets, over a pseudo-terminal: connecting, the
// frames it writes, the replies it reads, what the panel shows, and the operator's presses.
// The window runs on a clock the test moves by hand, so the firmware wait and the link
// watchdog are checked to the millisecond.

#include "app/panellook.h"
#include "manualclock.h"
#include "panelbench.h"
#include "pseudoterminal.h"
#include "serial/seriallink.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

#include <memory>

using PanelLook::Look;

namespace {
QByteArray statusReply(int ant1, int ant2, int split1 = 0, int split2 = 0, int tx1 = 0, int tx2 = 0, int trans1 = 0,
                       int trans2 = 0)
{
    QByteArray reply("IG\x05", 3);
    for (int v : {ant1, ant2, split1, split2, tx1, tx2, trans1, trans2})
        reply.append(char(v));
    reply.append(2, '\0');
    reply.append(';');
    return reply;
}

QByteArray firmwareReply()
{
    QByteArray reply("IGW\x01\x07", 5);
    reply.append(8, '\0');
    reply.append(';');
    return reply;
}

// Closes the modal box an action is about to open, remembering its title and text.
struct ModalCloser
{
    QString title;
    QString text;
    void arm()
    {
        QTimer::singleShot(50, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                text = box->text();
                box->accept();
            }
        });
    }
};
} // namespace

class tst_SerialPath : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connectShowsParametersAndAsksFirmware();
    void firmwareReplyShown();
    void replyFramingRules_data();
    void replyFramingRules();
    void statusRendering_data();
    void statusRendering();
    void antennaPressLightsAtOnceAndQueuesCommand();
    void stateRequestWaitsForFirmwareReply();
    void stateRequestWaits300msForAFirmwareReplyThatNeverComes();
    void statusAfterPressIsIgnoredOnce();
    void commandsWaitWhilePortClosed();
    void splitConfigurationBlinksAndSends();
    void splitButtonLooksAtOnce_data();
    void splitButtonLooksAtOnce();
    void lampNeutralUntilFirstReply();
    void lampStaysGreen7000msAfterTheLastReply();
    void missingPortShowsErrorAndStaysDisabled();
    void lostLineIsTriedAgainEveryTwoSeconds_data();
    void lostLineIsTriedAgainEveryTwoSeconds();
    void lanConnectTouchesNoPort();

private:
    QPushButton *button(const char *name) { return bench->button(QLatin1String(name)); }
    QAction *action(const char *name) { return bench->action(QLatin1String(name)); }
    QString status() { return bench->status(); }
    Look lookOf(const char *name) { return bench->look(QLatin1String(name)); }
    void connectSerial();
    void deliver(const QByteArray &bytes);

    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<PseudoTerminal> pty;
    std::unique_ptr<PanelBench> bench;
};

void tst_SerialPath::init()
{
    clock = std::make_unique<ManualClock>();
    pty = std::make_unique<PseudoTerminal>();
    QVERIFY(pty->isValid());
    bench = std::make_unique<PanelBench>();
    QVERIFY(bench->isValid());
    bench->store({{QStringLiteral("serialMode"), 2}});
    bench->build({PanelBench::port(pty->slavePath())}, clock.get());
}

void tst_SerialPath::cleanup()
{
    bench.reset();
    pty.reset();
    clock.reset();
}

void tst_SerialPath::connectSerial()
{
    action("actionConnect_to_Brisel")->trigger();
    QVERIFY(bench->window->linkFlags().serialOpen);
    QCOMPARE(pty->read(4), QByteArray("IGW;"));
}

void tst_SerialPath::deliver(const QByteArray &bytes)
{
    // The port reads from the line in the event loop; the panel only looks when polled.
    auto *port = bench->window->findChild<QSerialPort *>();
    QVERIFY(port);
    const qint64 waiting = port->bytesAvailable();
    QVERIFY(pty->write(bytes));
    QTRY_COMPARE(port->bytesAvailable(), waiting + bytes.size());
    bench->window->callReceber(bench->window.get());
}

void tst_SerialPath::connectShowsParametersAndAsksFirmware()
{
    connectSerial();
    QCOMPARE(status(), QStringLiteral("Connected to %1 : 9600, 8, None, 1, None").arg(pty->slavePath()));
    QVERIFY(!action("actionConfigure")->isEnabled());
    QVERIFY(!action("actionConnect_to_Brisel")->isEnabled());
    QVERIFY(!bench->window->findChild<QMenu *>(QStringLiteral("menuOperating_Mode"))->isEnabled());
    QVERIFY(action("actionLAN_Settings")->isEnabled());
    QVERIFY(pty->read(1, 200).isEmpty()); // the firmware request went out once

    action("actionDisconnect")->trigger();
    QVERIFY(!bench->window->linkFlags().serialOpen);
    QCOMPARE(status(), QStringLiteral("Disconnected"));
    QVERIFY(action("actionConfigure")->isEnabled());
    QVERIFY(action("actionConnect_to_Brisel")->isEnabled());
    QVERIFY(bench->window->findChild<QMenu *>(QStringLiteral("menuOperating_Mode"))->isEnabled());
}

void tst_SerialPath::firmwareReplyShown()
{
    connectSerial();
    deliver(firmwareReply());
    QCOMPARE(status(), QStringLiteral("Connected! Firmware Revision: 1 . 7"));
    QCOMPARE(bench->window->deviceState(), DeviceState());
}

void tst_SerialPath::replyFramingRules_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<bool>("lampGreen");

    QByteArray twelve = statusReply(3, 4);
    twelve.chop(2);
    QByteArray thirteen = statusReply(3, 4);
    thirteen.remove(11, 1);
    QByteArray noTerminator = statusReply(3, 4);
    noTerminator[13] = '!';
    QByteArray wrongKind = statusReply(3, 4);
    wrongKind[2] = 'X';
    QByteArray twentyTwo = statusReply(3, 4) + QByteArray(8, '\0');

    QTest::newRow("14-byte status") << statusReply(3, 4) << true << true;
    QTest::newRow("12 bytes wait") << twelve << false << false;
    QTest::newRow("13 bytes ending in ;") << thirteen << true << true;
    QTest::newRow("no terminator: dropped") << noTerminator << false << false;
    QTest::newRow("unknown kind: ignored") << wrongKind << false << false;
    QTest::newRow("backlog: the frame in it is applied") << twentyTwo << true << true;
    QTest::newRow("glued: the newer reply wins") << statusReply(1, 1) + statusReply(3, 4) << true << true;
    QTest::newRow("noise, then a reply") << QByteArray(300, 'I') + statusReply(3, 4) << true << true;
    QTest::newRow("reply, then a torn one") << statusReply(3, 4) + statusReply(5, 5).left(9) << true << true;
    QTest::newRow("backlog without a frame") << QByteArray(64, ';') << false << false;
}

void tst_SerialPath::replyFramingRules()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, applied);
    QFETCH(bool, lampGreen);
    connectSerial();
    deliver(bytes);
    QCOMPARE(int(bench->window->deviceState().antenna[1]), applied ? 3 : 0);
    QCOMPARE(lookOf("botaoPower") == Look::Green, lampGreen);
}

void tst_SerialPath::statusRendering_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("white");
    QTest::addColumn<QStringList>("orange");
    QTest::addColumn<QStringList>("red");

    QTest::newRow("ch1 on Ant 3") << statusReply(2, 15) << QStringList{"botaoTecla3C1"} << QStringList{}
                                  << QStringList{};
    QTest::newRow("ch2 split, receiving") << statusReply(15, 0, 0, 1, 0, 3) << QStringList{"botaoTecla4C2"}
                                          << QStringList{"botaoTecla1C2"} << QStringList{"botaoSplitC2"};
    QTest::newRow("ch2 split, transmitting")
        << statusReply(15, 0, 0, 1, 0, 3, 0, 1) << QStringList{"botaoTecla1C2"} << QStringList{"botaoTecla4C2"}
        << QStringList{"botaoSplitC2", "botaoSendC2"};
    QTest::newRow("same antenna both channels")
        << statusReply(5, 5) << QStringList{"botaoTecla6C1", "botaoTecla6C2"} << QStringList{} << QStringList{};
    QTest::newRow("split rx equals tx") << statusReply(1, 15, 1, 0, 1) << QStringList{"botaoTecla2C1"} << QStringList{}
                                        << QStringList{"botaoSplitC1"};
    QTest::newRow("ch1 transmitting") << statusReply(0, 15, 0, 0, 0, 0, 1) << QStringList{"botaoTecla1C1"}
                                      << QStringList{} << QStringList{"botaoSendC1"};
}

void tst_SerialPath::statusRendering()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, white);
    QFETCH(QStringList, orange);
    QFETCH(QStringList, red);
    connectSerial();
    deliver(statusReply(0, 1, 1, 1, 2, 3, 1, 1)); // something else first: the next must repaint all
    deliver(reply);

    QStringList panel;
    for (int c = 1; c <= 2; ++c) {
        for (int n = 1; n <= 6; ++n)
            panel << QStringLiteral("botaoTecla%1C%2").arg(n).arg(c);
        panel << QStringLiteral("botaoSplitC%1").arg(c) << QStringLiteral("botaoSendC%1").arg(c);
    }
    for (const QString &name : panel) {
        const Look expected = white.contains(name) ? Look::Held
            : orange.contains(name)                ? Look::Highlight
            : red.contains(name)                   ? Look::Red
                                                   : Look::Neutral;
        QVERIFY2(lookOf(name.toLatin1().constData()) == expected, qPrintable(name));
    }
    QCOMPARE(lookOf("botaoPower"), Look::Green);
}

void tst_SerialPath::antennaPressLightsAtOnceAndQueuesCommand()
{
    connectSerial();
    deliver(statusReply(2, 15));
    QTest::mouseClick(button("botaoTecla5C1"), Qt::LeftButton);
    QCOMPARE(lookOf("botaoTecla5C1"), Look::Held);
    QCOMPARE(lookOf("botaoTecla3C1"), Look::Neutral);
    QVERIFY(!bench->window->isCommandQueueEmpty());
    bench->window->callEnvioFila();
    QCOMPARE(pty->read(7), QByteArray("IG\x01\x34;\0\0", 7));
    QVERIFY(bench->window->isCommandQueueEmpty());

    QTest::mouseClick(button("botaoRelease2"), Qt::LeftButton);
    bench->window->callEnvioFila();
    QCOMPARE(pty->read(7), QByteArray("IG\x02?;\0\0", 7));
    QCOMPARE(int(bench->window->deviceState().antenna[2]), 15);
    deliver(firmwareReply());
    bench->window->callEnviar();
    QCOMPARE(pty->read(6), QByteArray("IG\x05\x33;\0", 6));
}

void tst_SerialPath::stateRequestWaitsForFirmwareReply()
{
    connectSerial();
    bench->window->callEnviar(); // held back: nothing written...
    clock->advance(10);
    deliver(firmwareReply());
    bench->window->callEnviar(); // ...until the reply came, and then this one at once
    QCOMPARE(pty->read(6), QByteArray("IG\x05\x33;\0", 6));
}

void tst_SerialPath::stateRequestWaits300msForAFirmwareReplyThatNeverComes()
{
    const QByteArray stateRequest("IG\x05\x33;\0", 6);
    // Connecting again waits again.
    for (int connection = 0; connection < 2; ++connection) {
        if (connection > 0)
            action("actionDisconnect")->trigger();
        connectSerial();
        clock->advance(299);
        bench->window->callEnviar();
        clock->advance(1);
        bench->window->callEnviar();
        // Both calls were made before the port wrote anything: one request on the line
        // means the one at 299 ms was held back and the one at 300 ms went.
        QCOMPARE(pty->read(6), stateRequest);
        clock->advance(1);
        bench->window->callEnviar(); // from then on every poll goes
        QCOMPARE(pty->read(6), stateRequest);
    }
}

void tst_SerialPath::statusAfterPressIsIgnoredOnce()
{
    connectSerial();
    deliver(statusReply(2, 15));
    QTest::mouseClick(button("botaoTecla5C1"), Qt::LeftButton);
    QTest::mouseClick(button("botaoTecla6C1"), Qt::LeftButton);
    deliver(statusReply(2, 15)); // predates the presses: discarded, but the box answered
    QCOMPARE(int(bench->window->deviceState().antenna[1]), 5);
    QCOMPARE(lookOf("botaoPower"), Look::Green);
    deliver(statusReply(4, 15)); // the box decides
    QCOMPARE(int(bench->window->deviceState().antenna[1]), 4);
    QCOMPARE(lookOf("botaoTecla5C1"), Look::Held);
}

void tst_SerialPath::commandsWaitWhilePortClosed()
{
    QTest::mouseClick(button("botaoTecla2C2"), Qt::LeftButton);
    bench->window->callEnvioFila();
    QVERIFY(!bench->window->isCommandQueueEmpty());
    connectSerial();
    bench->window->callEnvioFila();
    QCOMPARE(pty->read(7), QByteArray("IG\x02\x31;\0\0", 7));
}

void tst_SerialPath::splitConfigurationBlinksAndSends()
{
    connectSerial();
    deliver(statusReply(1, 15));
    QTest::mouseClick(button("botaoSplitC1"), Qt::LeftButton);
    QCOMPARE(status(), QStringLiteral("Choose the TX position:"));
    QCOMPARE(lookOf("botaoSplitC1"), Look::Highlight);
    QTRY_COMPARE_WITH_TIMEOUT(lookOf("botaoSplitC1"), Look::Neutral, 1500);
    QTRY_COMPARE_WITH_TIMEOUT(lookOf("botaoSplitC1"), Look::Highlight, 1500);

    deliver(statusReply(1, 15)); // a repaint during configuration leaves the blinking button alone
    QCOMPARE(lookOf("botaoSplitC1"), Look::Highlight);

    QTest::mouseClick(button("botaoTecla4C1"), Qt::LeftButton);
    QCOMPARE(status(), QStringLiteral("Split configured succesfuly!"));
    bench->window->callEnvioFila();
    QCOMPARE(pty->read(7),
             QByteArray("IG\x03"
                        "311;",
                        7)); // TX Ant 4, RX Ant 2
    const Look settled = lookOf("botaoSplitC1");
    bench->window->blinkSplit(); // the blink has stopped: its steps change nothing now
    bench->window->blinkSplit();
    QCOMPARE(lookOf("botaoSplitC1"), settled);

    QTest::mouseClick(button("botaoSplitC1"), Qt::LeftButton);
    QCOMPARE(status(), QStringLiteral("Split 1 disabled"));
    bench->window->callEnvioFila();
    QCOMPARE(pty->read(7), QByteArray("IG\x03//0;", 7));
}

void tst_SerialPath::splitButtonLooksAtOnce_data()
{
    QTest::addColumn<QByteArray>("reply"); // the box's state before the press
    QTest::addColumn<QString>("press");
    QTest::addColumn<QString>("watched");
    QTest::addColumn<QString>("look"); // right after the press, before any repaint

    QTest::newRow("active SPLIT 2 switched off: neutral at once") << statusReply(1, 2, 0, 1, 0, 4) << "botaoSplitC2"
                                                                  << "botaoSplitC2"
                                                                  << "Neutral";
    QTest::newRow("SPLIT 2 setup: SPLIT 1 stays unlit") << statusReply(1, 2) << "botaoSplitC2"
                                                        << "botaoSplitC1"
                                                        << "Neutral";
    QTest::newRow("SPLIT 1 setup: SPLIT 1 lit at once") << statusReply(1, 2) << "botaoSplitC1"
                                                        << "botaoSplitC1"
                                                        << "Highlight";
}

void tst_SerialPath::splitButtonLooksAtOnce()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, press);
    QFETCH(QString, watched);
    QFETCH(QString, look);
    connectSerial();
    deliver(reply);
    QCOMPARE(lookOf("botaoSplitC2"), reply.at(6) ? Look::Red : Look::Neutral);
    QCOMPARE(lookOf("botaoSplitC1"), Look::Neutral);

    PanelProbe::LookHistory history(bench->window->findChild<QPushButton *>(watched));
    QTest::mouseClick(bench->window->findChild<QPushButton *>(press), Qt::LeftButton);
    QCOMPARE(PanelProbe::lookName(bench->window->findChild<QPushButton *>(watched)), look);
    if (watched != press) {
        // Not even for one blink step: wait until the pressed button has blinked.
        QTRY_COMPARE_WITH_TIMEOUT(lookOf(press.toLatin1().constData()), Look::Highlight, 2000);
        QVERIFY2(history.onlyEver(Look::Neutral), qPrintable(history.names().join(QLatin1Char(' '))));
    }
}

void tst_SerialPath::lampNeutralUntilFirstReply()
{
    connectSerial();
    bench->window->checkCOMTimeout(bench->window.get());
    QCOMPARE(lookOf("botaoPower"), Look::Neutral);
    deliver(statusReply(0, 1));
    bench->window->checkCOMTimeout(bench->window.get());
    QCOMPARE(lookOf("botaoPower"), Look::Green);
    QCOMPARE(lookOf("botaoTecla1C1"), Look::Held);
}

void tst_SerialPath::lampStaysGreen7000msAfterTheLastReply()
{
    connectSerial();
    deliver(statusReply(0, 1));
    clock->advance(7000);
    bench->window->carryOutTick(PollingPeer::CheckLink);
    QCOMPARE(lookOf("botaoPower"), Look::Green);
    QCOMPARE(PanelProbe::panelMarks(bench->window.get()), QStringLiteral("botaoTecla1C1:Held botaoTecla2C2:Held"));
    clock->advance(1);
    bench->window->carryOutTick(PollingPeer::CheckLink);
    QCOMPARE(lookOf("botaoPower"), Look::Neutral);
    QCOMPARE(PanelProbe::panelMarks(bench->window.get()), QString());
    QVERIFY(bench->window->linkFlags().serialOpen);
}

void tst_SerialPath::missingPortShowsErrorAndStaysDisabled()
{
    bench->build({PanelBench::port(bench->filePath(QStringLiteral("no-such-port")))});
    ModalCloser closer;
    closer.arm();
    action("actionConnect_to_Brisel")->trigger();
    QCOMPARE(closer.title, QStringLiteral("Error"));
    QVERIFY(!closer.text.isEmpty());
    QCOMPARE(status(), QStringLiteral("Open error"));
    QVERIFY(!bench->window->linkFlags().serialOpen);
    QVERIFY(!action("actionConfigure")->isEnabled());
    QVERIFY(!action("actionConnect_to_Brisel")->isEnabled());
    action("actionDisconnect")->trigger();
    QVERIFY(action("actionConnect_to_Brisel")->isEnabled());
    QCOMPARE(status(), QStringLiteral("Disconnected"));
}

void tst_SerialPath::lostLineIsTriedAgainEveryTwoSeconds_data()
{
    QTest::addColumn<int>("failedTries"); // before the line is back

    QTest::newRow("back at once") << 0;
    QTest::newRow("back after two tries") << 2;
}

void tst_SerialPath::lostLineIsTriedAgainEveryTwoSeconds()
{
    QFETCH(int, failedTries);
    // The port is a name that follows the line, as a udev name follows an adapter.
    const QString link = bench->filePath(QStringLiteral("ttyTalmek"));
    QVERIFY(QFile::link(pty->slavePath(), link));
    bench->build({PanelBench::port(link)}, clock.get());
    connectSerial();

    pty.reset();
    QVERIFY(QFile::remove(link));
    QTRY_VERIFY(!bench->window->linkFlags().serialOpen);
    const qint64 lost = clock->nowMs();
    const auto tickAt = [&](qint64 ms) {
        clock->advanceTo(lost + ms);
        bench->window->carryOutTick(PollingPeer::CheckLink);
        return bench->window->linkFlags().serialOpen.load();
    };
    for (int n = 1; n <= failedTries; ++n)
        QVERIFY(!tickAt(n * SerialLink::ReopenIntervalMs));

    pty = std::make_unique<PseudoTerminal>();
    QVERIFY(QFile::link(pty->slavePath(), link));
    const qint64 due = (failedTries + 1) * SerialLink::ReopenIntervalMs;
    QVERIFY(!tickAt(due - 1));
    QVERIFY(tickAt(due));
    QCOMPARE(pty->read(4), QByteArray("IGW;"));
}

void tst_SerialPath::lanConnectTouchesNoPort()
{
    action("actionLAN")->trigger();
    action("actionConnect_to_Brisel")->trigger();
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    QVERIFY(bench->window->linkFlags().lanLinkEnabled);
    QVERIFY(!bench->window->linkFlags().serialOpen);
    QVERIFY(!action("actionLAN_Settings")->isEnabled());
    QVERIFY(pty->read(1, 200).isEmpty());
    action("actionDisconnect")->trigger();
    QVERIFY(!bench->window->linkFlags().lanLinkEnabled);
    QVERIFY(action("actionLAN_Settings")->isEnabled());
}

QTEST_MAIN(tst_SerialPath)
#include "tst_serialpath.moc"

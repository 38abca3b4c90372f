// A SPLIT-flow press on the LAN while the link is not enabled sends nothing, so it must not
// claim a success: the operator is told, and the split stays where it was. With the link
// enabled the same presses succeed and send; on the serial line the command waits in the
// queue for the port, as it always has. The box is a bare UDP peer on 127.0.0.2; no polling
// thread runs, so every datagram the peer gets comes from a press.

#include "app/panellook.h"
#include "engine/pollingpeer.h"
#include "engine/protocol.h"
#include "lan/threadcom.h"

#include "loopbackpeer.h"
#include "panelbench.h"
#include "pseudoterminal.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace PanelProbe;

namespace {
const QString NothingSent = QStringLiteral("LAN link not connected: nothing sent");
const QString ChooseTx = QStringLiteral("Choose the TX position:");
} // namespace

class tst_SplitLinkDown : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void splitPressOnLanLinkDown_data();
    void splitPressOnLanLinkDown();
    void antennaAndReleaseOnLanLinkDownStaySilent();
    void splitPressOnSerialWaitsInTheQueue_data();
    void splitPressOnSerialWaitsInTheQueue();

private:
    void makeWindow(int mode, const QList<SerialPortDescription> &ports = {});
    QPushButton *button(const QString &name) { return bench->button(name); }
    QAction *action(const char *name) { return bench->action(QLatin1String(name)); }
    QString status() const { return bench->status(); }
    void press(const QString &name);
    void boxReports(const QString &status);
    // Whether the SPLIT button of `channel` keeps blinking for a while.
    bool blinks(int channel);

    std::unique_ptr<PanelBench> bench;
    std::unique_ptr<LoopbackPeer> box;
};

void tst_SplitLinkDown::init()
{
    bench = std::make_unique<PanelBench>();
    QVERIFY(bench->isValid());
    box = std::make_unique<LoopbackPeer>("127.0.0.2");
    QVERIFY(box->isValid());
}

void tst_SplitLinkDown::cleanup()
{
    bench.reset();
    box.reset();
}

void tst_SplitLinkDown::makeWindow(int mode, const QList<SerialPortDescription> &ports)
{
    bench->store({{QStringLiteral("serialMode"), mode},
                  {QStringLiteral("IP"), QStringLiteral("127.0.0.2")},
                  {QStringLiteral("PORT"), QString::number(box->port())}});
    QVERIFY(bench->open(ports));
}

void tst_SplitLinkDown::press(const QString &name)
{
    QPushButton *target = button(name);
    QVERIFY2(target, qPrintable(name));
    QTest::mouseClick(target, Qt::LeftButton);
}

// The box's status datagram, from the box's address to the panel's socket.
void tst_SplitLinkDown::boxReports(const QString &text)
{
    DeviceState expected;
    QVERIFY(Protocol::parseLanStatusText(text, expected));
    QVERIFY(box->sendTo(bench->window->lanLink()->localPort(), text.toLatin1()));
    QTRY_VERIFY_WITH_TIMEOUT(bench->window->deviceState().antenna == expected.antenna
                                 && bench->window->deviceState().splitActive == expected.splitActive,
                             2000);
}

bool tst_SplitLinkDown::blinks(int channel)
{
    // The blink goes on (its timer runs), and its next step changes the SPLIT button's look.
    const auto *timer = bench->window->findChild<QTimer *>(QStringLiteral("blinkTimer"));
    if (!timer || !timer->isActive())
        return false;
    // Three steps: SPLIT 1 is lit at once when its choosing starts, so its first step may
    // leave the look as it is.
    LookHistory history(button(QStringLiteral("botaoSplitC%1").arg(channel)));
    for (int step = 0; step < 3; ++step)
        bench->window->blinkSplit();
    return history.names().size() >= 2;
}

// Each row: what the box reports, the presses before the last one, the last press, what
// it shows and sends once the link is enabled, and what is left of the split meanwhile.
void tst_SplitLinkDown::splitPressOnLanLinkDown_data()
{
    QTest::addColumn<QString>("boxStatus");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("success");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<int>("choosing"); // channel still choosing its TX, 0 for none
    QTest::addColumn<int>("active"); // channel whose split stays active, 0 for none

    const QString idle = QStringLiteral("1.2.0.0.F.F.0.0.0.0.FF");
    QTest::newRow("channel 1: TX chosen") << idle << QStringList{"botaoSplitC1"} << "botaoTecla5C1"
                                          << "Split configured succesfuly!"
                                          << "fe04010401fd" << 1 << 0;
    QTest::newRow("channel 2: TX chosen") << idle << QStringList{"botaoSplitC2"} << "botaoTecla6C2"
                                          << "Split configured succesfuly!"
                                          << "fe05010502fd" << 2 << 0;
    QTest::newRow("channel 1: SPLIT switches it off") << "1.2.1.0.4.F.0.0.0.0.FF" << QStringList{} << "botaoSplitC1"
                                                      << "Split 1 disabled"
                                                      << "fe04000000fd" << 0 << 1;
    QTest::newRow("channel 2: SPLIT switches it off") << "1.2.0.1.F.4.0.0.0.0.FF" << QStringList{} << "botaoSplitC2"
                                                      << "Split 2 disabled"
                                                      << "fe05000000fd" << 0 << 2;
    QTest::newRow("choosing 1: SPLIT 2 switches its split off")
        << "1.2.0.1.F.4.0.0.0.0.FF" << QStringList{"botaoSplitC1"} << "botaoSplitC2"
        << "Split 2 disabled"
        << "fe05000000fd" << 1 << 2;
    QTest::newRow("choosing 2: SPLIT 1 switches its split off")
        << "1.2.1.0.4.F.0.0.0.0.FF" << QStringList{"botaoSplitC2"} << "botaoSplitC1"
        << "Split 1 disabled"
        << "fe04000000fd" << 2 << 1;
}

void tst_SplitLinkDown::splitPressOnLanLinkDown()
{
    QFETCH(QString, boxStatus);
    QFETCH(QStringList, before);
    QFETCH(QString, last);
    QFETCH(QString, success);
    QFETCH(QString, frame);
    QFETCH(int, choosing);
    QFETCH(int, active);

    makeWindow(1);
    boxReports(boxStatus);
    for (const QString &name : qAsConst(before))
        press(name);
    if (choosing != 0)
        QCOMPARE(status(), ChooseTx);

    const DeviceState stateBefore = bench->window->deviceState();
    press(last);
    QCOMPARE(status(), NothingSent);
    QCOMPARE(bench->window->deviceState().splitSetupActive, stateBefore.splitSetupActive);
    QCOMPARE(bench->window->deviceState().splitSetupChannel, stateBefore.splitSetupChannel);
    QCOMPARE(bench->window->deviceState().splitActive, stateBefore.splitActive);
    QCOMPARE(bench->window->deviceState().antenna, stateBefore.antenna);
    if (choosing != 0)
        QVERIFY2(blinks(choosing), "the split being chosen stopped blinking");
    if (active != 0)
        QCOMPARE(lookOf(button(QStringLiteral("botaoSplitC%1").arg(active))), Look::Red);
    QCOMPARE(bench->window->lanLink()->pendingDatagrams(), 0);

    // Enabled, the same press succeeds, and its frame is the first the box ever gets.
    action("actionConnect_to_Brisel")->trigger();
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    press(last);
    QCOMPARE(status(), success);
    QList<LoopbackPeer::Datagram> got;
    QTRY_VERIFY_WITH_TIMEOUT(!(got += box->take()).isEmpty(), 2000);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got.first().payload.toHex(), frame.toLatin1());
    QCOMPARE(got.first().fromPort, bench->window->lanLink()->localPort());
    QVERIFY(!bench->window->deviceState().splitSetupActive);
}

void tst_SplitLinkDown::antennaAndReleaseOnLanLinkDownStaySilent()
{
    makeWindow(1);
    boxReports(QStringLiteral("1.2.0.0.F.F.0.0.0.0.FF"));
    bench->window->statusBar()->showMessage(QStringLiteral("before"));
    for (const char *name : {"botaoTecla4C1", "botaoTecla3C2", "botaoRelease1", "botaoRelease2"}) {
        press(QLatin1String(name));
        QCOMPARE(status(), QStringLiteral("before"));
    }
    QCOMPARE(bench->window->lanLink()->pendingDatagrams(), 0);

    // The box's socket would have had them: an enabled link's press arrives, alone.
    action("actionConnect_to_Brisel")->trigger();
    press(QStringLiteral("botaoTecla4C1"));
    QList<LoopbackPeer::Datagram> got;
    QTRY_VERIFY_WITH_TIMEOUT(!(got += box->take()).isEmpty(), 2000);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got.first().payload.toHex(), QByteArray("fe0203fd"));
}

// Each row: the presses on a serial panel with its port still closed, the message, and
// the split command as it leaves once the port opens.
void tst_SplitLinkDown::splitPressOnSerialWaitsInTheQueue_data()
{
    QTest::addColumn<QStringList>("presses");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("splitActive");
    QTest::addColumn<QByteArray>("command");

    QTest::newRow("channel 1: TX chosen")
        << QStringList{"botaoTecla2C1", "botaoSplitC1", "botaoTecla5C1"} << "Split configured succesfuly!" << 1 << 1
        << QByteArray("IG\x03"
                      "411;");
    QTest::newRow("channel 2: TX chosen")
        << QStringList{"botaoTecla3C2", "botaoSplitC2", "botaoTecla5C2"} << "Split configured succesfuly!" << 2 << 1
        << QByteArray("IG\x04"
                      "421;");
    QTest::newRow("channel 1: SPLIT switches it off")
        << QStringList{"botaoTecla2C1", "botaoSplitC1", "botaoTecla5C1", "botaoSplitC1"} << "Split 1 disabled" << 1 << 0
        << QByteArray("IG\x03"
                      "//0;");
}

void tst_SplitLinkDown::splitPressOnSerialWaitsInTheQueue()
{
    QFETCH(QStringList, presses);
    QFETCH(QString, message);
    QFETCH(int, channel);
    QFETCH(int, splitActive);
    QFETCH(QByteArray, command);

    PseudoTerminal line;
    QVERIFY(line.isValid());
    SerialPortDescription port;
    port.portName = line.slavePath();
    makeWindow(2, {port});

    for (const QString &name : qAsConst(presses))
        press(name);
    QCOMPARE(status(), message);
    QCOMPARE(int(bench->window->deviceState().splitActive[channel]), splitActive);
    QVERIFY(!bench->window->isCommandQueueEmpty());

    // Once the port is open the queue drains, the split command with it.
    action("actionConnect_to_Brisel")->trigger();
    QVERIFY(bench->window->linkFlags().serialOpen);
    QByteArray written;
    for (int i = 0; i < 20 && !bench->window->isCommandQueueEmpty(); ++i) {
        bench->window->carryOutTick(PollingPeer::SendQueuedCommand);
        written += line.read(1, 200);
    }
    QVERIFY(bench->window->isCommandQueueEmpty());
    written += line.read(1 << 20, 100);
    QVERIFY2(written.contains(command), written.toHex(' ').constData());
    QVERIFY(box->take().isEmpty());
}

QTEST_MAIN(tst_SplitLinkDown)
#include "tst_splitlinkdown.moc"

// The way to the box without a window: which link a command takes, what becomes of it
// before "Connect" and while the serial port is closed, and when the box counts as
// answering.

#include "station/boxlink.h"
#include "engine/protocol.h"
#include "lan/lanlink.h"

#include "loopbackpeer.h"
#include "manualclock.h"
#include "pseudoterminal.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(LinkMode)
Q_DECLARE_METATYPE(Switching::Delivery)

class tst_BoxLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void commandsTakeTheChosenLink_data();
    void commandsTakeTheChosenLink();
    void boxAnsweringNeedsTheLinkUp_data();
    void boxAnsweringNeedsTheLinkUp();

private:
    void connectLink(LinkMode mode);
    // What the box side receives next: on the serial line `size` bytes past the firmware
    // request, on the LAN the next datagram.
    QByteArray nextAtBox(LinkMode mode, int size);

    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<PseudoTerminal> pty;
    std::unique_ptr<LoopbackPeer> peer;
    std::unique_ptr<BoxLink> box;
};

namespace {
const Switching::Command Ant3OnChannel1{Switching::Command::Kind::Select, 1, 2, 0};

QByteArray serialBytes(qint16 element)
{
    Protocol::TxBuffer tx{};
    const int length = Protocol::composeQueuedCommand(tx, element);
    return QByteArray(reinterpret_cast<const char *>(tx.data()), length);
}
} // namespace

void tst_BoxLink::init()
{
    clock = std::make_unique<ManualClock>();
    pty = std::make_unique<PseudoTerminal>();
    QVERIFY(pty->isValid());
    peer = std::make_unique<LoopbackPeer>("127.0.0.2");
    QVERIFY(peer->isValid());
    box = std::make_unique<BoxLink>(*clock);
    box->lan().setBox(QStringLiteral("127.0.0.2"), QString::number(peer->port()), false);
}

void tst_BoxLink::cleanup()
{
    box.reset();
    peer.reset();
    pty.reset();
    clock.reset();
}

void tst_BoxLink::connectLink(LinkMode mode)
{
    box->setMode(mode);
    QVERIFY(box->open([this] {
        SerialParameters parameters;
        parameters.portName = pty->slavePath();
        parameters.baudRate = 9600;
        return parameters;
    }));
    if (mode == LinkMode::Serial)
        QCOMPARE(pty->read(4), QByteArray("IGW;"));
}

QByteArray tst_BoxLink::nextAtBox(LinkMode mode, int size)
{
    if (mode == LinkMode::Serial)
        return pty->read(size);
    QList<LoopbackPeer::Datagram> got;
    static_cast<void>(QTest::qWaitFor(
        [&] {
            got += peer->take();
            return !got.isEmpty();
        },
        2000));
    return got.isEmpty() ? QByteArray() : got.first().payload;
}

void tst_BoxLink::commandsTakeTheChosenLink_data()
{
    QTest::addColumn<LinkMode>("mode");
    QTest::addColumn<bool>("connectedFirst");
    QTest::addColumn<Switching::Delivery>("delivery");
    // Whether, once connected, the box gets the command first, or (dropped) a state request.
    QTest::addColumn<bool>("commandArrives");
    QTest::newRow("LAN, before Connect") << LinkMode::Lan << false << Switching::Delivery::Dropped << false;
    QTest::newRow("LAN") << LinkMode::Lan << true << Switching::Delivery::Sent << true;
    QTest::newRow("serial") << LinkMode::Serial << true << Switching::Delivery::Sent << true;
    QTest::newRow("serial, port still closed") << LinkMode::Serial << false << Switching::Delivery::Sent << true;
}

void tst_BoxLink::commandsTakeTheChosenLink()
{
    QFETCH(LinkMode, mode);
    QFETCH(bool, connectedFirst);
    QFETCH(Switching::Delivery, delivery);
    QFETCH(bool, commandArrives);
    box->setMode(mode);
    if (connectedFirst)
        connectLink(mode);
    QCOMPARE(box->delivery(), delivery);
    box->send(Ant3OnChannel1);
    // A polling tick while the serial port is closed keeps the command queued, not lost.
    box->sendQueuedCommand();
    QCOMPARE(box->isCommandQueueEmpty(), mode == LinkMode::Lan || connectedFirst);
    if (!connectedFirst)
        connectLink(mode);
    box->sendQueuedCommand();
    box->sendStateRequest();
    const QByteArray expected = !commandArrives ? Protocol::lanFrame(Protocol::LanStateRequest)
        : mode == LinkMode::Serial              ? serialBytes(Ant3OnChannel1.queueElement())
                                                : Ant3OnChannel1.lanFrame();
    QCOMPARE(nextAtBox(mode, expected.size()).toHex(), expected.toHex());
    QVERIFY(box->isCommandQueueEmpty());
}

void tst_BoxLink::boxAnsweringNeedsTheLinkUp_data()
{
    QTest::addColumn<LinkMode>("mode");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("heard");
    QTest::addColumn<bool>("answering");
    QTest::newRow("LAN, before Connect") << LinkMode::Lan << false << true << false;
    QTest::newRow("LAN, not heard yet") << LinkMode::Lan << true << false << false;
    QTest::newRow("LAN, heard") << LinkMode::Lan << true << true << true;
    QTest::newRow("serial, closed") << LinkMode::Serial << false << true << false;
    QTest::newRow("serial, heard") << LinkMode::Serial << true << true << true;
}

void tst_BoxLink::boxAnsweringNeedsTheLinkUp()
{
    QFETCH(LinkMode, mode);
    QFETCH(bool, connected);
    QFETCH(bool, heard);
    QFETCH(bool, answering);
    box->setMode(mode);
    if (connected)
        connectLink(mode);
    QCOMPARE(box->isUp(), connected);
    if (heard)
        box->linkWatchdog().heard();
    QCOMPARE(box->boxAnswering(), answering);
    // Silence beyond the watchdog's time, or Disconnect, ends it.
    clock->advance(LinkWatchdog::TimeoutMs + 1);
    QVERIFY(!box->boxAnswering());
    box->linkWatchdog().heard();
    box->close();
    QVERIFY(!box->boxAnswering());
}

QTEST_GUILESS_MAIN(tst_BoxLink)
#include "tst_boxlink.moc"

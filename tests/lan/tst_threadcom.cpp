// The LAN worker's spacing, to the millisecond, on a clock the test moves by hand: a
// datagram leaves at once when the last one is 90 ms old, and otherwise the worker parks
// until exactly then. The datagrams go to a loopback peer on 127.0.0.1. And which senders'
// datagrams reach the panel as the destination changes.

#include "lan/threadcom.h"
#include "loopbackaddress.h"
#include "loopbackpeer.h"
#include "manualclock.h"

#include <QtTest>

#include <memory>

namespace {
// Channel-2 selections: never superseded by one another.
QByteArray select2(int position) { return QByteArray::fromHex("fe03") + char(position) + QByteArray::fromHex("fd"); }
} // namespace

class tst_ThreadCom : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void queuedDatagramsLeaveExactly90msApart();
    void datagramLeavesAtOnceOnlyWhenTheLastIs90msOld_data();
    void datagramLeavesAtOnceOnlyWhenTheLastIs90msOld();
    void onlyTheCurrentDestinationIsHeard_data();
    void onlyTheCurrentDestinationIsHeard();

private:
    // Everything the peer has received so far, waiting (bounded) for at least `count`.
    QList<QByteArray> receivedAtLeast(int count);

    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<LoopbackPeer> peer;
    std::unique_ptr<ThreadCOM> worker;
    QList<QByteArray> received;
};

void tst_ThreadCom::init()
{
    clock = std::make_unique<ManualClock>();
    peer = std::make_unique<LoopbackPeer>("127.0.0.1");
    QVERIFY(peer->isValid());
    worker = std::make_unique<ThreadCOM>(*clock);
    worker->setDestination(QStringLiteral("127.0.0.1"), QString::number(peer->port()));
    received.clear();
}

void tst_ThreadCom::cleanup()
{
    worker.reset();
    peer.reset();
    clock.reset();
}

QList<QByteArray> tst_ThreadCom::receivedAtLeast(int count)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        // The worker hands its datagram to this thread through the event loop.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (const LoopbackPeer::Datagram &d : peer->take())
            received << d.payload;
        if (received.size() >= count || timer.elapsed() > 5000)
            return received;
        QThread::yieldCurrentThread();
    }
}

void tst_ThreadCom::queuedDatagramsLeaveExactly90msApart()
{
    const qint64 start = clock->nowMs();
    worker->enqueueDatagram(select2(1));
    // The first goes out at once, on this thread, before any event is processed.
    QCOMPARE(worker->lastDatagramTime(), start);
    worker->enqueueDatagram(select2(2));
    worker->enqueueDatagram(select2(3));
    QCOMPARE(receivedAtLeast(1), QList<QByteArray>{select2(1)});

    for (int next = 2; next <= 3; ++next) {
        const qint64 due = start + 90 * (next - 1);
        QVERIFY2(clock->waitForSleeper(due),
                 qPrintable(QStringLiteral("datagram %1: the worker is not parked on the last send + 90").arg(next)));
        clock->advance(89);
        QCoreApplication::processEvents();
        QCOMPARE(clock->sleeperDeadlines(), std::vector<qint64>{due}); // still parked
        QCOMPARE(worker->lastDatagramTime(), due - 90);
        QCOMPARE(worker->pendingDatagrams(), 4 - next);
        clock->advance(1);
        QCOMPARE(receivedAtLeast(next).size(), next);
        QCOMPARE(received.last(), select2(next));
        QCOMPARE(worker->lastDatagramTime(), due);
    }
    QCOMPARE(received.size(), 3);
    QCOMPARE(worker->pendingDatagrams(), 0);
}

void tst_ThreadCom::datagramLeavesAtOnceOnlyWhenTheLastIs90msOld_data()
{
    QTest::addColumn<int>("idleMs"); // since the last datagram left
    QTest::addColumn<bool>("atOnce");
    QTest::newRow("89 ms: waits for 90") << 89 << false;
    QTest::newRow("90 ms: at once") << 90 << true;
    QTest::newRow("5 s: at once") << 5000 << true;
}

void tst_ThreadCom::datagramLeavesAtOnceOnlyWhenTheLastIs90msOld()
{
    QFETCH(int, idleMs);
    QFETCH(bool, atOnce);

    const qint64 start = clock->nowMs();
    worker->enqueueDatagram(select2(1));
    QCOMPARE(receivedAtLeast(1).size(), 1);
    clock->advance(idleMs);
    worker->enqueueDatagram(select2(2));
    if (atOnce) {
        QCOMPARE(worker->lastDatagramTime(), start + idleMs);
        QCOMPARE(worker->pendingDatagrams(), 0);
    } else {
        QVERIFY(clock->waitForSleeper(start + 90));
        QCOMPARE(worker->lastDatagramTime(), start);
        QCOMPARE(worker->pendingDatagrams(), 1);
        clock->advanceTo(start + 90);
    }
    QCOMPARE(receivedAtLeast(2), (QList<QByteArray>{select2(1), select2(2)}));
    QCOMPARE(worker->lastDatagramTime(), qMax(start + 90, start + idleMs));
}

void tst_ThreadCom::onlyTheCurrentDestinationIsHeard_data()
{
    QTest::addColumn<QString>("earlier"); // the destination before
    QTest::addColumn<QString>("destination"); // the one when the datagram comes
    QTest::addColumn<QString>("sender");
    QTest::addColumn<bool>("heard");
    QTest::newRow("the box") << "127.0.0.1"
                             << "127.0.0.2"
                             << "127.0.0.2" << true;
    QTest::newRow("the box's old address") << "127.0.0.2"
                                           << "127.0.0.3"
                                           << "127.0.0.2" << false;
    QTest::newRow("a stranger") << "127.0.0.2"
                                << "127.0.0.2"
                                << "127.0.0.3" << false;
    QTest::newRow("IPv4-mapped destination") << "127.0.0.1"
                                             << "::ffff:127.0.0.2"
                                             << "127.0.0.2" << true;
    QTest::newRow("name that did not resolve") << "127.0.0.2"
                                               << "error"
                                               << "127.0.0.2" << false;
    QTest::newRow("a name is no address") << "127.0.0.2"
                                          << "localhost"
                                          << "127.0.0.1" << false;
    QTest::newRow("no destination") << "127.0.0.2"
                                    << ""
                                    << "127.0.0.2" << false;
}

void tst_ThreadCom::onlyTheCurrentDestinationIsHeard()
{
    QFETCH(QString, earlier);
    QFETCH(QString, destination);
    QFETCH(QString, sender);
    QFETCH(bool, heard);
    if (LoopbackAddress::sendersLookAlike())
        QSKIP("every loopback sender looks like 127.0.0.1 here");
    LoopbackPeer from(qPrintable(sender));
    QVERIFY(from.isValid());
    const QString port = QString::number(peer->port());
    worker->setDestination(earlier, port);
    worker->setDestination(destination, port);
    QSignalSpy texts(worker.get(), &ThreadCOM::textReceived);
    const quint64 readBefore = worker->datagramsRead();
    const QByteArray status("2.3.1.0.4.5.1.0.0.0.FF");
    QVERIFY(from.sendTo(worker->localPort(), status));
    // Read, whoever sent it; handed on only when it came from the destination.
    QTRY_COMPARE(worker->datagramsRead(), readBefore + 1);
    QCOMPARE(texts.size(), heard ? 1 : 0);
    if (heard)
        QCOMPARE(texts.first().first().toString(), QString::fromLatin1(status));
}

QTEST_GUILESS_MAIN(tst_ThreadCom)
#include "tst_threadcom.moc"

// The polling thread's pace, to the millisecond, on a clock the test moves by hand: where
// it parks, and what each tick asks the peer for.

#include "engine/pollingpeer.h"
#include "engine/threadleitura.h"
#include "manualclock.h"

#include <QtTest>

#include <atomic>

namespace {

constexpr int Queued = PollingPeer::SendQueuedCommand;
constexpr int State = PollingPeer::SendStateRequest;
constexpr int Read = PollingPeer::ReadReply;
constexpr int Check = PollingPeer::CheckLink;

// A peer whose command queue empties as its commands are sent, like the window's.
class FakePeer : public QObject, public PollingPeer
{
public:
    const LinkFlags &linkFlags() const override { return flags; }
    bool isCommandQueueEmpty() const override { return queued.load() == 0; }
    QObject *pollingContext() override { return this; }
    void carryOutTick(int requests) override
    {
        if ((requests & Queued) && queued.load() > 0)
            --queued;
        ticks << requests;
    }

    LinkFlags flags;
    std::atomic<int> queued{0};
    QList<int> ticks;
};

QString requestNames(int requests)
{
    QStringList names;
    if (requests & Queued)
        names << QStringLiteral("queued");
    if (requests & State)
        names << QStringLiteral("state");
    if (requests & Read)
        names << QStringLiteral("read");
    if (requests & Check)
        names << QStringLiteral("check");
    return names.join(QLatin1Char('+'));
}

QStringList requestNames(const QList<int> &ticks)
{
    QStringList names;
    for (int requests : ticks)
        names << requestNames(requests);
    return names;
}

} // namespace

class tst_ThreadLeitura : public QObject
{
    Q_OBJECT

private slots:
    void ticksEvery80msWithTheRequestsOfEachTick_data();
    void ticksEvery80msWithTheRequestsOfEachTick();
    void stopsWhileParked();
};

void tst_ThreadLeitura::ticksEvery80msWithTheRequestsOfEachTick_data()
{
    QTest::addColumn<bool>("serialOpen");
    QTest::addColumn<bool>("lan");
    QTest::addColumn<int>("queuedCommands");
    QTest::addColumn<QList<int>>("expected"); // one entry per tick

    QTest::newRow("unconnected: only the watchdog")
        << false << false << 0 << QList<int>{Check, Check, Check, Check, Check};
    QTest::newRow("unconnected with commands waiting: nothing sent")
        << false << false << 3 << QList<int>{Check, Check, Check, Check, Check};
    QTest::newRow("serial idle: a state request every second tick")
        << true << false << 0
        << QList<int>{Read | Check, State | Read | Check, Read | Check, State | Read | Check, Read | Check};
    QTest::newRow("serial: one queued command per tick, then the state requests resume")
        << true << false << 3 << QList<int>{Queued | Read | Check, Queued | Read | Check, Queued | Read | Check,
                                            Read | Check,          State | Read | Check,  Read | Check};
    QTest::newRow("LAN idle: a state request every second tick")
        << false << true << 0 << QList<int>{Check, State | Check, Check, State | Check, Check};
    QTest::newRow("LAN: serial commands wait, polling goes on")
        << false << true << 2 << QList<int>{Check, State | Check, Check, State | Check, Check};
}

void tst_ThreadLeitura::ticksEvery80msWithTheRequestsOfEachTick()
{
    QFETCH(bool, serialOpen);
    QFETCH(bool, lan);
    QFETCH(int, queuedCommands);
    QFETCH(QList<int>, expected);

    ManualClock clock;
    FakePeer peer;
    peer.flags.serialOpen = serialOpen;
    peer.flags.lanLinkEnabled = lan;
    peer.queued = queuedCommands;
    const qint64 start = clock.nowMs();
    ThreadLeitura polling(peer, clock);

    for (int tick = 1; tick <= expected.size(); ++tick) {
        // Parked on the next tick, and nothing asked for before it comes.
        QVERIFY2(clock.waitForSleeper(start + 80 * tick),
                 qPrintable(QStringLiteral("tick %1: not parked on start+%2; sleeping until %3")
                                .arg(tick)
                                .arg(80 * tick)
                                .arg(clock.sleeperDeadlines().empty()
                                         ? QStringLiteral("nothing")
                                         : QString::number(clock.sleeperDeadlines().front() - start))));
        QCoreApplication::processEvents();
        QCOMPARE(peer.ticks.size(), tick - 1);
        clock.advance(80);
        QTRY_COMPARE_WITH_TIMEOUT(peer.ticks.size(), tick, 5000);
    }
    QCOMPARE(requestNames(peer.ticks), requestNames(expected));
    QVERIFY(clock.waitForSleeper(start + 80 * (expected.size() + 1)));
}

void tst_ThreadLeitura::stopsWhileParked()
{
    ManualClock clock;
    FakePeer peer;
    peer.flags.lanLinkEnabled = true;
    const qint64 start = clock.nowMs();
    {
        ThreadLeitura polling(peer, clock);
        QVERIFY(clock.waitForSleeper(start + 80));
    } // joins: a stop that did not wake the sleeper would hang here
    QVERIFY(clock.sleeperDeadlines().empty());
    QCoreApplication::processEvents();
    QVERIFY(peer.ticks.isEmpty());
}

QTEST_MAIN(tst_ThreadLeitura)
#include "tst_threadleitura.moc"

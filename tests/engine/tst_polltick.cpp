#include "engine/commandqueue.h"
#include "engine/polltick.h"

#include <QtTest>

using PollTick::Decision;
using PollTick::Inputs;

class tst_PollTick : public QObject
{
    Q_OBJECT

private slots:
    void decision_data();
    void decision();
    void serialIdleSendsStateRequestEverySecondTick();
    void queuedCommandsLeaveOnConsecutiveTicks();
    void lanKeepsPollingWhileSerialCommandsWait();
    void queueCountFollowsContents();
};

void tst_PollTick::decision_data()
{
    QTest::addColumn<bool>("serialOpen");
    QTest::addColumn<bool>("lan");
    QTest::addColumn<bool>("queueEmpty");
    QTest::addColumn<int>("sinceLastSend");
    QTest::addColumn<bool>("queued");
    QTest::addColumn<bool>("stateRequest");
    QTest::addColumn<bool>("read");
    QTest::addColumn<bool>("stampMoves");

    QTest::newRow("no link") << false << false << true << 1000 << false << false << false << false;
    QTest::newRow("no link, queue waiting") << false << false << false << 1000 << false << false << false << false;
    QTest::newRow("serial, idle, 151 ms") << true << false << true << 151 << false << true << true << true;
    QTest::newRow("serial, idle, 150 ms") << true << false << true << 150 << false << false << true << false;
    QTest::newRow("serial, queue, 41 ms") << true << false << false << 41 << true << false << true << true;
    QTest::newRow("serial, queue, 40 ms") << true << false << false << 40 << false << false << true << false;
    QTest::newRow("serial, queue suppresses state request")
        << true << false << false << 5000 << true << false << true << true;
    QTest::newRow("lan, idle, 151 ms") << false << true << true << 151 << false << true << false << true;
    QTest::newRow("lan, idle, 100 ms") << false << true << true << 100 << false << false << false << false;
    QTest::newRow("lan ignores the serial queue") << false << true << false << 151 << false << true << false << true;
    QTest::newRow("clock stepped back") << true << false << true << -5000 << false << false << true << false;
}

void tst_PollTick::decision()
{
    QFETCH(bool, serialOpen);
    QFETCH(bool, lan);
    QFETCH(bool, queueEmpty);
    QFETCH(int, sinceLastSend);
    QFETCH(bool, queued);
    QFETCH(bool, stateRequest);
    QFETCH(bool, read);
    QFETCH(bool, stampMoves);

    const qint64 now = 1'700'000'000'000;
    const Decision d = PollTick::decide({serialOpen, lan, queueEmpty, now, now - sinceLastSend});
    QCOMPARE(d.sendQueuedCommand, queued);
    QCOMPARE(d.sendStateRequest, stateRequest);
    QCOMPARE(d.readReply, read);
    QCOMPARE(d.lastSendTime, stampMoves ? now : now - sinceLastSend);
}

void tst_PollTick::serialIdleSendsStateRequestEverySecondTick()
{
    Inputs in{true, false, true, 0, 0};
    QList<int> requestTicks;
    for (int tick = 1; tick <= 10; ++tick) {
        in.now = tick * 80;
        const Decision d = PollTick::decide(in);
        in.lastSendTime = d.lastSendTime;
        if (d.sendStateRequest)
            requestTicks << tick;
    }
    QCOMPARE(requestTicks, (QList<int>{2, 4, 6, 8, 10}));
}

void tst_PollTick::queuedCommandsLeaveOnConsecutiveTicks()
{
    int waiting = 3;
    Inputs in{true, false, false, 0, 0};
    QStringList log;
    for (int tick = 1; tick <= 7; ++tick) {
        in.now = tick * 80;
        in.queueEmpty = waiting == 0;
        const Decision d = PollTick::decide(in);
        in.lastSendTime = d.lastSendTime;
        if (d.sendQueuedCommand) {
            --waiting;
            log << QStringLiteral("cmd@%1").arg(tick);
        }
        if (d.sendStateRequest)
            log << QStringLiteral("state@%1").arg(tick);
    }
    QCOMPARE(log,
             (QStringList{QStringLiteral("cmd@1"), QStringLiteral("cmd@2"), QStringLiteral("cmd@3"),
                          QStringLiteral("state@5"), QStringLiteral("state@7")}));
}

void tst_PollTick::lanKeepsPollingWhileSerialCommandsWait()
{
    Inputs in{false, true, false, 0, 0};
    int requests = 0;
    for (int tick = 1; tick <= 20; ++tick) {
        in.now = tick * 80;
        const Decision d = PollTick::decide(in);
        in.lastSendTime = d.lastSendTime;
        QVERIFY(!d.sendQueuedCommand);
        QVERIFY(!d.readReply);
        requests += d.sendStateRequest ? 1 : 0;
    }
    QCOMPARE(requests, 10);
}

void tst_PollTick::queueCountFollowsContents()
{
    CommandQueue queue;
    QVERIFY(queue.isEmpty());
    queue.enqueue(0x0401);
    queue.enqueue(-1);
    QCOMPARE(queue.size(), 2);
    QCOMPARE(queue.dequeue(), qint16(0x0401));
    QCOMPARE(queue.dequeue(), qint16(-1));
    QVERIFY(queue.isEmpty());
}

QTEST_GUILESS_MAIN(tst_PollTick)
#include "tst_polltick.moc"

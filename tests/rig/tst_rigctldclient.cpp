// The rigctld client against a loopback server playing rigctld, on a hand-moved clock.

#include "rig/rigctldclient.h"

#include "manualclock.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

class tst_RigctldClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void asksEveryPollAndReadsOnlyFrequencies();
    void silentRigctldIsDroppedAndTriedAgain();
    void unreachableIsReportedOncePerOutage();

private:
    // The panel's connection as the server sees it, once it is there.
    QTcpSocket *accepted();
    // What the server has received so far, waiting up to a second for `expected`.
    QByteArray receivedBy(QTcpSocket *peer, const QByteArray &expected);
    void advance(qint64 ms)
    {
        clock->advance(ms);
        client->service();
    }

    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<QTcpServer> server;
    std::unique_ptr<RigctldClient> client;
    std::unique_ptr<QSignalSpy> readings, connects, outages;
    QByteArray received;
};

void tst_RigctldClient::init()
{
    clock = std::make_unique<ManualClock>();
    server = std::make_unique<QTcpServer>();
    QVERIFY(server->listen(QHostAddress::LocalHost));
    client = std::make_unique<RigctldClient>(*clock);
    readings = std::make_unique<QSignalSpy>(client.get(), &RigctldClient::frequencyRead);
    connects = std::make_unique<QSignalSpy>(client.get(), &RigctldClient::connected);
    outages = std::make_unique<QSignalSpy>(client.get(), &RigctldClient::unreachable);
    received.clear();
}

void tst_RigctldClient::cleanup()
{
    readings.reset();
    connects.reset();
    outages.reset();
    client.reset();
    server.reset();
    clock.reset();
}

QTcpSocket *tst_RigctldClient::accepted()
{
    if (!server->hasPendingConnections() && !server->waitForNewConnection(2000))
        return nullptr;
    return server->nextPendingConnection();
}

QByteArray tst_RigctldClient::receivedBy(QTcpSocket *peer, const QByteArray &expected)
{
    // The caller compares what came.
    static_cast<void>(QTest::qWaitFor([&] { return (received += peer->readAll()).size() >= expected.size(); }, 1000));
    return received;
}

void tst_RigctldClient::asksEveryPollAndReadsOnlyFrequencies()
{
    client->start({QStringLiteral("127.0.0.1"), server->serverPort()});
    QTcpSocket *peer = accepted();
    QVERIFY(peer);
    QTRY_COMPARE_WITH_TIMEOUT(connects->count(), 1, 2000);
    QCOMPARE(receivedBy(peer, "f\n"), QByteArray("f\n"));

    // Replies come in pieces; what is not an answer to `f` is passed over.
    peer->write("USB\n1407");
    peer->write("4000\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(readings->count(), 1, 1000);
    QCOMPARE(readings->at(0).at(0).toLongLong(), qint64(14'074'000));

    // The next question one poll after the last, not before.
    advance(RigctldClient::PollIntervalMs - 1);
    QTest::qWait(20);
    QCOMPARE(received += peer->readAll(), QByteArray("f\n"));
    advance(1);
    QCOMPARE(receivedBy(peer, "f\nf\n"), QByteArray("f\nf\n"));

    // An error answers the question without a reading.
    peer->write("RPRT -11\n");
    advance(RigctldClient::PollIntervalMs);
    QCOMPARE(receivedBy(peer, "f\nf\nf\n"), QByteArray("f\nf\nf\n"));
    QCOMPARE(readings->count(), 1);
    QCOMPARE(outages->count(), 0);
}

void tst_RigctldClient::silentRigctldIsDroppedAndTriedAgain()
{
    client->start({QStringLiteral("127.0.0.1"), server->serverPort()});
    QTcpSocket *peer = accepted();
    QVERIFY(peer);
    QTRY_VERIFY_WITH_TIMEOUT(client->isConnected(), 2000);

    advance(RigctldClient::AnswerTimeoutMs - 1);
    QVERIFY(client->isConnected());
    advance(1);
    QVERIFY(!client->isConnected());
    QCOMPARE(outages->count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(peer->state(), QAbstractSocket::UnconnectedState, 2000);

    advance(RigctldClient::RetryIntervalMs - 1);
    QVERIFY(!server->waitForNewConnection(50));
    advance(1);
    QVERIFY(accepted());
    QTRY_COMPARE_WITH_TIMEOUT(connects->count(), 2, 2000);
}

void tst_RigctldClient::unreachableIsReportedOncePerOutage()
{
    const quint16 port = server->serverPort();
    server->close();
    client->start({QStringLiteral("127.0.0.1"), port});
    QTRY_COMPARE_WITH_TIMEOUT(outages->count(), 1, 2000);
    for (int attempt = 0; attempt < 3; ++attempt) {
        advance(RigctldClient::RetryIntervalMs);
        QTest::qWait(50); // the refusal of each attempt comes back through the event loop
    }
    QCOMPARE(outages->count(), 1);
    QCOMPARE(connects->count(), 0);

    QVERIFY(server->listen(QHostAddress::LocalHost, port));
    advance(RigctldClient::RetryIntervalMs);
    QTRY_VERIFY_WITH_TIMEOUT(client->isConnected(), 2000);
    QCOMPARE(connects->count(), 1);

    // Gone again: a new outage, reported again.
    QTcpSocket *peer = accepted();
    QVERIFY(peer);
    peer->close();
    QTRY_COMPARE_WITH_TIMEOUT(outages->count(), 2, 2000);
}

QTEST_GUILESS_MAIN(tst_RigctldClient)
#include "tst_rigctldclient.moc"

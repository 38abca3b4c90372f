// The rigctld client against a loopback server playing rigctld, on a hand-moved clock.

#include "rig/rigctldclient.h"

#include "manualclock.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

class tst_RigctldClient : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        client.stop();
        for (QSignalSpy *spy : {&readings, &connects, &outages})
            spy->clear();
        bytes.clear();
    }
    void asksEveryPollReadsOnlyFrequenciesAndDropsASilentPeer();
    void unreachableIsReportedOncePerOutage();

private:
    void advance(qint64 ms)
    {
        clock.advance(ms);
        client.service();
    }
    // Everything the server's end has received, once it holds `size` bytes (or a second).
    QByteArray received(QTcpSocket *peer, int size)
    {
        static_cast<void>(QTest::qWaitFor([&] { return (bytes += peer->readAll()).size() >= size; }, 1000));
        return bytes;
    }

    ManualClock clock;
    RigctldClient client{clock};
    QSignalSpy readings{&client, &RigctldClient::frequencyRead};
    QSignalSpy connects{&client, &RigctldClient::connected};
    QSignalSpy outages{&client, &RigctldClient::unreachable};
    QByteArray bytes;
};

void tst_RigctldClient::asksEveryPollReadsOnlyFrequenciesAndDropsASilentPeer()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    client.start({QStringLiteral("127.0.0.1"), server.serverPort()});
    QVERIFY(server.waitForNewConnection(2000));
    QTcpSocket *peer = server.nextPendingConnection();
    QTRY_COMPARE_WITH_TIMEOUT(connects.count(), 1, 2000);
    QCOMPARE(received(peer, 2), QByteArray("f\n"));

    // Replies come in pieces; what answers no `f` is passed over.
    peer->write("USB\n1407");
    peer->write("4000\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(readings.count(), 1, 1000);
    QCOMPARE(readings.at(0).at(0).toLongLong(), qint64(14'074'000));

    // The next question one poll after the last, not before; an error answers it too.
    advance(RigctldClient::PollIntervalMs - 1);
    QCOMPARE(received(peer, 3), QByteArray("f\n"));
    advance(1);
    QCOMPARE(received(peer, 4), QByteArray("f\nf\n"));
    peer->write("RPRT -11\n");
    advance(RigctldClient::PollIntervalMs);
    QCOMPARE(received(peer, 6), QByteArray("f\nf\nf\n"));
    QCOMPARE(readings.count(), 1);

    // A question left unanswered: dropped at the time-out, connected again after the retry.
    advance(RigctldClient::AnswerTimeoutMs - 1);
    QVERIFY(client.isConnected());
    advance(1);
    QVERIFY(!client.isConnected());
    QCOMPARE(outages.count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(peer->state(), QAbstractSocket::UnconnectedState, 2000);
    advance(RigctldClient::RetryIntervalMs - 1);
    QVERIFY(!server.waitForNewConnection(50));
    advance(1);
    QVERIFY(server.waitForNewConnection(2000));
    QTRY_COMPARE_WITH_TIMEOUT(connects.count(), 2, 2000);
}

void tst_RigctldClient::unreachableIsReportedOncePerOutage()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();
    client.start({QStringLiteral("127.0.0.1"), port});
    QTRY_COMPARE_WITH_TIMEOUT(outages.count(), 1, 2000);
    const QTcpSocket *socket = client.findChild<QTcpSocket *>();
    // Each retry is a new attempt to connect, whether the refusal comes at once (Windows)
    // or a moment later.
    qRegisterMetaType<QAbstractSocket::SocketState>();
    QSignalSpy states(socket, &QAbstractSocket::stateChanged);
    const auto attempts = [&states] {
        int count = 0;
        for (const QList<QVariant> &change : qAsConst(states))
            count += change.at(0).value<QAbstractSocket::SocketState>() == QAbstractSocket::ConnectingState;
        return count;
    };
    for (int attempt = 1; attempt <= 3; ++attempt) {
        advance(RigctldClient::RetryIntervalMs);
        QTRY_COMPARE_WITH_TIMEOUT(attempts(), attempt, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QAbstractSocket::UnconnectedState, 1000);
    }
    QCOMPARE(outages.count(), 1);

    QVERIFY(server.listen(QHostAddress::LocalHost, port));
    advance(RigctldClient::RetryIntervalMs);
    QTRY_VERIFY_WITH_TIMEOUT(client.isConnected(), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 1000);
    server.nextPendingConnection()->close();
    QTRY_COMPARE_WITH_TIMEOUT(outages.count(), 2, 2000);
}

QTEST_GUILESS_MAIN(tst_RigctldClient)
#include "tst_rigctldclient.moc"

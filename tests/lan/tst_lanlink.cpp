// The LAN link without a window: where its frames go as the box's name, address and the
// direct-address option say, which datagrams count as the box's, and the ping figure.

#include "lan/lanlink.h"
#include "lan/threadcom.h"

#include "loopbackpeer.h"
#include "manualclock.h"
#include "panelprobe.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class tst_LanLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void framesGoWhereTheSettingsSay_data();
    void framesGoWhereTheSettingsSay();
    void onlyTheBoxIsHeard();
    void pingFigure_data();
    void pingFigure();

private:
    // Waits until the box peer has `count` datagrams, or two seconds.
    QList<LoopbackPeer::Datagram> boxReceives(int count);

    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<LanLink> link;
    std::unique_ptr<LoopbackPeer> box;
};

void tst_LanLink::init()
{
    clock = std::make_unique<ManualClock>();
    link = std::make_unique<LanLink>(*clock);
    box = std::make_unique<LoopbackPeer>("127.0.0.2");
    QVERIFY(box->isValid());
}

void tst_LanLink::cleanup()
{
    link.reset();
    box.reset();
    clock.reset();
}

QList<LoopbackPeer::Datagram> tst_LanLink::boxReceives(int count)
{
    QList<LoopbackPeer::Datagram> got;
    // The caller compares the count.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            got += box->take();
            return got.size() >= count;
        },
        2000));
    return got;
}

// Rows: the stored host text and option; the address once loaded and whether that was
// reported as not found; the address after a frame is sent and whether the box got it.
void tst_LanLink::framesGoWhereTheSettingsSay_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("direct");
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<QString>("afterSend");
    QTest::addColumn<bool>("delivered");
    QTest::newRow("address") << "127.0.0.2" << false << "127.0.0.2"
                             << "127.0.0.2" << true;
    QTest::newRow("address with spaces") << " 127.0.0.2 " << false << "127.0.0.2"
                                         << "127.0.0.2" << true;
    QTest::newRow("address, direct") << "127.0.0.2" << true << "127.0.0.2"
                                     << "127.0.0.2" << true;
    // Held back, and each frame asks the resolver again.
    QTest::newRow("no name") << "" << false << "error"
                             << "error" << false;
    // Taken as it stands, without a look-up: no address, so nothing leaves.
    QTest::newRow("no name, direct") << "" << true << "error"
                                     << "" << false;
}

void tst_LanLink::framesGoWhereTheSettingsSay()
{
    QFETCH(QString, host);
    QFETCH(bool, direct);
    QFETCH(QString, loaded);
    QFETCH(QString, afterSend);
    QFETCH(bool, delivered);
    QSignalSpy notFound(link.get(), &LanLink::hostNotFound);
    link->setBox(host, QString::number(box->port()), direct);
    QCOMPARE(link->hostAddress(), loaded);
    QCOMPARE(notFound.size(), loaded == QLatin1String("error") ? 1 : 0);

    link->send(QByteArray::fromHex("fe0201fd"));
    if (!direct && loaded == QLatin1String("error"))
        QTRY_COMPARE(notFound.size(), 2); // the frame's own look-up failed too
    QCOMPARE(link->hostAddress(), afterSend);
    if (delivered) {
        const QList<LoopbackPeer::Datagram> got = boxReceives(1);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].payload, QByteArray::fromHex("fe0201fd"));
        QCOMPARE(got[0].fromPort, link->worker()->localPort());
    } else {
        QCOMPARE(link->worker()->lastDatagramTime(), 0);
    }
}

void tst_LanLink::onlyTheBoxIsHeard()
{
    PanelProbe::silenceReadNotices();
    const quint64 noticesBefore = PanelProbe::readNotices();
    link->setBox("127.0.0.2", QString::number(box->port()), false);
    QSignalSpy replies(link.get(), &LanLink::replyReceived);
    LoopbackPeer stranger("127.0.0.3");
    QVERIFY(stranger.isValid());
    const quint16 panelPort = link->worker()->localPort();
    QVERIFY(stranger.sendTo(panelPort, "1.2.3"));
    QVERIFY(box->sendTo(panelPort, QByteArray("4.5.6\0junk", 10)));
    // Both are read, counted and logged; only the box's reaches the panel, up to its zero byte.
    QTRY_COMPARE(link->worker()->datagramsRead(), quint64(2));
    QCOMPARE(PanelProbe::readNotices() - noticesBefore, quint64(2));
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies[0][0].toString(), QStringLiteral("4.5.6"));
}

void tst_LanLink::pingFigure_data()
{
    // Where within a millisecond the request leaves, and how long until the reply is read.
    QTest::addColumn<qint64>("sentAtUs");
    QTest::addColumn<qint64>("replyAfterUs");
    QTest::addColumn<qint64>("figure");
    QTest::newRow("40 ms") << qint64(0) << qint64(40'000) << qint64(40);
    QTest::newRow("0.6 ms across a millisecond's step") << qint64(700) << qint64(600) << qint64(0);
    QTest::newRow("1.4 ms") << qint64(900) << qint64(1'400) << qint64(1);
    QTest::newRow("just under 2 ms") << qint64(1) << qint64(1'999) << qint64(1);
}

void tst_LanLink::pingFigure()
{
    QFETCH(qint64, sentAtUs);
    QFETCH(qint64, replyAfterUs);
    QFETCH(qint64, figure);
    link->setBox("127.0.0.2", QString::number(box->port()), false);
    QSignalSpy replies(link.get(), &LanLink::replyReceived);
    const quint16 panelPort = link->worker()->localPort();
    // A reply before anything was sent: the figure is the wall clock's.
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(box->sendTo(panelPort, "0.0.0.0.0.0.0.0.0.0.FF"));
    QTRY_COMPARE(replies.size(), 1);
    const qint64 unsent = link->pingFigure();
    QVERIFY(unsent >= before && unsent <= QDateTime::currentMSecsSinceEpoch());

    // From the datagram sent to the reply's arrival, however late it is handled.
    clock->advanceUs(sentAtUs);
    link->send(QByteArray::fromHex("fe01fd"));
    QCOMPARE(boxReceives(1).size(), 1);
    clock->advanceUs(replyAfterUs);
    QVERIFY(box->sendTo(panelPort, "0.0.0.0.0.0.0.0.0.0.FF"));
    QTRY_COMPARE(replies.size(), 2);
    clock->advance(5);
    QCOMPARE(link->pingFigure(), figure);
}

QTEST_GUILESS_MAIN(tst_LanLink)
#include "tst_lanlink.moc"

#include "lan/datagramqueue.h"
#include "lan/hostresolution.h"
#include "lan/lanendpoint.h"

#include <QtTest>

namespace {
QByteArray frame(const char *hex) { return QByteArray::fromHex(hex); }

QStringList hexOf(const QList<QByteArray> &payloads)
{
    QStringList list;
    for (const QByteArray &payload : payloads)
        list << QString::fromLatin1(payload.toHex());
    return list;
}
} // namespace

class tst_LanQueue : public QObject
{
    Q_OBJECT

private slots:
    void superseding_data();
    void superseding();
    void takeKeepsOrder();
    void port_data();
    void port();
    void senderMatching_data();
    void senderMatching();
    void preferredAddress_data();
    void preferredAddress();
};

void tst_LanQueue::superseding_data()
{
    QTest::addColumn<QStringList>("queued");
    QTest::addColumn<QString>("incoming");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("state request replaces state request") << QStringList{"fe01fd"} << "fe01fd" << QStringList{"fe01fd"};
    QTest::newRow("ch1 selection replaces state request and older ch1 selection")
        << QStringList{"fe0202fd", "fe01fd"} << "fe0204fd" << QStringList{"fe0204fd"};
    QTest::newRow("neither code: appended")
        << QStringList{"fe01fd", "fe0303fd"} << "fe05000000fd" << QStringList{"fe01fd", "fe0303fd", "fe05000000fd"};
    QTest::newRow("selection of position 1 survives a state request")
        << QStringList{"fe0201fd"} << "fe01fd" << QStringList{"fe0201fd", "fe01fd"};
    QTest::newRow("selection of position 2 survives a state request")
        << QStringList{"fe0302fd"} << "fe01fd" << QStringList{"fe0302fd", "fe01fd"};
    QTest::newRow("split on survives a state request")
        << QStringList{"fe04010301fd"} << "fe01fd" << QStringList{"fe04010301fd", "fe01fd"};
    QTest::newRow("split off survives a state request")
        << QStringList{"fe05000000fd"} << "fe01fd" << QStringList{"fe05000000fd", "fe01fd"};
    QTest::newRow("ch2 selection does not replace ch1 or polls")
        << QStringList{"fe0201fd", "fe01fd"} << "fe0302fd" << QStringList{"fe0201fd", "fe01fd", "fe0302fd"};
    QTest::newRow("split with argument 2 replaces nothing")
        << QStringList{"fe0202fd", "fe01fd"} << "fe04010200fd" << QStringList{"fe0202fd", "fe01fd", "fe04010200fd"};
    QTest::newRow("state request keeps later commands in order")
        << QStringList{"fe0305fd", "fe01fd", "fe05000000fd"} << "fe01fd"
        << QStringList{"fe0305fd", "fe05000000fd", "fe01fd"};
    QTest::newRow("short garbage payloads are kept") << QStringList{"fe"} << "fe01fd" << QStringList{"fe", "fe01fd"};
}

void tst_LanQueue::superseding()
{
    QFETCH(QStringList, queued);
    QFETCH(QString, incoming);
    QFETCH(QStringList, after);
    DatagramQueue queue;
    for (const QString &hex : queued)
        queue.enqueue(frame(hex.toLatin1()));
    QCOMPARE(hexOf(queue.contents()), queued); // a queue the panel can really build
    queue.enqueue(frame(incoming.toLatin1()));
    QCOMPARE(hexOf(queue.contents()), after);
}

void tst_LanQueue::takeKeepsOrder()
{
    DatagramQueue queue;
    queue.enqueue(frame("fe0300fd"));
    queue.enqueue(frame("fe05000000fd"));
    queue.enqueue(frame("fe01fd"));
    QCOMPARE(queue.takeFirst(), frame("fe0300fd"));
    QCOMPARE(queue.takeFirst(), frame("fe05000000fd"));
    QCOMPARE(queue.takeFirst(), frame("fe01fd"));
    QVERIFY(queue.isEmpty());
}

void tst_LanQueue::port_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::newRow("plain") << "4001" << 4001;
    QTest::newRow("lowest") << "1" << 1;
    QTest::newRow("highest") << "65535" << 65535;
    QTest::newRow("one above") << "65536" << 0;
    QTest::newRow("would wrap to 1") << "65537" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("negative") << "-5" << 0;
    QTest::newRow("not a number") << "http" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("fraction") << "80.5" << 0;
    QTest::newRow("huge") << "99999999999999" << 0;
}

void tst_LanQueue::port()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    QCOMPARE(int(LanEndpoint::portFrom(text)), port);
}

void tst_LanQueue::senderMatching_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("same IPv4") << "127.0.0.2"
                               << "127.0.0.2" << true;
    QTest::newRow("other IPv4") << "127.0.0.3"
                                << "127.0.0.2" << false;
    QTest::newRow("IPv4-mapped sender") << "::ffff:127.0.0.2"
                                        << "127.0.0.2" << true;
    QTest::newRow("IPv4-mapped box") << "127.0.0.2"
                                     << "::ffff:127.0.0.2" << true;
    QTest::newRow("IPv6") << "::1"
                          << "::1" << true;
    QTest::newRow("box unresolved") << "127.0.0.2"
                                    << "error" << false;
    QTest::newRow("no box yet") << "127.0.0.2"
                                << "" << false;
    QTest::newRow("host name is no address") << "127.0.0.1"
                                             << "localhost" << false;
}

void tst_LanQueue::senderMatching()
{
    QFETCH(QString, sender);
    QFETCH(QString, box);
    QFETCH(bool, accepted);
    QCOMPARE(LanEndpoint::isFromBox(QHostAddress(sender), box), accepted);
}

void tst_LanQueue::preferredAddress_data()
{
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("IPv6 first, IPv4 taken") << QStringList{"::1", "127.0.0.1"} << "127.0.0.1";
    QTest::newRow("first IPv4 of several") << QStringList{"10.0.0.9", "127.0.0.1"} << "10.0.0.9";
    QTest::newRow("only IPv6") << QStringList{"fe80::1", "::1"} << "fe80::1";
    QTest::newRow("none") << QStringList{} << "";
}

void tst_LanQueue::preferredAddress()
{
    QFETCH(QStringList, addresses);
    QFETCH(QString, chosen);
    QList<QHostAddress> list;
    for (const QString &text : addresses)
        list << QHostAddress(text);
    const QHostAddress address = HostResolution::preferredAddress(list);
    QCOMPARE(address.isNull() ? QString() : address.toString(), chosen);
}

QTEST_GUILESS_MAIN(tst_LanQueue)
#include "tst_lanqueue.moc"

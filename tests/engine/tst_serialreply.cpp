#include "engine/serialreply.h"

#include <QtTest>

#include <cstring>

using namespace Protocol;

namespace {
const QByteArray Status = QByteArray("IG\x05") + QByteArray("\x01\x02\x00\x00\x0f\x0f\x00\x01", 8) + "xx;";
const QByteArray Firmware = QByteArray("IGW\x02\x07") + "abcdefgh;";

// A port holding `waiting`, read as QSerialPort::read would.
struct FakePort
{
    QByteArray waiting;
    int reads = 0;

    qint64 read(char *into, qint64 max)
    {
        ++reads;
        const int n = int(qMin<qint64>(max, waiting.size()));
        std::memcpy(into, waiting.constData(), size_t(n));
        waiting.remove(0, n);
        return n;
    }
};
} // namespace

class tst_SerialReply : public QObject
{
    Q_OBJECT

private slots:
    void pickedReply_data();
    void pickedReply();
    void shortReplyStaysInThePort();
};

void tst_SerialReply::pickedReply_data()
{
    QTest::addColumn<QByteArray>("waiting");
    QTest::addColumn<bool>("signOfLife");
    QTest::addColumn<QByteArray>("dispatched"); // empty: nothing to dispatch
    QTest::addColumn<int>("left"); // bytes still in the port afterwards

    QTest::newRow("status reply") << Status << true << Status << 0;
    QTest::newRow("firmware reply") << Firmware << true << Firmware << 0;
    QTest::newRow("13 bytes ending in ;") << QByteArray("IG\x05"
                                                        "1234567;",
                                                        11)
                                                 .append("9;")
                                          << true
                                          << QByteArray("IG\x05"
                                                        "1234567;",
                                                        11)
                                                 .append("9;")
                                          << 0;
    QTest::newRow("14 bytes not ending in ;") << QByteArray(14, 'x') << true << QByteArray() << 0;
    QTest::newRow("20 bytes, last one ;")
        << QByteArray(19, 'x').append(';') << true << QByteArray(19, 'x').append(';') << 0;
    QTest::newRow("two replies glued") << Firmware + Status << true << Status << 0;
    QTest::newRow("reply then noise") << Status + QByteArray(30, '\x55') << true << Status << 0;
    QTest::newRow("noise then reply") << QByteArray(200000, '\x33') + Status << true << Status << 0;
    QTest::newRow("torn reply behind noise") << QByteArray(25, 'n') + Status.left(9) << true << QByteArray() << 0;
    QTest::newRow("frame longer than the buffer")
        << QByteArray("IG") + QByteArray(25, 'z') + ";" << true << QByteArray() << 0;
    QTest::newRow("; without IG in reach") << QByteArray(40, 'q') + ";" << true << QByteArray() << 0;
    QTest::newRow("newest of three") << Status + Firmware + Status.left(3) + QByteArray("\x07\x07", 2) + Status.mid(5)
                                     << true << Status.left(3) + QByteArray("\x07\x07", 2) + Status.mid(5) << 0;
}

void tst_SerialReply::pickedReply()
{
    QFETCH(QByteArray, waiting);
    QFETCH(bool, signOfLife);
    QFETCH(QByteArray, dispatched);
    QFETCH(int, left);

    FakePort port{waiting};
    RxBuffer rx{};
    const SerialReply::Result result = SerialReply::read(
        port.waiting.size(), [&](char *into, qint64 max) { return port.read(into, max); }, rx);

    QCOMPARE(result.signOfLife, signOfLife);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(rx.data()), result.length), dispatched);
    QCOMPARE(port.waiting.size(), left);
}

void tst_SerialReply::shortReplyStaysInThePort()
{
    FakePort port{Status.left(MinReplyLength - 1)};
    RxBuffer rx{};
    const SerialReply::Result result = SerialReply::read(
        port.waiting.size(), [&](char *into, qint64 max) { return port.read(into, max); }, rx);
    QVERIFY(!result.signOfLife);
    QCOMPARE(result.length, 0);
    QCOMPARE(port.reads, 0);
    QCOMPARE(port.waiting, Status.left(MinReplyLength - 1));
}

QTEST_APPLESS_MAIN(tst_SerialReply)
#include "tst_serialreply.moc"

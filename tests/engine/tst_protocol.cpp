#include "engine/protocol.h"

#include <QtTest>

using namespace Protocol;

namespace {
QByteArray bytes(const TxBuffer &tx, int count) { return QByteArray(tx.data(), count); }

RxBuffer rxFrom(const QByteArray &data)
{
    RxBuffer rx{};
    for (int i = 0; i < data.size() && i < RxBufferSize; ++i)
        rx[i] = static_cast<quint8>(data.at(i));
    return rx;
}
} // namespace

class tst_Protocol : public QObject
{
    Q_OBJECT

private slots:
    void queuedCommandBytes_data();
    void queuedCommandBytes();
    void trailingBytesCarryOverFromEarlierCommands();
    void stateRequestAndFirmwareRequestBytes();
    void unknownQueueCodeWritesNothing();
    void lanFrameBytes_data();
    void lanFrameBytes();
    void replyClassification_data();
    void replyClassification();
    void statusReplyFillsState();
    void firmwareRevisionIsUnsigned();
    void lanStatusText_data();
    void lanStatusText();
};

void tst_Protocol::queuedCommandBytes_data()
{
    QTest::addColumn<int>("element");
    QTest::addColumn<QByteArray>("expected");

    // Fresh buffer: trailing bytes are the zeros the buffer started with.
    QTest::newRow("channel 2 to Ant 3") << int(queueElement(2, 2)) << QByteArray::fromHex("494702323b0000");
    QTest::newRow("release channel 1") << int(queueElement(1, 15)) << QByteArray::fromHex("4947013f3b0000");
    QTest::newRow("split ch1 tx Ant2 rx Ant5")
        << int(queueElement(3, splitArgument(1, 4))) << QByteArray::fromHex("4947033134313b");
    QTest::newRow("split off ch2") << int(queueElement(4, 0)) << QByteArray::fromHex("4947042f2f303b");
    QTest::newRow("split with no rx antenna reads as off")
        << int(queueElement(3, splitArgument(3, 15))) << QByteArray::fromHex("494703332f303b");
}

void tst_Protocol::queuedCommandBytes()
{
    QFETCH(int, element);
    QFETCH(QByteArray, expected);
    TxBuffer tx{};
    const int count = composeQueuedCommand(tx, static_cast<qint16>(element));
    QCOMPARE(count, QueuedCommandLength);
    QCOMPARE(bytes(tx, count).toHex(), expected.toHex());
}

void tst_Protocol::trailingBytesCarryOverFromEarlierCommands()
{
    TxBuffer tx{};
    QCOMPARE(bytes(tx, composeStateRequest(tx)), QByteArray::fromHex("494705333b00"));
    composeQueuedCommand(tx, queueElement(3, splitArgument(1, 4)));
    // The split left its flag and terminator behind; the box has always seen them.
    QCOMPARE(bytes(tx, composeStateRequest(tx)), QByteArray::fromHex("494705333b31"));
    QCOMPARE(bytes(tx, composeQueuedCommand(tx, queueElement(1, 0))), QByteArray::fromHex("494701303b313b"));
    composeQueuedCommand(tx, queueElement(4, 0));
    QCOMPARE(bytes(tx, composeStateRequest(tx)), QByteArray::fromHex("494705333b30"));
}

void tst_Protocol::stateRequestAndFirmwareRequestBytes()
{
    TxBuffer tx{};
    QCOMPARE(bytes(tx, composeFirmwareRequest(tx)), QByteArray("IGW;"));
    QCOMPARE(composeStateRequest(tx), StateRequestLength);
}

void tst_Protocol::unknownQueueCodeWritesNothing()
{
    TxBuffer tx{};
    QCOMPARE(composeQueuedCommand(tx, queueElement(9, 1)), 0);
    QCOMPARE(composeQueuedCommand(tx, queueElement(0, 0)), 0);
}

void tst_Protocol::lanFrameBytes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("a1");
    QTest::addColumn<int>("a2");
    QTest::addColumn<int>("a3");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("state request") << 1 << 0 << 0 << 0 << QByteArray::fromHex("fe01fd");
    QTest::newRow("ch1 select Ant 5") << 2 << 4 << 0 << 0 << QByteArray::fromHex("fe0204fd");
    QTest::newRow("ch1 release") << 2 << 15 << 0 << 0 << QByteArray::fromHex("fe020ffd");
    QTest::newRow("ch2 select Ant 1") << 3 << 0 << 0 << 0 << QByteArray::fromHex("fe0300fd");
    QTest::newRow("split on ch1") << 4 << 1 << 1 << 4 << QByteArray::fromHex("fe04010104fd");
    QTest::newRow("split off ch2") << 5 << 0 << 0 << 0 << QByteArray::fromHex("fe05000000fd");
}

void tst_Protocol::lanFrameBytes()
{
    QFETCH(int, code);
    QFETCH(int, a1);
    QFETCH(int, a2);
    QFETCH(int, a3);
    QFETCH(QByteArray, expected);
    QCOMPARE(lanFrame(quint8(code), quint8(a1), quint8(a2), quint8(a3)).toHex(), expected.toHex());
}

void tst_Protocol::replyClassification_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("kind");
    QTest::newRow("status 0x05") << QByteArray("IG\x05", 3) << int(ReplyKind::Status);
    QTest::newRow("status T") << QByteArray("IGT") << int(ReplyKind::Status);
    QTest::newRow("firmware") << QByteArray("IGW\x01\x07") << int(ReplyKind::Firmware);
    QTest::newRow("other kind") << QByteArray("IGX") << int(ReplyKind::Ignored);
    QTest::newRow("not IG") << QByteArray("XGT") << int(ReplyKind::Ignored);
    QTest::newRow("lower case") << QByteArray("igT") << int(ReplyKind::Ignored);
    QTest::newRow("zeros") << QByteArray(20, '\0') << int(ReplyKind::Ignored);
}

void tst_Protocol::replyClassification()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, kind);
    QCOMPARE(int(classifyReply(rxFrom(frame))), kind);
}

void tst_Protocol::statusReplyFillsState()
{
    DeviceState state;
    state.ignoreNextStatus = 1;
    applyStatusReply(state, rxFrom(QByteArray::fromHex("494754010f00000000010000003b")));
    QCOMPARE(int(state.antenna[1]), 1);
    QCOMPARE(int(state.antenna[2]), 15);
    QCOMPARE(int(state.splitActive[1]), 0);
    QCOMPARE(int(state.transmitting[1]), 1);
    QCOMPARE(int(state.transmitting[2]), 0);
    QCOMPARE(int(state.ignoreNextStatus), 1); // the reply handler, not the copy, owns this flag

    applyStatusReply(state, rxFrom(QByteArray::fromHex("494705020301000405010000003b")));
    QCOMPARE(int(state.antenna[1]), 2);
    QCOMPARE(int(state.antenna[2]), 3);
    QCOMPARE(int(state.splitActive[1]), 1);
    QCOMPARE(int(state.splitActive[2]), 0);
    QCOMPARE(int(state.splitTxAntenna[1]), 4);
    QCOMPARE(int(state.splitTxAntenna[2]), 5);
    QCOMPARE(int(state.transmitting[1]), 1);
}

void tst_Protocol::firmwareRevisionIsUnsigned()
{
    const FirmwareRevision revision = firmwareRevision(rxFrom(QByteArray::fromHex("494757ff07")));
    QCOMPARE(revision.major, 255);
    QCOMPARE(revision.minor, 7);
}

void tst_Protocol::lanStatusText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QList<int>>("fields"); // antenna1, antenna2, split1, split2, tx1, tx2, trans1, trans2

    const QList<int> untouched{9, 9, 9, 9, 9, 9, 9, 9};
    QTest::newRow("split with transmit") << QStringLiteral("2.3.1.0.4.5.1.0.0.0.FF") << true
                                         << QList<int>{2, 3, 1, 0, 4, 5, 1, 0};
    QTest::newRow("channel 2 holds nothing")
        << QStringLiteral("0.F.0.0.0.0.0.0.0.0.FF") << true << QList<int>{0, 15, 0, 0, 0, 0, 0, 0};
    QTest::newRow("hex antenna A") << QStringLiteral("A.3.1.0.4.5.1.0.0.0.FF") << true
                                   << QList<int>{10, 3, 1, 0, 4, 5, 1, 0};
    QTest::newRow("lower-case mark") << QStringLiteral("1.2.0.0.0.0.0.0.0.0.ff") << true
                                     << QList<int>{1, 2, 0, 0, 0, 0, 0, 0};
    QTest::newRow("fields after the mark ignored")
        << QStringLiteral("1.2.0.0.0.0.0.0.0.0.FF.junk.7") << true << QList<int>{1, 2, 0, 0, 0, 0, 0, 0};
    QTest::newRow("not a number reads 0")
        << QStringLiteral("x.2.y.0.0.0.0.0.0.0.FF") << true << QList<int>{0, 2, 0, 0, 0, 0, 0, 0};
    QTest::newRow("decimal field that looks hex reads 0")
        << QStringLiteral("1.2.A.0.0.0.0.0.0.0.FF") << true << QList<int>{1, 2, 0, 0, 0, 0, 0, 0};
    QTest::newRow("low 8 bits kept") << QStringLiteral("1FF.2.257.0.0.0.0.0.0.0.FF") << true
                                     << QList<int>{255, 2, 1, 0, 0, 0, 0, 0};
    // Plain digits are read directly; everything else as Qt reads a number.
    QTest::newRow("spaces, signs and 0x as Qt reads them")
        << QStringLiteral(" 2 .+3.-1.1 .0x4.0X5.+1.0.0.0.FF") << true << QList<int>{2, 3, 255, 1, 4, 5, 1, 0};
    QTest::newRow("widest plain fields, and one digit more")
        << QStringLiteral("FFFFFFF.7FFFFFFF.999999999.2147483648.80000000.0000000FE.0.0.0.0.FF") << true
        << QList<int>{255, 255, 255, 0, 0, 254, 0, 0};
    QTest::newRow("empty fields count") << QStringLiteral("..........FF") << true << QList<int>{0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("wrong mark FE") << QStringLiteral("2.3.1.0.4.5.1.0.0.0.FE") << false << untouched;
    QTest::newRow("ten fields") << QStringLiteral("2.3.1.0.4.5.1.0.0.FF") << false << untouched;
    QTest::newRow("empty text") << QString() << false << untouched;
    QTest::newRow("garbage") << QStringLiteral("\x01\x7f\u00e9\u4e2d..") << false << untouched;
    QTest::newRow("mark missing but long") << QString(5000, QLatin1Char('.')) << false << untouched;
}

void tst_Protocol::lanStatusText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QList<int>, fields);
    DeviceState state;
    for (int c = 1; c <= 2; ++c) {
        state.antenna[c] = state.splitActive[c] = state.splitTxAntenna[c] = state.transmitting[c] = 9;
    }
    QCOMPARE(parseLanStatusText(text, state), valid);
    const QList<int> actual{state.antenna[1],      state.antenna[2],        state.splitActive[1],
                            state.splitActive[2],  state.splitTxAntenna[1], state.splitTxAntenna[2],
                            state.transmitting[1], state.transmitting[2]};
    QCOMPARE(actual, fields);
}

QTEST_GUILESS_MAIN(tst_Protocol)
#include "tst_protocol.moc"

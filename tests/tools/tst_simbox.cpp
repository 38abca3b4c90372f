#include "controlline.h"
#include "lansession.h"
#include "replypolicy.h"
#include "serialsession.h"
#include "switchbox.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace TalmekSim;

Q_DECLARE_METATYPE(TalmekSim::BoxState)
Q_DECLARE_METATYPE(TalmekSim::Outcome)
Q_DECLARE_METATYPE(TalmekSim::ControlCommand::Kind)

namespace TalmekSim {
char *toString(const BoxState &s)
{
    const ChannelState &a = s.channel(1);
    const ChannelState &b = s.channel(2);
    return QTest::toString(QStringLiteral("ant %1/%2 split %3/%4 tx-ant %5/%6 sending %7/%8")
                               .arg(a.antenna)
                               .arg(b.antenna)
                               .arg(a.splitActive)
                               .arg(b.splitActive)
                               .arg(a.splitTxAntenna)
                               .arg(b.splitTxAntenna)
                               .arg(a.transmitting)
                               .arg(b.transmitting));
}
} // namespace TalmekSim

namespace {

BoxState boxState(int ant1, int ant2, int split1 = 0, int split2 = 0, int txAnt1 = NoAntenna, int txAnt2 = NoAntenna)
{
    BoxState s;
    s.channel(1).antenna = static_cast<quint8>(ant1);
    s.channel(2).antenna = static_cast<quint8>(ant2);
    s.channel(1).splitActive = static_cast<quint8>(split1);
    s.channel(2).splitActive = static_cast<quint8>(split2);
    s.channel(1).splitTxAntenna = static_cast<quint8>(txAnt1);
    s.channel(2).splitTxAntenna = static_cast<quint8>(txAnt2);
    return s;
}

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// The panel's frames, with the trailing bytes it leaves in its transmit buffer.
const QByteArray StateRequest = hex("49 47 05 33 3B 00");
const QByteArray FirmwareRequest = hex("49 47 57 3B");
const QByteArray InitialStatus = hex("49 47 05 0F 0F 00 00 0F 0F 00 00 00 00 3B");

QByteArray select(int channel, int position)
{
    return QByteArray("IG") + char(channel) + char('0' + position) + ";" + QByteArray(2, '\0');
}

QByteArray feedAll(SerialSession &session, const QByteArray &bytes)
{
    QByteArray replies;
    for (const auto &event : session.receive(bytes))
        replies += event.reply;
    return replies;
}

} // namespace

class TestSimBox : public QObject
{
    Q_OBJECT

private slots:
    void serialCommandAppliesAndReplies_data();
    void serialCommandAppliesAndReplies();
    void streamResynchronisesWhateverTheChunking_data();
    void streamResynchronisesWhateverTheChunking();
    void randomNoiseNeitherGrowsBufferNorBlocksNextCommand();
    void lanDatagramAppliesAndReplies_data();
    void lanDatagramAppliesAndReplies();
    void transmittingShowsInBothReplies_data();
    void transmittingShowsInBothReplies();
    void firmwareRevisionIsReportedAsBinaryBytes();
    void exclusiveRuleRefusesHeldAntennas_data();
    void exclusiveRuleRefusesHeldAntennas();
    void replyPolicyDropsTheRequestedShare_data();
    void replyPolicyDropsTheRequestedShare();
    void replyPiecesCoverTheWholeReply();
    void controlLineIsParsed_data();
    void controlLineIsParsed();
};

void TestSimBox::serialCommandAppliesAndReplies_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<BoxState>("state");

    QTest::newRow("firmware request") << FirmwareRequest << hex("49 47 57 01 07 00 00 00 00 00 00 00 00 3B")
                                      << BoxState{};
    QTest::newRow("state request of a fresh box") << StateRequest << InitialStatus << BoxState{};
    QTest::newRow("select Ant 3 on channel 1")
        << select(1, 2) + StateRequest << hex("49 47 05 02 0F 00 00 0F 0F 00 00 00 00 3B") << boxState(2, 15);
    QTest::newRow("select Ant 6 on channel 2")
        << select(2, 5) + StateRequest << hex("49 47 05 0F 05 00 00 0F 0F 00 00 00 00 3B") << boxState(15, 5);
    QTest::newRow("release channel 1") << select(1, 2) + hex("49 47 01 3F 3B 00 00") + StateRequest << InitialStatus
                                       << BoxState{};
    QTest::newRow("split on channel 1, TX Ant 2, RX Ant 5")
        << select(1, 4) + hex("49 47 03 31 34 31 3B") + hex("49 47 05 33 3B 31")
        << hex("49 47 05 04 0F 01 00 01 0F 00 00 00 00 3B") << boxState(4, 15, 1, 0, 1);
    QTest::newRow("split on takes RX from the command")
        << select(2, 0) + hex("49 47 04 33 32 31 3B") << QByteArray() << boxState(15, 2, 0, 1, 15, 3);
    QTest::newRow("split off on channel 2")
        << hex("49 47 04 33 32 31 3B") + hex("49 47 04 2F 2F 30 3B") << QByteArray() << boxState(15, 2, 0, 0, 15, 3);
    QTest::newRow("selection during a split moves its TX antenna")
        << hex("49 47 03 31 34 31 3B") + select(1, 5) << QByteArray() << boxState(4, 15, 1, 0, 5);
    QTest::newRow("release during a split leaves no TX antenna")
        << hex("49 47 03 31 34 31 3B") + hex("49 47 01 3F 3B 31 3B") << QByteArray() << boxState(4, 15, 1, 0, 15);
    QTest::newRow("split without RX antenna reads as split off")
        << hex("49 47 03 31 34 31 3B") + hex("49 47 03 32 2F 30 3B") << QByteArray() << boxState(4, 15, 0, 0, 1);
    QTest::newRow("RELEASE chosen as TX gives a split without TX antenna")
        << hex("49 47 03 2F 32 31 3B") << QByteArray() << boxState(2, 15, 1, 0, 15);
    QTest::newRow("position the box does not have is ignored")
        << select(1, 8) + StateRequest << InitialStatus << BoxState{};
}

void TestSimBox::serialCommandAppliesAndReplies()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, replies);
    QFETCH(BoxState, state);

    SwitchBox box;
    SerialSession session(box);
    QCOMPARE(feedAll(session, input), replies);
    QCOMPARE(box.state(), state);
    for (int i = 0; i < replies.size(); i += SwitchBox::SerialReplyLength)
        QCOMPARE(replies.at(i + SwitchBox::SerialReplyLength - 1), ';');
}

void TestSimBox::streamResynchronisesWhateverTheChunking_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<BoxState>("state");
    QTest::addColumn<int>("pending");

    const QByteArray selected = hex("49 47 05 03 0F 00 00 0F 0F 00 00 00 00 3B");
    QTest::newRow("trailing zeros") << StateRequest + StateRequest << InitialStatus + InitialStatus << BoxState{} << 0;
    QTest::newRow("trailing '1' and ';'")
        << select(1, 3).left(5) + "1;" + hex("49 47 05 33 3B 31") << selected << boxState(3, 15) << 0;
    QTest::newRow("glued selection and request") << select(1, 3) + StateRequest << selected << boxState(3, 15) << 0;
    QTest::newRow("garbage before") << QByteArray("\xFF\x00xyzIGI\x3B", 9) + StateRequest << InitialStatus << BoxState{}
                                    << 0;
    QTest::newRow("garbage between") << FirmwareRequest
            + "IG\x05"
              "4;II;;G"
            + StateRequest << hex("49 47 57 01 07 00 00 00 00 00 00 00 00 3B") + InitialStatus
                                     << BoxState{} << 0;
    QTest::newRow("cut-off frame gives way to the next")
        << QByteArray("IG\x05") + StateRequest << InitialStatus << BoxState{} << 0;
    QTest::newRow("frame inside a broken one") << QByteArray("IG\x01IG\x01"
                                                             "3;")
            + StateRequest << selected << boxState(3, 15)
                                               << 0;
    QTest::newRow("doubled I") << QByteArray("IIG\x05"
                                             "3;")
                               << InitialStatus << BoxState{} << 0;
    QTest::newRow("unknown code") << QByteArray("IG\x09;") + StateRequest << InitialStatus << BoxState{} << 0;
    QTest::newRow("wrong terminator") << QByteArray("IG\x01"
                                                    "3:")
            + StateRequest << InitialStatus
                                      << BoxState{} << 0;
    QTest::newRow("partial frame waits") << StateRequest
            + "IG\x03"
              "4" << InitialStatus << BoxState{}
                                         << 4;
}

// Whole, byte by byte, and cut in two at every position: the box must see the same.
void TestSimBox::streamResynchronisesWhateverTheChunking()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, replies);
    QFETCH(BoxState, state);
    QFETCH(int, pending);

    {
        SwitchBox box;
        SerialSession session(box);
        QCOMPARE(feedAll(session, input), replies);
        QCOMPARE(box.state(), state);
        QCOMPARE(session.parser().pendingBytes(), pending);
    }
    {
        SwitchBox box;
        SerialSession session(box);
        QByteArray out;
        for (char byte : input)
            out += feedAll(session, QByteArray(1, byte));
        QCOMPARE(out, replies);
        QCOMPARE(box.state(), state);
    }
    for (int cut = 1; cut < input.size(); ++cut) {
        SwitchBox box;
        SerialSession session(box);
        QByteArray out = feedAll(session, input.left(cut));
        out += feedAll(session, input.mid(cut));
        QVERIFY2(out == replies, qPrintable(QStringLiteral("cut at %1").arg(cut)));
        QCOMPARE(box.state(), state);
    }
}

void TestSimBox::randomNoiseNeitherGrowsBufferNorBlocksNextCommand()
{
    // Noise rich in the bytes frames are made of, so that many candidates get deep.
    const QByteArray alphabet("IIIGGG;;\x01\x02\x03\x04\x05W3/0?>1\x00\xFF", 22);
    QRandomGenerator random(20240611);
    SwitchBox box;
    SerialSession session(box);
    for (int round = 0; round < 2000; ++round) {
        QByteArray chunk(static_cast<int>(random.bounded(40)), '\0');
        for (char &b : chunk)
            b = alphabet.at(static_cast<int>(random.bounded(alphabet.size())));
        session.receive(chunk);
        QVERIFY(session.parser().pendingBytes() < SerialCommandParser::MaxCommandLength);
    }
    QVERIFY(session.parser().malformedCount() > 0);
    const QByteArray reply = feedAll(session, StateRequest);
    QVERIFY(reply.size() >= SwitchBox::SerialReplyLength);
    QCOMPARE(reply.right(SwitchBox::SerialReplyLength), box.statusReply());
}

void TestSimBox::lanDatagramAppliesAndReplies_data()
{
    QTest::addColumn<QByteArrayList>("datagrams");
    QTest::addColumn<QByteArray>("lastReply");
    QTest::addColumn<int>("malformed");
    QTest::addColumn<BoxState>("state");

    const QByteArray request = hex("FE 01 FD");
    QTest::newRow("state request of a fresh box")
        << QByteArrayList{request} << QByteArray("F.F.0.0.F.F.0.0.0.0.FF") << 0 << BoxState{};
    QTest::newRow("select Ant 1 on channel 1")
        << QByteArrayList{hex("FE 02 00 FD"), request} << QByteArray("0.F.0.0.F.F.0.0.0.0.FF") << 0 << boxState(0, 15);
    QTest::newRow("select Ant 4 on channel 2")
        << QByteArrayList{hex("FE 03 03 FD"), request} << QByteArray("F.3.0.0.F.F.0.0.0.0.FF") << 0 << boxState(15, 3);
    QTest::newRow("release channel 2") << QByteArrayList{hex("FE 03 03 FD"), hex("FE 03 0F FD"), request}
                                       << QByteArray("F.F.0.0.F.F.0.0.0.0.FF") << 0 << BoxState{};
    QTest::newRow("split on channel 1") << QByteArrayList{hex("FE 04 01 01 04 FD"), request}
                                        << QByteArray("4.F.1.0.1.F.0.0.0.0.FF") << 0 << boxState(4, 15, 1, 0, 1);
    QTest::newRow("split off channel 2") << QByteArrayList{hex("FE 05 01 02 03 FD"), hex("FE 05 00 00 00 FD"), request}
                                         << QByteArray("F.3.0.0.F.2.0.0.0.0.FF") << 0 << boxState(15, 3, 0, 0, 15, 2);
    QTest::newRow("split on without RX antenna")
        << QByteArrayList{hex("FE 04 01 02 0F FD"), request} << QByteArray("F.F.1.0.2.F.0.0.0.0.FF") << 0
        << boxState(15, 15, 1, 0, 2);
    QTest::newRow("position the box does not have")
        << QByteArrayList{hex("FE 02 07 FD")} << QByteArray() << 0 << BoxState{};

    const QList<QPair<const char *, QByteArray>> malformed = {
        {"empty", QByteArray()},
        {"delimiters only", hex("FE FD")},
        {"extra byte", hex("FE 01 FD 00")},
        {"missing argument", hex("FE 02 FD")},
        {"argument too many", hex("FE 02 01 02 FD")},
        {"delimiters swapped", hex("FD 01 FE")},
        {"unknown code", hex("FE 06 00 FD")},
        {"split flag neither 0 nor 1", hex("FE 04 02 01 01 FD")},
        {"serial frame sent over UDP", StateRequest},
    };
    for (const auto &row : malformed)
        QTest::newRow(row.first) << QByteArrayList{row.second} << QByteArray() << 1 << BoxState{};
}

void TestSimBox::lanDatagramAppliesAndReplies()
{
    QFETCH(QByteArrayList, datagrams);
    QFETCH(QByteArray, lastReply);
    QFETCH(int, malformed);
    QFETCH(BoxState, state);

    SwitchBox box;
    LanSession session(box);
    QByteArray reply;
    for (const QByteArray &datagram : datagrams)
        reply = session.receive(datagram).reply;
    QCOMPARE(reply, lastReply);
    QCOMPARE(session.malformedCount(), qint64(malformed));
    QCOMPARE(box.state(), state);
}

void TestSimBox::transmittingShowsInBothReplies_data()
{
    QTest::addColumn<bool>("tx1");
    QTest::addColumn<bool>("tx2");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("none") << false << false << InitialStatus << QByteArray("F.F.0.0.F.F.0.0.0.0.FF");
    QTest::newRow("channel 1") << true << false << hex("49 47 54 0F 0F 00 00 0F 0F 01 00 00 00 3B")
                               << QByteArray("F.F.0.0.F.F.1.0.0.0.FF");
    QTest::newRow("channel 2") << false << true << hex("49 47 54 0F 0F 00 00 0F 0F 00 01 00 00 3B")
                               << QByteArray("F.F.0.0.F.F.0.1.0.0.FF");
    QTest::newRow("both") << true << true << hex("49 47 54 0F 0F 00 00 0F 0F 01 01 00 00 3B")
                          << QByteArray("F.F.0.0.F.F.1.1.0.0.FF");
}

void TestSimBox::transmittingShowsInBothReplies()
{
    QFETCH(bool, tx1);
    QFETCH(bool, tx2);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, text);

    SwitchBox box;
    // Switched on and back off first, so "off" is shown to undo "on".
    box.setTransmitting(1, true);
    box.setTransmitting(2, true);
    box.setTransmitting(1, tx1);
    box.setTransmitting(2, tx2);
    SerialSession serial(box);
    LanSession lan(box);
    QCOMPARE(feedAll(serial, StateRequest), status);
    QCOMPARE(lan.receive(hex("FE 01 FD")).reply, text);
}

void TestSimBox::firmwareRevisionIsReportedAsBinaryBytes()
{
    SwitchBox box;
    box.setFirmware(2, 13);
    SerialSession session(box);
    QCOMPARE(feedAll(session, FirmwareRequest), hex("49 47 57 02 0D 00 00 00 00 00 00 00 00 3B"));
}

void TestSimBox::exclusiveRuleRefusesHeldAntennas_data()
{
    QTest::addColumn<bool>("exclusive");
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<BoxState>("state");

    const QByteArray ch2OnAnt4 = hex("FE 03 03 FD");
    QTest::newRow("off: antennas may be shared")
        << false << QByteArrayList{ch2OnAnt4} << hex("FE 02 03 FD") << Outcome::Applied << boxState(3, 3);
    QTest::newRow("antenna of the other channel")
        << true << QByteArrayList{ch2OnAnt4} << hex("FE 02 03 FD") << Outcome::Refused << boxState(15, 3);
    QTest::newRow("free antenna") << true << QByteArrayList{ch2OnAnt4} << hex("FE 02 02 FD") << Outcome::Applied
                                  << boxState(2, 3);
    QTest::newRow("release") << true << QByteArrayList{ch2OnAnt4, hex("FE 02 02 FD")} << hex("FE 02 0F FD")
                             << Outcome::Applied << boxState(15, 3);
    QTest::newRow("TX antenna of the other channel's split")
        << true << QByteArrayList{hex("FE 05 01 05 03 FD")} << hex("FE 02 05 FD") << Outcome::Refused
        << boxState(15, 3, 0, 1, 15, 5);
    QTest::newRow("split RX held by the other channel")
        << true << QByteArrayList{ch2OnAnt4} << hex("FE 04 01 01 03 FD") << Outcome::Refused << boxState(15, 3);
    QTest::newRow("selection moving a split TX onto a held antenna")
        << true << QByteArrayList{ch2OnAnt4, hex("FE 04 01 01 00 FD")} << hex("FE 02 03 FD") << Outcome::Refused
        << boxState(0, 3, 1, 0, 1);
}

void TestSimBox::exclusiveRuleRefusesHeldAntennas()
{
    QFETCH(bool, exclusive);
    QFETCH(QByteArrayList, setup);
    QFETCH(QByteArray, datagram);
    QFETCH(Outcome, outcome);
    QFETCH(BoxState, state);

    SwitchBox box;
    box.setExclusive(exclusive);
    LanSession session(box);
    for (const QByteArray &d : setup)
        QCOMPARE(session.receive(d).outcome, Outcome::Applied);
    QCOMPARE(session.receive(datagram).outcome, outcome);
    QCOMPARE(box.state(), state);
}

void TestSimBox::replyPolicyDropsTheRequestedShare_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("minAllowed");
    QTest::addColumn<int>("maxAllowed");

    QTest::newRow("no loss") << 0 << false << 1000 << 1000;
    QTest::newRow("all lost") << 100 << false << 0 << 0;
    QTest::newRow("a quarter lost") << 25 << false << 680 << 820;
    QTest::newRow("silent") << 0 << true << 0 << 0;
    QTest::newRow("above 100 clamps") << 250 << false << 0 << 0;
}

void TestSimBox::replyPolicyDropsTheRequestedShare()
{
    QFETCH(int, percent);
    QFETCH(bool, silent);
    QFETCH(int, minAllowed);
    QFETCH(int, maxAllowed);

    ReplyPolicy policy(7);
    ReplyPolicy same(7);
    policy.setDropPercent(percent);
    same.setDropPercent(percent);
    policy.setSilent(silent);
    same.setSilent(silent);
    int allowed = 0;
    for (int i = 0; i < 1000; ++i) {
        const bool sent = policy.allowReply();
        QCOMPARE(same.allowReply(), sent); // one seed, one sequence
        allowed += sent ? 1 : 0;
    }
    QVERIFY2(allowed >= minAllowed && allowed <= maxAllowed, qPrintable(QString::number(allowed)));
}

void TestSimBox::replyPiecesCoverTheWholeReply()
{
    ReplyPolicy policy(3);
    QSet<int> counts;
    for (int length = 2; length <= 28; ++length) {
        for (int round = 0; round < 20; ++round) {
            const QVector<int> sizes = policy.pieceSizes(length);
            QVERIFY(sizes.size() == 2 || sizes.size() == 3);
            counts.insert(sizes.size());
            int sum = 0;
            for (int s : sizes) {
                QVERIFY(s >= 1);
                sum += s;
            }
            QCOMPARE(sum, length);
        }
    }
    QCOMPARE(counts.size(), 2);
}

void TestSimBox::controlLineIsParsed_data()
{
    using Kind = ControlCommand::Kind;
    QTest::addColumn<QString>("line");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("channel");
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("value");

    QTest::newRow("tx 1 on") << QStringLiteral("tx 1 on") << Kind::Transmit << 1 << true << 0;
    QTest::newRow("tx 2 off, extra blanks") << QStringLiteral("  tx\t2   off ") << Kind::Transmit << 2 << false << 0;
    QTest::newRow("tx on channel 3") << QStringLiteral("tx 3 on") << Kind::Invalid << 0 << false << 0;
    QTest::newRow("tx without switch") << QStringLiteral("tx 1") << Kind::Invalid << 0 << false << 0;
    QTest::newRow("select 1 5") << QStringLiteral("select 1 5") << Kind::Select << 1 << false << 5;
    QTest::newRow("select 2 0, none") << QStringLiteral("select 2 0") << Kind::Select << 2 << false << 0;
    QTest::newRow("select Ant 7") << QStringLiteral("select 1 7") << Kind::Invalid << 0 << false << 0;
    QTest::newRow("silent on") << QStringLiteral("silent on") << Kind::Silent << 0 << true << 0;
    QTest::newRow("silent maybe") << QStringLiteral("silent maybe") << Kind::Invalid << 0 << false << 0;
    QTest::newRow("drop 25") << QStringLiteral("drop 25") << Kind::Drop << 0 << false << 25;
    QTest::newRow("drop 101") << QStringLiteral("drop 101") << Kind::Invalid << 0 << false << 0;
    QTest::newRow("drop -1") << QStringLiteral("drop -1") << Kind::Invalid << 0 << false << 0;
    QTest::newRow("noise 16") << QStringLiteral("noise 16") << Kind::Noise << 0 << false << 16;
    QTest::newRow("noise 0") << QStringLiteral("noise 0") << Kind::Invalid << 0 << false << 0;
    QTest::newRow("noise too much") << QStringLiteral("noise 9999999") << Kind::Invalid << 0 << false << 0;
    QTest::newRow("state") << QStringLiteral("state") << Kind::State << 0 << false << 0;
    QTest::newRow("quit") << QStringLiteral("quit") << Kind::Quit << 0 << false << 0;
    QTest::newRow("quit with argument") << QStringLiteral("quit now") << Kind::Invalid << 0 << false << 0;
    QTest::newRow("blank") << QStringLiteral("   ") << Kind::Empty << 0 << false << 0;
    QTest::newRow("unknown") << QStringLiteral("dance") << Kind::Invalid << 0 << false << 0;
}

void TestSimBox::controlLineIsParsed()
{
    QFETCH(QString, line);
    QFETCH(ControlCommand::Kind, kind);
    QFETCH(int, channel);
    QFETCH(bool, on);
    QFETCH(int, value);

    const ControlCommand command = parseControlLine(line);
    QCOMPARE(command.kind, kind);
    if (kind == ControlCommand::Kind::Invalid) {
        QVERIFY(!command.error.isEmpty());
        return;
    }
    QCOMPARE(command.channel, channel);
    QCOMPARE(command.on, on);
    QCOMPARE(command.value, value);
}

QTEST_APPLESS_MAIN(TestSimBox)
#include "tst_simbox.moc"

#include "engine/protocol.h"
#include "engine/switching.h"

#include <QtTest>

using namespace Switching;

namespace {
DeviceState stateWith(int antenna1, int antenna2 = 15)
{
    DeviceState state;
    state.antenna[1] = quint8(antenna1);
    state.antenna[2] = quint8(antenna2);
    return state;
}
} // namespace

class tst_Switching : public QObject
{
    Q_OBJECT

private slots:
    void antennaPressSerial_data();
    void antennaPressSerial();
    void antennaPressOnLanLeavesStateToTheBox();
    void splitConfigurationSerial();
    void splitConfigurationLan();
    void splitWithoutTwoAntennasIsCancelled_data();
    void splitWithoutTwoAntennasIsCancelled();
    void splitStateMachine_data();
    void splitStateMachine();
    void droppedSplitCommandChangesNothing_data();
    void droppedSplitCommandChangesNothing();
    void droppedDeliveryLeavesOtherPressesAlone_data();
    void droppedDeliveryLeavesOtherPressesAlone();
    void receiveOnlyIsNeverTransmittedOn_data();
    void receiveOnlyIsNeverTransmittedOn();
};

void tst_Switching::antennaPressSerial_data()
{
    QTest::addColumn<int>("antenna");
    QTest::addColumn<int>("splitActive");
    QTest::addColumn<int>("splitTx");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("element");
    QTest::addColumn<int>("newAntenna");
    QTest::addColumn<int>("newSplitTx");
    QTest::addColumn<int>("newSplitActive");
    QTest::addColumn<bool>("repaint");

    QTest::newRow("select Ant 5 on channel 1") << 2 << 0 << 0 << 1 << 4 << 0x0401 << 4 << 0 << 0 << true;
    QTest::newRow("release channel 2") << 3 << 0 << 0 << 2 << 15 << 0x0F02 << 15 << 0 << 0 << true;
    QTest::newRow("press the split's RX switches it off") << 1 << 1 << 3 << 1 << 1 << 0x0003 << 1 << 3 << 1 << false;
    QTest::newRow("press another moves the split's TX") << 1 << 1 << 3 << 1 << 5 << 0x0501 << 1 << 5 << 1 << true;
    QTest::newRow("release during split moves TX") << 1 << 1 << 3 << 1 << 15 << 0x0F01 << 1 << 15 << 1 << true;
    QTest::newRow("odd split flag moves TX, no switch-off") << 1 << 2 << 3 << 1 << 1 << 0x0101 << 1 << 1 << 2 << true;
}

void tst_Switching::antennaPressSerial()
{
    QFETCH(int, antenna);
    QFETCH(int, splitActive);
    QFETCH(int, splitTx);
    QFETCH(int, channel);
    QFETCH(int, position);
    QFETCH(int, element);
    QFETCH(int, newAntenna);
    QFETCH(int, newSplitTx);
    QFETCH(int, newSplitActive);
    QFETCH(bool, repaint);

    DeviceState state;
    state.antenna[channel] = quint8(antenna);
    state.splitActive[channel] = quint8(splitActive);
    state.splitTxAntenna[channel] = quint8(splitTx);
    const Outcome out = pressPosition(state, LinkMode::Serial, quint8(position), quint8(channel));
    QVERIFY(out.send);
    QCOMPARE(int(quint16(out.command.queueElement())), element);
    QCOMPARE(int(state.antenna[channel]), newAntenna);
    QCOMPARE(int(state.splitTxAntenna[channel]), newSplitTx);
    QCOMPARE(int(state.splitActive[channel]), newSplitActive);
    QCOMPARE(int(state.ignoreNextStatus), 1);
    QCOMPARE(out.repaint, repaint);
    QCOMPARE(out.message, Message::None);
}

void tst_Switching::antennaPressOnLanLeavesStateToTheBox()
{
    DeviceState state = stateWith(2);
    const DeviceState before = state;
    const Outcome out = pressPosition(state, LinkMode::Lan, 4, 1);
    QVERIFY(out.send);
    QCOMPARE(out.command.lanFrame().toHex(), QByteArray("fe0204fd"));
    QCOMPARE(int(state.antenna[1]), int(before.antenna[1]));
    QVERIFY(out.repaint);
}

void tst_Switching::splitConfigurationSerial()
{
    DeviceState state = stateWith(1);
    Outcome out = pressSplit(state, 1);
    QCOMPARE(out.message, Message::ChooseTxPosition);
    QCOMPARE(out.blink, Blink::Start);
    QVERIFY(out.highlightSplit1);
    QVERIFY(!out.send);

    out = pressPosition(state, LinkMode::Serial, 3, 1);
    QVERIFY(out.send);
    QCOMPARE(int(quint16(out.command.queueElement())), 0x4203);
    QCOMPARE(out.command.lanFrame().toHex(), QByteArray("fe04010301fd"));
    QCOMPARE(out.message, Message::SplitConfigured);
    QCOMPARE(out.blink, Blink::Stop);
    QVERIFY(!out.repaint);
    QCOMPARE(int(state.splitActive[1]), 1);
    QCOMPARE(int(state.splitSetupActive), 0);

    out = pressSplit(state, 1);
    QCOMPARE(out.message, Message::Split1Disabled);
    QCOMPARE(int(quint16(out.command.queueElement())), 0x0003);
    QCOMPARE(int(state.splitActive[1]), 0);
}

void tst_Switching::splitConfigurationLan()
{
    DeviceState state = stateWith(0, 0);
    pressSplit(state, 2);
    const Outcome out = pressPosition(state, LinkMode::Lan, 5, 2);
    QCOMPARE(out.command.lanFrame().toHex(), QByteArray("fe05010500fd"));
    QCOMPARE(int(state.splitActive[2]), 0); // the box's next status shows it
    QCOMPARE(out.message, Message::SplitConfigured);
}

void tst_Switching::splitWithoutTwoAntennasIsCancelled_data()
{
    QTest::addColumn<int>("rx");
    QTest::addColumn<int>("tx");
    QTest::addColumn<int>("mode");
    QTest::newRow("release as TX, serial") << 2 << 15 << int(LinkMode::Serial);
    QTest::newRow("release as TX, lan") << 2 << 15 << int(LinkMode::Lan);
    QTest::newRow("no RX antenna, serial") << 15 << 3 << int(LinkMode::Serial);
    QTest::newRow("RX out of range, serial") << 10 << 3 << int(LinkMode::Serial);
}

void tst_Switching::splitWithoutTwoAntennasIsCancelled()
{
    QFETCH(int, rx);
    QFETCH(int, tx);
    QFETCH(int, mode);
    DeviceState state = stateWith(rx);
    pressSplit(state, 1);
    const Outcome out = pressPosition(state, LinkMode(mode), quint8(tx), 1);
    QVERIFY(!out.send);
    QCOMPARE(out.message, Message::SplitCancelled);
    QCOMPARE(out.blink, Blink::Stop);
    QCOMPARE(int(state.splitActive[1]), 0);
    QCOMPARE(int(state.splitSetupActive), 0);
    QCOMPARE(int(state.ignoreNextStatus), 1);
}

// Each row: the split state before, one press, and what follows.
void tst_Switching::splitStateMachine_data()
{
    QTest::addColumn<int>("setupChannel"); // 0 = idle
    QTest::addColumn<int>("split1");
    QTest::addColumn<int>("split2");
    QTest::addColumn<QString>("press"); // "split1", "split2", "ant1", "ant2"
    QTest::addColumn<int>("nextSetupChannel");
    QTest::addColumn<int>("message");
    QTest::addColumn<bool>("sends");

    QTest::newRow("idle: split 1 starts choosing")
        << 0 << 0 << 0 << "split1" << 1 << int(Message::ChooseTxPosition) << false;
    QTest::newRow("idle: split 2 with split active: off")
        << 0 << 0 << 1 << "split2" << 0 << int(Message::Split2Disabled) << true;
    QTest::newRow("choosing 1: antenna of channel 1 configures")
        << 1 << 0 << 0 << "ant1" << 0 << int(Message::SplitConfigured) << true;
    QTest::newRow("choosing 1: antenna of channel 2 ignored")
        << 1 << 0 << 0 << "ant2" << 1 << int(Message::None) << false;
    QTest::newRow("choosing 1: split 1 cancels")
        << 1 << 0 << 0 << "split1" << 0 << int(Message::SplitCancelled) << false;
    QTest::newRow("choosing 1: split 2, none active: nothing")
        << 1 << 0 << 0 << "split2" << 1 << int(Message::None) << false;
    QTest::newRow("choosing 1: split 2 active: its split off")
        << 1 << 0 << 1 << "split2" << 0 << int(Message::Split2Disabled) << true;
    QTest::newRow("choosing 2: split 2 cancels")
        << 2 << 0 << 0 << "split2" << 0 << int(Message::SplitCancelled) << false;
}

void tst_Switching::splitStateMachine()
{
    QFETCH(int, setupChannel);
    QFETCH(int, split1);
    QFETCH(int, split2);
    QFETCH(QString, press);
    QFETCH(int, nextSetupChannel);
    QFETCH(int, message);
    QFETCH(bool, sends);

    DeviceState state = stateWith(1, 2);
    state.splitActive[1] = quint8(split1);
    state.splitActive[2] = quint8(split2);
    if (setupChannel != 0) {
        state.splitSetupActive = 1;
        state.splitSetupChannel = quint8(setupChannel);
    }
    Outcome out;
    if (press.startsWith(QLatin1String("split")))
        out = pressSplit(state, press.endsWith(QLatin1Char('1')) ? 1 : 2);
    else
        out = pressPosition(state, LinkMode::Serial, 4, press.endsWith(QLatin1Char('1')) ? 1 : 2);

    QCOMPARE(int(state.splitSetupActive), nextSetupChannel != 0 ? 1 : 0);
    if (nextSetupChannel != 0)
        QCOMPARE(int(state.splitSetupChannel), nextSetupChannel);
    QCOMPARE(int(out.message), message);
    QCOMPARE(out.send, sends);
}

namespace {
// The state before a press: antenna 2 on channel 1 and antenna 3 on channel 2, the splits
// as given, and the operator choosing a TX position on `setupChannel` (0: not choosing).
DeviceState splitState(int setupChannel, int split1, int split2)
{
    DeviceState state = stateWith(1, 2);
    state.splitActive[1] = quint8(split1);
    state.splitActive[2] = quint8(split2);
    state.splitTxAntenna[1] = 4;
    state.splitTxAntenna[2] = 5;
    if (setupChannel != 0) {
        state.splitSetupActive = 1;
        state.splitSetupChannel = quint8(setupChannel);
    }
    return state;
}

// "split1", "split2", "ant1", "ant2" (Ant 5) or "release1", "release2" on the LAN.
Outcome press(DeviceState &state, const QString &what, Delivery delivery)
{
    const quint8 channel = what.endsWith(QLatin1Char('1')) ? 1 : 2;
    if (what.startsWith(QLatin1String("split")))
        return pressSplit(state, channel, delivery);
    const quint8 position = what.startsWith(QLatin1String("release")) ? AntennaPosition::None : 4;
    return pressPosition(state, LinkMode::Lan, position, channel, delivery);
}
} // namespace

// Each row: a split press whose command the LAN would drop, and the success it would
// report if the command left.
void tst_Switching::droppedSplitCommandChangesNothing_data()
{
    QTest::addColumn<int>("setupChannel");
    QTest::addColumn<int>("split1");
    QTest::addColumn<int>("split2");
    QTest::addColumn<QString>("press");
    QTest::addColumn<int>("messageWhenSent");

    QTest::newRow("choosing 1: TX antenna configures") << 1 << 0 << 0 << "ant1" << int(Message::SplitConfigured);
    QTest::newRow("choosing 2: TX antenna configures") << 2 << 0 << 0 << "ant2" << int(Message::SplitConfigured);
    QTest::newRow("split 1 active: SPLIT 1 switches it off") << 0 << 1 << 0 << "split1" << int(Message::Split1Disabled);
    QTest::newRow("split 2 active: SPLIT 2 switches it off") << 0 << 0 << 1 << "split2" << int(Message::Split2Disabled);
    QTest::newRow("choosing 1, split 2 active: SPLIT 2") << 1 << 0 << 1 << "split2" << int(Message::Split2Disabled);
    QTest::newRow("choosing 2, split 1 active: SPLIT 1") << 2 << 1 << 0 << "split1" << int(Message::Split1Disabled);
}

void tst_Switching::droppedSplitCommandChangesNothing()
{
    QFETCH(int, setupChannel);
    QFETCH(int, split1);
    QFETCH(int, split2);
    QFETCH(QString, press);
    QFETCH(int, messageWhenSent);

    // The same press with the command leaving, so that the row is known to be a success.
    DeviceState sentState = splitState(setupChannel, split1, split2);
    const Outcome sent = ::press(sentState, press, Delivery::Sent);
    QVERIFY(sent.send);
    QCOMPARE(int(sent.message), messageWhenSent);

    const DeviceState before = splitState(setupChannel, split1, split2);
    DeviceState state = before;
    const Outcome out = ::press(state, press, Delivery::Dropped);
    QCOMPARE(out.message, Message::LanNotConnected);
    QVERIFY(!out.send);
    QCOMPARE(out.blink, Blink::Keep); // a split being chosen keeps blinking
    QVERIFY(!out.repaint);
    QVERIFY(!out.highlightSplit1);
    QVERIFY(!out.neutralSplit2);

    // Nothing changed but the discarded-status mark, which every antenna press sets.
    DeviceState expected = before;
    expected.ignoreNextStatus = press.startsWith(QLatin1String("ant")) ? 1 : 0;
    QVERIFY(state == expected);
    QCOMPARE(int(state.splitSetupActive), setupChannel != 0 ? 1 : 0);
    QCOMPARE(int(state.splitActive[1]), split1);
    QCOMPARE(int(state.splitActive[2]), split2);
}

// Each row: a press whose outcome does not depend on whether the command leaves.
void tst_Switching::droppedDeliveryLeavesOtherPressesAlone_data()
{
    QTest::addColumn<int>("setupChannel");
    QTest::addColumn<int>("split1");
    QTest::addColumn<QString>("press");

    QTest::newRow("idle: antenna on channel 1") << 0 << 0 << "ant1";
    QTest::newRow("idle: antenna on channel 2") << 0 << 0 << "ant2";
    QTest::newRow("idle: RELEASE 1") << 0 << 0 << "release1";
    QTest::newRow("idle: RELEASE 2") << 0 << 0 << "release2";
    QTest::newRow("split 1 active: antenna moves TX") << 0 << 1 << "ant1";
    QTest::newRow("idle: SPLIT 1 starts choosing") << 0 << 0 << "split1";
    QTest::newRow("choosing 1: SPLIT 1 cancels") << 1 << 0 << "split1";
    QTest::newRow("choosing 1: RELEASE as TX cancels") << 1 << 0 << "release1";
    QTest::newRow("choosing 1: antenna of channel 2 ignored") << 1 << 0 << "ant2";
}

void tst_Switching::droppedDeliveryLeavesOtherPressesAlone()
{
    QFETCH(int, setupChannel);
    QFETCH(int, split1);
    QFETCH(QString, press);

    DeviceState sentState = splitState(setupChannel, split1, 0);
    DeviceState droppedState = sentState;
    const Outcome sent = ::press(sentState, press, Delivery::Sent);
    const Outcome dropped = ::press(droppedState, press, Delivery::Dropped);

    QVERIFY(dropped.message != Message::LanNotConnected);
    QCOMPARE(dropped.message, sent.message);
    QCOMPARE(dropped.send, sent.send);
    if (sent.send)
        QCOMPARE(dropped.command.lanFrame().toHex(), sent.command.lanFrame().toHex());
    QCOMPARE(dropped.blink, sent.blink);
    QCOMPARE(dropped.repaint, sent.repaint);
    QCOMPARE(dropped.highlightSplit1, sent.highlightSplit1);
    QVERIFY(droppedState == sentState);
}

// Ant 5 (position 4) is receive-only. Rows: channel 1's antenna and split (TX antenna, 0
// for none) as the box has them, presses on channel 1 ("a<n>" Ant n, "r" RELEASE, "s"
// SPLIT, "esc" Escape), and what each press does: the command sent ("sel n", "split tx/rx", "off"), or
// the receive-only message ("offer", "not tx", "stays on") or "-".
void tst_Switching::receiveOnlyIsNeverTransmittedOn_data()
{
    QTest::addColumn<int>("antenna");
    QTest::addColumn<int>("splitTx");
    QTest::addColumn<QString>("presses");
    QTest::addColumn<QString>("outcomes");
    QTest::newRow("others select as ever") << 1 << 0 << "a2 r"
                                           << "sel 2, sel 0";
    QTest::newRow("alone it offers a split, then the TX") << 1 << 0 << "a5 a2"
                                                          << "offer, split 2/5";
    QTest::newRow("the offer never takes it as TX") << 1 << 0 << "a5 a5 a3"
                                                    << "offer, not tx, split 3/5";
    QTest::newRow("SPLIT cancels the offer, nothing sent") << 1 << 0 << "a5 s a2"
                                                           << "offer, -, sel 2";
    QTest::newRow("RELEASE as TX cancels") << 1 << 0 << "a5 r"
                                           << "offer, -";
    QTest::newRow("not as a split's TX") << 1 << 0 << "s a5 a3"
                                         << "-, not tx, split 3/1";
    QTest::newRow("a split's TX is not moved onto it") << 1 << 2 << "a5"
                                                       << "offer";
    QTest::newRow("a split receiving on it stays on") << 5 << 2 << "s a5 a3"
                                                      << "stays on, stays on, sel 3";
    QTest::newRow("other splits switch off as ever") << 1 << 2 << "a1"
                                                     << "off";
    QTest::newRow("offered with a split on, SPLIT cancels") << 1 << 2 << "a5 s a3"
                                                            << "offer, -, sel 3";
    QTest::newRow("Escape cancels the offer") << 1 << 0 << "a5 esc a2"
                                              << "offer, -, sel 2";
    // The serial link discards the status after a command: the split just sent is not in
    // the state yet, and still its receive antenna counts.
    QTest::newRow("a split just sent stays on") << 1 << 0 << "a5 a2 s"
                                                << "offer, split 2/5, stays on";
}

void tst_Switching::receiveOnlyIsNeverTransmittedOn()
{
    QFETCH(int, antenna);
    QFETCH(int, splitTx);
    QFETCH(QString, presses);
    QFETCH(QString, outcomes);
    ReceiveOnly receiveOnly{};
    receiveOnly[4] = true;
    DeviceState state = stateWith(antenna - 1);
    state.splitActive[1] = splitTx != 0 ? 1 : 0;
    state.splitTxAntenna[1] = quint8(splitTx - 1);
    QStringList seen;
    for (const QString &press : presses.split(' ')) {
        const Outcome out = press == "s" ? pressSplit(state, 1, Delivery::Sent, receiveOnly)
            : press == "esc"
            ? cancelSplitChoice(state)
            : pressPosition(state, LinkMode::Serial, quint8(press == "r" ? 15 : press.mid(1).toInt() - 1), 1,
                            Delivery::Sent, receiveOnly);
        if (out.send && out.command.kind == Command::Kind::Select)
            seen << QStringLiteral("sel %1").arg((out.command.position + 1) % 16);
        else if (out.send && out.command.kind == Command::Kind::SplitOn)
            seen << QStringLiteral("split %1/%2").arg(out.command.position + 1).arg(out.command.rx + 1);
        else if (out.send)
            seen << "off";
        else if (out.message == Message::ReceiveOnlySplitOffered)
            seen << "offer";
        else if (out.message == Message::ReceiveOnlyNotForTx)
            seen << "not tx";
        else if (out.message == Message::ReceiveOnlySplitStaysOn)
            seen << "stays on";
        else
            seen << "-";
        if (out.message >= Message::ReceiveOnlySplitOffered)
            QCOMPARE(int(out.refused), 4);
    }
    QCOMPARE(seen.join(", "), outcomes);
}

QTEST_GUILESS_MAIN(tst_Switching)
#include "tst_switching.moc"

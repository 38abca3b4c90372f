#include "app/anchormath.h"
#include "app/panellook.h"

#include <QtTest>

using PanelLook::Look;

Q_DECLARE_METATYPE(PanelLook::Look)

namespace {
// A compact picture of one channel's row: one letter per antenna button
// (n neutral, H held/white, O orange-bordered), then SPLIT and SEND.
QString row(const PanelLook::Looks &looks, int channel)
{
    auto letter = [](Look look) {
        switch (look) {
        case Look::Neutral:
            return QLatin1Char('n');
        case Look::Held:
            return QLatin1Char('H');
        case Look::Highlight:
            return QLatin1Char('O');
        case Look::Red:
            return QLatin1Char('R');
        case Look::Green:
            return QLatin1Char('G');
        case Look::Alarm:
            return QLatin1Char('A');
        case Look::Keep:
            break;
        }
        return QLatin1Char('-');
    };
    QString text;
    for (int a = 0; a < 6; ++a)
        text += letter(looks.antenna[channel][a]);
    text += QLatin1Char(' ');
    text += letter(looks.split[channel]);
    text += letter(looks.send[channel]);
    return text;
}
} // namespace

class tst_PanelLook : public QObject
{
    Q_OBJECT

private slots:
    void forState_data();
    void forState();
    void clearedLeavesBlinkingSplitAlone();
    void blinkAlternates();
    void styleTexts();
    void anchorPlacement_data();
    void anchorPlacement();
    void textBaseSize_data();
    void textBaseSize();
};

void tst_PanelLook::forState_data()
{
    QTest::addColumn<QList<int>>("state"); // ant1, ant2, split1, split2, tx1, tx2, trans1, trans2, setup
    QTest::addColumn<QString>("row1");
    QTest::addColumn<QString>("row2");

    QTest::newRow("ch1 on Ant 3") << QList<int>{2, 15, 0, 0, 0, 0, 0, 0, 0} << "nnHnnn nn"
                                  << "nnnnnn nn";
    QTest::newRow("ch1 none") << QList<int>{15, 15, 0, 0, 0, 0, 0, 0, 0} << "nnnnnn nn"
                              << "nnnnnn nn";
    QTest::newRow("ch2 split rx 1 tx 4") << QList<int>{15, 0, 0, 1, 0, 3, 0, 0, 0} << "nnnnnn nn"
                                         << "OnnHnn Rn";
    QTest::newRow("ch2 split transmitting swaps") << QList<int>{15, 0, 0, 1, 0, 3, 0, 1, 0} << "nnnnnn nn"
                                                  << "HnnOnn RR";
    QTest::newRow("split rx equals tx: white") << QList<int>{4, 15, 1, 0, 4, 0, 0, 0, 0} << "nnnnHn Rn"
                                               << "nnnnnn nn";
    QTest::newRow("both hold the same antenna") << QList<int>{1, 1, 0, 0, 0, 0, 0, 0, 0} << "nHnnnn nn"
                                                << "nHnnnn nn";
    QTest::newRow("transmitting without split") << QList<int>{0, 5, 0, 0, 0, 0, 1, 1, 0} << "Hnnnnn nR"
                                                << "nnnnnH nR";
    QTest::newRow("flag values other than 1 are off") << QList<int>{0, 5, 2, 0, 3, 0, 2, 0, 0} << "Hnnnnn nn"
                                                      << "nnnnnH nn";
    QTest::newRow("during setup SPLIT left alone") << QList<int>{0, 5, 0, 0, 0, 0, 0, 0, 1} << "Hnnnnn -n"
                                                   << "nnnnnH -n";
    QTest::newRow("during setup active split red") << QList<int>{0, 5, 1, 0, 2, 0, 0, 0, 1} << "OnHnnn Rn"
                                                   << "nnnnnH -n";
    QTest::newRow("out-of-range antennas paint nothing") << QList<int>{10, 200, 1, 0, 99, 0, 0, 0, 0} << "nnnnnn Rn"
                                                         << "nnnnnn nn";
}

void tst_PanelLook::forState()
{
    QFETCH(QList<int>, state);
    QFETCH(QString, row1);
    QFETCH(QString, row2);
    DeviceState s;
    s.antenna[1] = quint8(state[0]);
    s.antenna[2] = quint8(state[1]);
    s.splitActive[1] = quint8(state[2]);
    s.splitActive[2] = quint8(state[3]);
    s.splitTxAntenna[1] = quint8(state[4]);
    s.splitTxAntenna[2] = quint8(state[5]);
    s.transmitting[1] = quint8(state[6]);
    s.transmitting[2] = quint8(state[7]);
    s.splitSetupActive = quint8(state[8]);
    const PanelLook::Looks looks = PanelLook::forState(s);
    QCOMPARE(row(looks, 1), row1);
    QCOMPARE(row(looks, 2), row2);
}

void tst_PanelLook::clearedLeavesBlinkingSplitAlone()
{
    DeviceState s;
    s.antenna[1] = 2;
    s.splitActive[1] = 1;
    s.transmitting[1] = 1;
    QCOMPARE(row(PanelLook::cleared(s), 1), QStringLiteral("nnnnnn nn"));
    s.splitSetupActive = 1;
    QCOMPARE(row(PanelLook::cleared(s), 1), QStringLiteral("nnnnnn -n"));
}

void tst_PanelLook::blinkAlternates()
{
    DeviceState s;
    QCOMPARE(PanelLook::blink(s).channel, 0);
    s.splitSetupActive = 1;
    s.splitSetupChannel = 2;
    QList<Look> seen;
    for (int i = 0; i < 4; ++i) {
        const PanelLook::BlinkStep step = PanelLook::blink(s);
        QCOMPARE(step.channel, 2);
        seen << step.look;
    }
    QCOMPARE(seen, (QList<Look>{Look::Highlight, Look::Neutral, Look::Highlight, Look::Neutral}));
    s.splitSetupActive = 0;
    QCOMPARE(PanelLook::blink(s).channel, 0);
    QCOMPARE(int(s.blinkPhase), 0);
}

// Each look is a rule for the button alone, so that it never reaches the button's tooltip
// (tst_mainwindow shows the tooltips in the theme's colours on buttons of every look).
void tst_PanelLook::styleTexts()
{
    for (Look look : {Look::Neutral, Look::Held, Look::Highlight, Look::Red, Look::Green, Look::Alarm}) {
        const QString sheet = PanelLook::styleSheet(look);
        QVERIFY2(sheet.startsWith(QLatin1String("QPushButton {")) && sheet.endsWith(QLatin1Char('}'))
                     && sheet.count(QLatin1Char('{')) == 1,
                 qPrintable(sheet));
    }
    QVERIFY(PanelLook::styleSheet(Look::Highlight).contains(QLatin1String("font-size: 12px;")));
    QVERIFY(PanelLook::styleSheet(Look::Keep).isEmpty());
}

void tst_PanelLook::anchorPlacement_data()
{
    QTest::addColumn<QRect>("registered");
    QTest::addColumn<QSize>("now");
    QTest::addColumn<QRect>("placed");
    const QSize design(733, 298);
    QTest::newRow("design size keeps geometry") << QRect(10, 10, 51, 51) << design << QRect(10, 10, 51, 51);
    QTest::newRow("frame at design size") << QRect(160, 80, 461, 121) << design << QRect(160, 80, 461, 121);
    QTest::newRow("twice: edges scale, not width")
        << QRect(10, 10, 51, 51) << QSize(1466, 596) << QRect(QPoint(20, 20), QPoint(120, 120));
    QTest::newRow("shrink truncates toward zero")
        << QRect(10, 10, 51, 51) << QSize(500, 200) << QRect(QPoint(6, 6), QPoint(40, 40));
    QTest::newRow("widen only") << QRect(10, 70, 51, 51) << QSize(1466, 298) << QRect(QPoint(20, 70), QPoint(120, 120));
    QTest::newRow("heighten only") << QRect(10, 70, 51, 51) << QSize(733, 596)
                                   << QRect(QPoint(10, 140), QPoint(60, 240));
}

void tst_PanelLook::anchorPlacement()
{
    QFETCH(QRect, registered);
    QFETCH(QSize, now);
    QFETCH(QRect, placed);
    const QRect somewhereElse(1, 2, 3, 4);
    QCOMPARE(AnchorMath::place(registered, somewhereElse, {}, QSize(733, 298), now), placed);
}

void tst_PanelLook::textBaseSize_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("base");
    QTest::newRow("design") << 733 << 10;
    QTest::newRow("839") << 839 << 10;
    QTest::newRow("840") << 840 << 11;
    QTest::newRow("980") << 980 << 12;
    QTest::newRow("twice") << 1466 << 15;
    QTest::newRow("narrow") << 100 << 5;
}

void tst_PanelLook::textBaseSize()
{
    QFETCH(int, width);
    QFETCH(int, base);
    QCOMPARE(int(AnchorMath::textBaseSize(width)), base);
}

QTEST_GUILESS_MAIN(tst_PanelLook)
#include "tst_panellook.moc"

// The follow decision of one radio, as scripts of readings and what the box reports.

#include "rig/bandfollow.h"

#include <QtTest>

namespace {
// 80 m: Ant 1, 40 m: Ant 5, 20 m: Ant 3; every other band: none.
std::array<int, BandPlan::BandCount> antennaTable()
{
    std::array<int, BandPlan::BandCount> table{};
    table[1] = 1;
    table[3] = 5;
    table[5] = 3;
    return table;
}
} // namespace

class tst_BandFollow : public QObject
{
    Q_OBJECT

private slots:
    void scriptGivesSwitches_data();
    void scriptGivesSwitches();
};

void tst_BandFollow::scriptGivesSwitches_data()
{
    // Events: a frequency in kHz (a reading, decided at once), "press" (the operator's
    // choice), "tx"/"rx", "split"/"nosplit", "choose"/"chosen", "ant N" (the box reports
    // Ant N). Each reading gives one word: "-" nothing, "wait", "paused", or "N m>Ant K";
    // a switch is taken up by the box at once.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("decisions");

    QTest::newRow("first reading counts") << "14074"
                                          << "20 m>Ant 3";
    QTest::newRow("moves within the band change nothing") << "14074 14200 14074"
                                                          << "20 m>Ant 3 - -";
    QTest::newRow("band change") << "14074 7074"
                                 << "20 m>Ant 3 40 m>Ant 5";
    QTest::newRow("already on the antenna") << "ant 3 14074"
                                            << "-";
    QTest::newRow("band without antenna") << "21074 ant 2 21100"
                                          << "- -";
    QTest::newRow("outside every band") << "ant 2 15000 145000"
                                        << "- -";
    QTest::newRow("out of band and back is no change") << "14074 ant 6 15000 14074"
                                                       << "20 m>Ant 3 - -";
    QTest::newRow("transmit holds it until the end") << "ant 1 tx 14074 14074 rx 14074"
                                                     << "wait wait 20 m>Ant 3";
    QTest::newRow("change back under transmit cancels") << "ant 3 14074 tx 7074 14074 rx 14074"
                                                        << "- wait - -";
    QTest::newRow("leaving for a bare band cancels") << "ant 3 14074 tx 7074 21074 rx 21074"
                                                     << "- wait - -";
    QTest::newRow("manual press stands") << "14074 press ant 6 14074 14100"
                                         << "20 m>Ant 3 - -";
    QTest::newRow("manual press drops a held switch") << "tx 14074 press rx 14074"
                                                      << "wait -";
    QTest::newRow("manual press stands until the next band") << "14074 press ant 6 7074"
                                                             << "20 m>Ant 3 40 m>Ant 5";
    QTest::newRow("split pauses, said once") << "split 14074 14074 nosplit 14074"
                                             << "paused wait 20 m>Ant 3";
    QTest::newRow("split pause said again for the next band") << "split 14074 7074 7074"
                                                              << "paused paused wait";
    QTest::newRow("choosing a split holds it") << "choose 14074 chosen 14074"
                                               << "wait 20 m>Ant 3";
    QTest::newRow("released channel gets the antenna") << "ant 15 3573"
                                                       << "80 m>Ant 1";
}

void tst_BandFollow::scriptGivesSwitches()
{
    QFETCH(QString, script);
    QFETCH(QString, decisions);

    BandFollow follow;
    follow.setAntennas(antennaTable());
    BandFollow::Channel channel;
    QStringList seen;
    const QStringList events = script.split(QLatin1Char(' '));
    for (int i = 0; i < events.size(); ++i) {
        const QString &event = events.at(i);
        if (event == QLatin1String("press")) {
            follow.operatorChose();
        } else if (event == QLatin1String("tx") || event == QLatin1String("rx")) {
            channel.transmitting = event == QLatin1String("tx");
        } else if (event == QLatin1String("split") || event == QLatin1String("nosplit")) {
            channel.splitActive = event == QLatin1String("split");
        } else if (event == QLatin1String("choose") || event == QLatin1String("chosen")) {
            channel.choosingSplit = event == QLatin1String("choose");
        } else if (event == QLatin1String("ant")) {
            channel.antenna = quint8(events.at(++i).toInt() - 1);
        } else {
            follow.frequencyRead(event.toLongLong() * 1000);
            const BandFollow::Decision decision = follow.decide(channel);
            switch (decision.step) {
            case BandFollow::Step::Nothing:
                seen << QStringLiteral("-");
                break;
            case BandFollow::Step::Wait:
                seen << QStringLiteral("wait");
                break;
            case BandFollow::Step::SplitPaused:
                seen << QStringLiteral("paused");
                break;
            case BandFollow::Step::Switch:
                seen << QStringLiteral("%1 m>Ant %2")
                            .arg(BandPlan::bandName(decision.bandIndex))
                            .arg(decision.position + 1);
                channel.antenna = decision.position;
                break;
            }
        }
    }
    QCOMPARE(seen.join(QLatin1Char(' ')), decisions);
}

QTEST_GUILESS_MAIN(tst_BandFollow)
#include "tst_bandfollow.moc"

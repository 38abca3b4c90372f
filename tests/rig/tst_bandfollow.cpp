// Band follow's plain logic: the band table, rigctld addresses (its replies are checked by
// fuzz_rig_reply), and the follow decision of one radio as scripts of readings and of what
// the box reports.

#include "rig/bandfollow.h"
#include "rig/rigreply.h"

#include <QtTest>

class tst_BandFollow : public QObject
{
    Q_OBJECT

private slots:
    void frequencyFallsInItsBand_data();
    void frequencyFallsInItsBand();
    void rigAddressIsParsed_data();
    void rigAddressIsParsed();
    void scriptGivesSwitches_data();
    void scriptGivesSwitches();
};

void tst_BandFollow::frequencyFallsInItsBand_data()
{
    QTest::addColumn<qint64>("hz");
    QTest::addColumn<QString>("band"); // empty: outside every band
    QTest::newRow("160 low edge") << qint64(1'800'000) << "160";
    QTest::newRow("160 high edge") << qint64(2'000'000) << "160";
    QTest::newRow("above 160") << qint64(2'000'001) << "";
    QTest::newRow("below 80") << qint64(3'499'999) << "";
    QTest::newRow("40 high edge") << qint64(7'300'000) << "40";
    QTest::newRow("17 low edge") << qint64(18'068'000) << "17";
    QTest::newRow("below 17") << qint64(18'067'999) << "";
    QTest::newRow("10 high edge") << qint64(29'700'000) << "10";
    QTest::newRow("6") << qint64(50'313'000) << "6";
    QTest::newRow("2 m") << qint64(145'000'000) << "";
}

void tst_BandFollow::frequencyFallsInItsBand()
{
    QFETCH(qint64, hz);
    QFETCH(QString, band);
    const std::optional<int> index = BandPlan::bandIndexOf(hz);
    QCOMPARE(index ? BandPlan::bandName(*index) : QString(), band);
}

void tst_BandFollow::rigAddressIsParsed_data()
{
    // The row's name is the address.
    QTest::addColumn<QString>("parsed"); // "host port", empty when refused
    QTest::newRow("localhost:4532") << "localhost 4532";
    QTest::newRow(" 127.0.0.1:4533 ") << "127.0.0.1 4533";
    QTest::newRow("[::1]:4534") << "::1 4534";
    QTest::newRow("::1:4534") << "";
    QTest::newRow("localhost") << "";
    QTest::newRow("localhost:65536") << "";
    QTest::newRow("localhost:+4532") << "";
    QTest::newRow(":4532") << "";
}

void tst_BandFollow::rigAddressIsParsed()
{
    QFETCH(QString, parsed);
    const std::optional<RigAddress> address = RigAddress::parse(QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(address ? QStringLiteral("%1 %2").arg(address->host).arg(address->port) : QString(), parsed);
}

void tst_BandFollow::scriptGivesSwitches_data()
{
    // "events | decisions". Events: a frequency in kHz (a reading, decided at once),
    // "press" (the operator's choice), "tx"/"rx", "split"/"nosplit", "choose"/"chosen",
    // "ant N" (the box reports Ant N). Each reading gives one decision: "-" nothing, "wait",
    // "paused", or "N m>Ant K", taken up by the box at once. 80 m: Ant 1, 40 m: Ant 5,
    // 20 m: Ant 3, other bands none.
    QTest::addColumn<QString>("script");
    QTest::newRow("first reading counts") << "14074 | 20 m>Ant 3";
    QTest::newRow("moves within the band change nothing") << "14074 14200 14074 | 20 m>Ant 3 - -";
    QTest::newRow("band change") << "14074 7074 | 20 m>Ant 3 40 m>Ant 5";
    QTest::newRow("already on the antenna") << "ant 3 14074 | -";
    QTest::newRow("band without antenna") << "21074 ant 2 21100 | - -";
    QTest::newRow("outside every band") << "ant 2 15000 145000 | - -";
    QTest::newRow("out of band and back is no change") << "14074 ant 6 15000 14074 | 20 m>Ant 3 - -";
    QTest::newRow("transmit holds it until the end") << "ant 1 tx 14074 14074 rx 14074 | wait wait 20 m>Ant 3";
    QTest::newRow("change back under transmit cancels") << "ant 3 14074 tx 7074 14074 rx 14074 | - wait - -";
    QTest::newRow("leaving for a bare band cancels") << "ant 3 14074 tx 7074 21074 rx 21074 | - wait - -";
    QTest::newRow("manual press drops a held switch") << "tx 14074 press rx 14074 | wait -";
    QTest::newRow("manual press stands to the next band") << "14074 press ant 6 14100 7074 | 20 m>Ant 3 - 40 m>Ant 5";
    QTest::newRow("split pauses, said once") << "split 14074 14074 nosplit 14074 | paused wait 20 m>Ant 3";
    QTest::newRow("split pause said for the next band") << "split 14074 7074 7074 | paused paused wait";
    QTest::newRow("choosing a split holds it") << "choose 14074 chosen 14074 | wait 20 m>Ant 3";
    QTest::newRow("released channel gets the antenna") << "ant 15 3573 | 80 m>Ant 1";
    // Band memory: "keep n" makes antenna n the current band's, if the radio is on one.
    QTest::newRow("kept antenna comes back on the next visit")
        << "14074 press ant 2 keep 2 7074 14074 | 20 m>Ant 3 20 40 m>Ant 5 20 m>Ant 2";
    QTest::newRow("kept for a band that had none") << "21074 keep 4 7074 21074 | - 15 40 m>Ant 5 15 m>Ant 4";
    // OTRSP: "aux n" asks for antenna n directly, held back as a band's switch.
    QTest::newRow("asked antenna") << "ant 1 aux 4 | AUX>Ant 4";
    QTest::newRow("asked antenna waits for the end of a transmission")
        << "tx aux 2 check rx check | wait wait AUX>Ant 2";
    QTest::newRow("asked antenna already held") << "ant 2 aux 2 | -";
    QTest::newRow("press drops an asked antenna") << "tx aux 2 press rx check | wait -";
    QTest::newRow("outside every band nothing is kept") << "14074 15000 keep 2 7074 14074 | 20 m>Ant 3 - none "
                                                           "40 m>Ant 5 20 m>Ant 3";
}

void tst_BandFollow::scriptGivesSwitches()
{
    QFETCH(QString, script);

    BandFollow follow;
    std::array<int, BandPlan::BandCount> table{};
    table[1] = 1; // 80 m
    table[3] = 5; // 40 m
    table[5] = 3; // 20 m
    follow.setAntennas(table);
    BandFollow::Channel channel;
    QStringList seen;
    const QStringList events = script.section(QLatin1String(" | "), 0, 0).split(QLatin1Char(' '));
    for (int i = 0; i < events.size(); ++i) {
        const QString &event = events.at(i);
        const auto decideNow = [&] {
            const BandFollow::Decision decision = follow.decide(channel);
            const char *const words[] = {"-", "wait", "paused"};
            if (decision.step != BandFollow::Step::Switch) {
                seen << QLatin1String(words[int(decision.step)]);
                return;
            }
            const QString band = decision.bandIndex == BandFollow::NoBand
                ? QStringLiteral("AUX")
                : BandPlan::bandName(decision.bandIndex) + QStringLiteral(" m");
            seen << QStringLiteral("%1>Ant %2").arg(band).arg(decision.position + 1);
            channel.antenna = decision.position;
        };
        if (event == QLatin1String("press"))
            follow.operatorChose();
        else if (event == QLatin1String("aux")) {
            follow.positionAsked(quint8(events.at(++i).toInt() - 1));
            decideNow();
        } else if (event == QLatin1String("check"))
            decideNow();
        else if (event == QLatin1String("tx") || event == QLatin1String("rx"))
            channel.transmitting = event == QLatin1String("tx");
        else if (event == QLatin1String("split") || event == QLatin1String("nosplit"))
            channel.splitActive = event == QLatin1String("split");
        else if (event == QLatin1String("choose") || event == QLatin1String("chosen"))
            channel.choosingSplit = event == QLatin1String("choose");
        else if (event == QLatin1String("keep")) {
            const int antenna = events.at(++i).toInt();
            const std::optional<int> band = follow.band();
            seen << (band ? BandPlan::bandName(*band) : QStringLiteral("none"));
            if (band)
                follow.remember(*band, antenna);
        } else if (event == QLatin1String("ant"))
            channel.antenna = quint8(events.at(++i).toInt() - 1);
        else {
            follow.frequencyRead(event.toLongLong() * 1000);
            decideNow();
        }
    }
    QCOMPARE(seen.join(QLatin1Char(' ')), script.section(QLatin1String(" | "), 1));
}

QTEST_GUILESS_MAIN(tst_BandFollow)
#include "tst_bandfollow.moc"

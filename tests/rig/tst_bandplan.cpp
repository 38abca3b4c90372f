// The band table, the rigctld reply lines, the rigctld address and the settings keys.

#include "rig/bandfollowsettings.h"
#include "rig/bandplan.h"
#include "rig/rigreply.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class tst_BandPlan : public QObject
{
    Q_OBJECT

private slots:
    void frequencyFallsInItsBand_data();
    void frequencyFallsInItsBand();
    void replyLineIsRead_data();
    void replyLineIsRead();
    void overlongLineIsDroppedWhole();
    void rigAddressIsParsed_data();
    void rigAddressIsParsed();
    void settingsReadBackWhatWasStored();
};

void tst_BandPlan::frequencyFallsInItsBand_data()
{
    QTest::addColumn<qint64>("hz");
    QTest::addColumn<QString>("band"); // empty: outside every band

    QTest::newRow("160 low edge") << qint64(1'800'000) << "160";
    QTest::newRow("160 high edge") << qint64(2'000'000) << "160";
    QTest::newRow("just above 160") << qint64(2'000'001) << "";
    QTest::newRow("just below 80") << qint64(3'499'999) << "";
    QTest::newRow("80") << qint64(3'750'000) << "80";
    QTest::newRow("60") << qint64(5'350'000) << "60";
    QTest::newRow("40 high edge") << qint64(7'300'000) << "40";
    QTest::newRow("30") << qint64(10'125'000) << "30";
    QTest::newRow("20") << qint64(14'074'000) << "20";
    QTest::newRow("17 low edge") << qint64(18'068'000) << "17";
    QTest::newRow("just below 17") << qint64(18'067'999) << "";
    QTest::newRow("15") << qint64(21'074'000) << "15";
    QTest::newRow("12 high edge") << qint64(24'990'000) << "12";
    QTest::newRow("10 high edge") << qint64(29'700'000) << "10";
    QTest::newRow("6") << qint64(50'313'000) << "6";
    QTest::newRow("2 m") << qint64(145'000'000) << "";
    QTest::newRow("zero") << qint64(0) << "";
}

void tst_BandPlan::frequencyFallsInItsBand()
{
    QFETCH(qint64, hz);
    QFETCH(QString, band);
    const std::optional<int> index = BandPlan::bandIndexOf(hz);
    QCOMPARE(index ? BandPlan::bandName(*index) : QString(), band);
}

void tst_BandPlan::replyLineIsRead_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("hz");

    const int frequency = int(RigReply::Kind::Frequency);
    const int error = int(RigReply::Kind::Error);
    const int other = int(RigReply::Kind::Other);
    QTest::newRow("frequency") << QByteArray("14200000") << frequency << qint64(14'200'000);
    QTest::newRow("with fraction") << QByteArray("7074000.000000") << frequency << qint64(7'074'000);
    QTest::newRow("padded") << QByteArray(" 3573000 ") << frequency << qint64(3'573'000);
    QTest::newRow("twelve digits") << QByteArray("999999999999") << frequency << qint64(999'999'999'999);
    QTest::newRow("thirteen digits") << QByteArray("1000000000000") << other << qint64(0);
    QTest::newRow("error") << QByteArray("RPRT -1") << error << qint64(0);
    QTest::newRow("error 0") << QByteArray("RPRT 0") << error << qint64(0);
    QTest::newRow("zero") << QByteArray("0") << other << qint64(0);
    QTest::newRow("negative") << QByteArray("-14200000") << other << qint64(0);
    QTest::newRow("mode") << QByteArray("USB") << other << qint64(0);
    QTest::newRow("extended") << QByteArray("Frequency: 14200000") << other << qint64(0);
    QTest::newRow("trailing text") << QByteArray("14200000 Hz") << other << qint64(0);
    QTest::newRow("bare fraction") << QByteArray(".5") << other << qint64(0);
    QTest::newRow("empty") << QByteArray() << other << qint64(0);
}

void tst_BandPlan::replyLineIsRead()
{
    QFETCH(QByteArray, line);
    QFETCH(int, kind);
    QFETCH(qint64, hz);
    const RigReply::Line read = RigReply::parseLine(line);
    QCOMPARE(int(read.kind), kind);
    QCOMPARE(read.hz, hz);
}

void tst_BandPlan::overlongLineIsDroppedWhole()
{
    RigReply::LineReader reader;
    reader.append("7074000\r\n" + QByteArray(RigReply::LineReader::MaxLineLength + 1, '7'));
    QCOMPARE(reader.nextLine(), std::optional<QByteArray>("7074000"));
    QCOMPARE(reader.nextLine(), std::nullopt);
    QCOMPARE(reader.buffered(), 0);
    // The rest of the long line goes too; the next line is read whole.
    reader.append("000\n1420");
    QCOMPARE(reader.nextLine(), std::nullopt);
    reader.append("0000\n");
    QCOMPARE(reader.nextLine(), std::optional<QByteArray>("14200000"));
}

void tst_BandPlan::rigAddressIsParsed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<int>("port");

    QTest::newRow("name") << "localhost:4532"
                          << "localhost" << 4532;
    QTest::newRow("IPv4") << " 127.0.0.1:4533 "
                          << "127.0.0.1" << 4533;
    QTest::newRow("IPv6") << "[::1]:4534"
                          << "::1" << 4534;
    QTest::newRow("IPv6 without brackets") << "::1:4534"
                                           << "" << 0;
    QTest::newRow("brackets around a name") << "[radio]:4532"
                                            << "" << 0;
    QTest::newRow("no port") << "localhost"
                             << "" << 0;
    QTest::newRow("empty port") << "localhost:"
                                << "" << 0;
    QTest::newRow("port 0") << "localhost:0"
                            << "" << 0;
    QTest::newRow("port too big") << "localhost:65536"
                                  << "" << 0;
    QTest::newRow("port with sign") << "localhost:+4532"
                                    << "" << 0;
    QTest::newRow("no host") << ":4532"
                             << "" << 0;
    QTest::newRow("space in host") << "my radio:4532"
                                   << "" << 0;
}

void tst_BandPlan::rigAddressIsParsed()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    const std::optional<RigAddress> address = RigAddress::parse(text);
    QCOMPARE(address ? address->host : QString(), host);
    QCOMPARE(address ? int(address->port) : 0, port);
}

void tst_BandPlan::settingsReadBackWhatWasStored()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    BandFollowSettings stored;
    stored.radio[1].rigAddress = QStringLiteral("localhost:4532");
    stored.radio[1].antenna[5] = 3; // 20 m
    stored.radio[2].rigAddress = QStringLiteral("[::1]:4533");
    stored.radio[2].antenna[0] = 6; // 160 m
    {
        QSettings settings(path, QSettings::IniFormat);
        for (const auto &[key, value] : stored.values())
            settings.setValue(key, value);
        // Hand-edited values that are no antenna read as none.
        settings.setValue(QStringLiteral("BAND1_40"), 7);
        settings.setValue(QStringLiteral("BAND2_6"), QStringLiteral("two"));
    }
    QSettings settings(path, QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("BAND1_20")).toInt(), 3);
    QCOMPARE(settings.value(QStringLiteral("RIG2")).toString(), QStringLiteral("[::1]:4533"));
    QVERIFY(BandFollowSettings::read(settings).radio == stored.radio);
}

QTEST_GUILESS_MAIN(tst_BandPlan)
#include "tst_bandplan.moc"

// What a contest logger says, read as the panel reads it: its RadioInfo broadcasts and its
// OTRSP lines.

#include "radioinfodatagram.h"
#include "rig/otrsp.h"
#include "rig/radioinfo.h"

#include <QtTest>

using RadioInfoDatagram::example;

class tst_StationInputs : public QObject
{
    Q_OBJECT

private slots:
    void radioInfo_data();
    void radioInfo();
    void otrsp_data();
    void otrsp();
};

// Rows: the datagram, and the radio and hertz it reports (radio 0: not a report).
void tst_StationInputs::radioInfo_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("radio");
    QTest::addColumn<qint64>("hz");
    QTest::addColumn<bool>("transmitting");
    QTest::newRow("documentation example") << example() << 1 << qint64(3522110) << false;
    QTest::newRow("radio 2, 14.074 MHz, transmitting")
        << example("2", "<Freq>1407400</Freq>", "TRUE") << 2 << qint64(14074000) << true;
    QTest::newRow("highest frequency") << example("1", "<Freq>2147483647</Freq>") << 1 << qint64(21474836470)
                                       << false;
    QTest::newRow("frequency past 2^31-1") << example("1", "<Freq>2147483648</Freq>") << 0 << qint64(0) << false;
    QTest::newRow("no Freq: TXFreq does not stand in") << example("1", "") << 0 << qint64(0) << false;
    QTest::newRow("signed frequency") << example("1", "<Freq>+352211</Freq>") << 0 << qint64(0) << false;
    QTest::newRow("markup inside a number") << example("1", "<Freq>35<b/>2211</Freq>") << 0 << qint64(0) << false;
    QTest::newRow("fraction") << example("1", "<Freq>352211.5</Freq>") << 0 << qint64(0) << false;
    QTest::newRow("radio 3") << example("3") << 0 << qint64(0) << false;
    QTest::newRow("radio 0") << example("0") << 0 << qint64(0) << false;
    QTest::newRow("transmitting maybe") << example("1", "<Freq>352211</Freq>", "Maybe") << 0 << qint64(0) << false;
    QTest::newRow("no RadioNr") << QByteArray("<RadioInfo><Freq>352211</Freq></RadioInfo>") << 0 << qint64(0) << false;
    QTest::newRow("another root") << QByteArray("<SpotInfo><RadioNr>1</RadioNr><Freq>1</Freq></SpotInfo>") << 0
                                  << qint64(0) << false;
    QTest::newRow("cut short") << example().left(300) << 0 << qint64(0) << false;
    QTest::newRow("junk") << QByteArray("\x00\xff<<>>", 6) << 0 << qint64(0) << false;
    const QByteArray largest = RadioInfoDatagram::padded(RadioInfo::MaxDatagramSize);
    QTest::newRow("largest datagram") << largest << 1 << qint64(3522110) << false;
    QTest::newRow("one byte more") << largest + ' ' << 0 << qint64(0) << false;
}

void tst_StationInputs::radioInfo()
{
    QFETCH(QByteArray, datagram);
    QFETCH(int, radio);
    QFETCH(qint64, hz);
    QFETCH(bool, transmitting);
    const std::optional<RadioInfo::Report> report = RadioInfo::parse(datagram);
    QCOMPARE(report.has_value(), radio != 0);
    if (!report)
        return;
    QCOMPARE(report->radio, radio);
    QCOMPARE(report->hz, hz);
    QCOMPARE(report->transmitting, transmitting);
    QCOMPARE(report->station, QStringLiteral("CW-80m"));
    QCOMPARE(report->app, QStringLiteral("N1MM"));
}

// Rows: bytes from the logger (fed one at a time and all at once alike), the switch's
// answers, and each radio's AUX code afterwards.
void tst_StationInputs::otrsp_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<int>("aux1");
    QTest::addColumn<int>("aux2");
    QTest::newRow("queries before any code") << QByteArray("?NAME\r?\r?AUX1\r")
                                             << QByteArray("NAMEZorvik Remote Control\r?\rAUX10\r") << 0 << 0;
    QTest::newRow("one and two digits") << QByteArray("AUX13\rAUX203\r?AUX2\r") << QByteArray("AUX23\r") << 3 << 3;
    QTest::newRow("LF passed over") << QByteArray("AUX1\n5\r\n?AUX1\r\n") << QByteArray("AUX15\r") << 5 << 0;
    QTest::newRow("codes beyond the antennas remembered") << QByteArray("AUX199\r?AUX1\r") << QByteArray("AUX199\r")
                                                          << 99 << 0;
    QTest::newRow("not commands") << QByteArray("TX1\rRX2S\rAUX3\rAUX1\rAUX1123\rAUX1x\raux12\r?AUX3\r")
                                  << QByteArray() << 0 << 0;
    QTest::newRow("64 bytes kept, 65 dropped whole")
        << QByteArray("AUX14" + QByteArray(59, ' ') + "\r" + "AUX16" + QByteArray(60, ' ') + "\rAUX12\r?AUX1\r")
        << QByteArray("AUX12\r") << 2 << 0;
}

void tst_StationInputs::otrsp()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, answers);
    QFETCH(int, aux1);
    QFETCH(int, aux2);
    for (const int piece : {1, int(input.size())}) {
        Otrsp::LineReader reader;
        Otrsp::Responder responder;
        QByteArray answered;
        for (int at = 0; at < input.size(); at += piece) {
            reader.append(input.mid(at, piece));
            while (const std::optional<QByteArray> line = reader.nextLine())
                answered += responder.answer(Otrsp::parse(*line));
            QVERIFY(reader.buffered() <= Otrsp::MaxLineLength + 1);
        }
        QCOMPARE(answered, answers);
        QCOMPARE(responder.auxCode(1), aux1);
        QCOMPARE(responder.auxCode(2), aux2);
    }
}

QTEST_GUILESS_MAIN(tst_StationInputs)
#include "tst_stationinputs.moc"

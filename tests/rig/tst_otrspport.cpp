// The OTRSP port over a pseudo-terminal, the test playing the logger on the master side, and
// a port that goes away and comes back, retried on a hand-moved clock.

#include "rig/otrspport.h"

#include "manualclock.h"
#include "pseudoterminal.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class tst_OtrspPort : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        port.close();
        auxes.clear();
        messages.clear();
    }
    void answersQueriesAndReportsAux_data();
    void answersQueriesAndReportsAux();
    void aPortThatIsGoneIsTriedAgainEveryRetryInterval();

private:
    void advance(qint64 ms)
    {
        clock.advance(ms);
        port.service();
    }

    ManualClock clock;
    OtrspPort port{clock};
    QSignalSpy auxes{&port, &OtrspPort::aux};
    QSignalSpy messages{&port, &OtrspPort::message};
};

// Rows: what the logger writes (each ends in a query, so its answers tell when all is read),
// the answers, and the AUX commands reported as radio:code.
void tst_OtrspPort::answersQueriesAndReportsAux_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<QString>("reported");
    QTest::newRow("queries") << QByteArray("?NAME\r?\r?AUX1\r?AUX2\r")
                             << QByteArray("NAMEZorvik Remote Control\r?\rAUX10\rAUX20\r") << "";
    QTest::newRow("AUX codes, 0 and above 6 too") << QByteArray("AUX13\rAUX203\rAUX10\rAUX299\r?AUX1\r?AUX2\r")
                                                  << QByteArray("AUX10\rAUX299\r") << "1:3 2:3 1:0 2:99";
    QTest::newRow("CR LF, TX and RX") << QByteArray("TX1\r\nRX2S\r\nAUX15\r\n?AUX1\r\n") << QByteArray("AUX15\r")
                                      << "1:5";
    QTest::newRow("a line past 64 bytes dropped whole")
        << QByteArray("AUX14" + QByteArray(60, ' ') + "\rAUX16\r?AUX1\r") << QByteArray("AUX16\r") << "1:6";
}

void tst_OtrspPort::answersQueriesAndReportsAux()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, answers);
    QFETCH(QString, reported);
    PseudoTerminal logger;
    QVERIFY(logger.isValid());
    port.open(logger.slavePath());
    QVERIFY(port.isOpen());
    QVERIFY(logger.write(input));
    QCOMPARE(logger.read(answers.size()), answers);
    QStringList seen;
    for (const QList<QVariant> &command : qAsConst(auxes))
        seen.append(QStringLiteral("%1:%2").arg(command.at(0).toInt()).arg(command.at(1).toInt()));
    QCOMPARE(seen.join(' '), reported);
}

void tst_OtrspPort::aPortThatIsGoneIsTriedAgainEveryRetryInterval()
{
    // A path that can point at one pseudo-terminal after another, as a USB adapter plugged
    // out and in again keeps its name.
    QTemporaryDir dir;
    const QString path = dir.filePath("otrsp");
    auto logger = std::make_unique<PseudoTerminal>();
    const auto plugIn = [&] {
        QFile::remove(path);
        return logger->isValid() && QFile::link(logger->slavePath(), path);
    };
    const QString cannot = "OTRSP: %1 cannot be opened: .+; trying again", listening = "OTRSP: listening on %1",
                  lost = "OTRSP: %1 lost; trying again";
    QStringList expected{cannot};

    port.open(path);
    QVERIFY(!port.isOpen());
    QVERIFY(plugIn());
    advance(OtrspPort::RetryIntervalMs - 1);
    QVERIFY(!port.isOpen());
    advance(1);
    QVERIFY(port.isOpen());
    expected << listening;
    QVERIFY(logger->write("AUX12\r"));
    QVERIFY(auxes.wait(2000));

    logger.reset();
    expected << lost;
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), expected.size(), 2000);
    QVERIFY(!port.isOpen());
    // Two tries fail, the second as the first: one note for both.
    advance(OtrspPort::RetryIntervalMs);
    advance(OtrspPort::RetryIntervalMs);
    expected << cannot;
    logger = std::make_unique<PseudoTerminal>();
    QVERIFY(plugIn());
    advance(OtrspPort::RetryIntervalMs);
    QVERIFY(port.isOpen());
    expected << listening;
    QVERIFY(logger->write("?AUX1\r"));
    QCOMPARE(logger->read(6), QByteArray("AUX12\r"));

    QCOMPARE(messages.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QString text = messages.at(i).at(0).toString();
        QVERIFY2(QRegularExpression(
                     QRegularExpression::anchoredPattern(expected.at(i).arg(QRegularExpression::escape(path))))
                     .match(text)
                     .hasMatch(),
                 qPrintable(text));
    }

    // Closed while waiting: no more tries.
    logger.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!port.isOpen(), 2000);
    port.close();
    logger = std::make_unique<PseudoTerminal>();
    QVERIFY(plugIn());
    advance(OtrspPort::RetryIntervalMs);
    QVERIFY(!port.isOpen());
}

QTEST_GUILESS_MAIN(tst_OtrspPort)
#include "tst_otrspport.moc"

// A serial port that will not open says why and what to do: the port's own text, then one
// line with the likely cause and its remedy.

#include "serial/openfailure.h"
#include "serial/seriallink.h"

#include "pseudoterminal.h"

#include <QTemporaryDir>
#include <QtTest>

using OpenFailure::Cause;

class tst_OpenFailure : public QObject
{
    Q_OBJECT

private slots:
    void causeAndAdvice_data();
    void causeAndAdvice();
    void realPortThatWillNotOpen_data();
    void realPortThatWillNotOpen();
};

// Each row: what the port reported and what the device file tells, and the words the
// advice must hold (empty: no advice).
void tst_OpenFailure::causeAndAdvice_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("accessible");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QStringList>("words");

    const QStringList notFound{"ttyUSB0 was not found", "check the cable", "another port in Serial Settings"};
    QTest::newRow("no such device") << int(QSerialPort::DeviceNotFoundError) << false << false << "" << notFound;
    QTest::newRow("gone between listing and opening")
        << int(QSerialPort::PermissionError) << false << false << "" << notFound;
    QTest::newRow("not in the device's group")
        << int(QSerialPort::PermissionError) << true << false << "dialout"
        << QStringList{"You may not use ttyUSB0", "group \"dialout\"", "usermod -aG dialout", "log out and in again"};
    QTest::newRow("no group known") << int(QSerialPort::PermissionError) << true << false << ""
                                    << QStringList{"You may not use ttyUSB0", "ask for access"};
    QTest::newRow("held by another program")
        << int(QSerialPort::PermissionError) << true << true << "dialout"
        << QStringList{"ttyUSB0 is in use by another program", "close that program"};
    QTest::newRow("unsupported parameters")
        << int(QSerialPort::UnsupportedOperationError) << true << true << "dialout" << QStringList{};
}

void tst_OpenFailure::causeAndAdvice()
{
    QFETCH(int, error);
    QFETCH(bool, exists);
    QFETCH(bool, accessible);
    QFETCH(QString, group);
    QFETCH(QStringList, words);

    OpenFailure::DeviceFacts facts;
    facts.exists = exists;
    facts.accessible = accessible;
    facts.group = group;
    const QString advice = OpenFailure::advice(OpenFailure::causeOf(QSerialPort::SerialPortError(error), facts),
                                               QStringLiteral("ttyUSB0"), group);
    if (words.isEmpty())
        QCOMPARE(advice, QString());
    for (const QString &word : qAsConst(words))
        QVERIFY2(advice.contains(word), qPrintable(advice));
    QVERIFY(!advice.contains(QLatin1Char('\n')));
}

// The link as the panel opens it, on a path that does not exist and on a pseudo-terminal
// that another port object holds (its lock; permission bits would not stop root).
void tst_OpenFailure::realPortThatWillNotOpen_data()
{
    QTest::addColumn<bool>("held");
    QTest::addColumn<QString>("advice");
    QTest::newRow("path that does not exist") << false << "was not found";
    QTest::newRow("held by another program") << true << "is in use by another program";
}

void tst_OpenFailure::realPortThatWillNotOpen()
{
    QFETCH(bool, held);
    QFETCH(QString, advice);

    QTemporaryDir dir;
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QSerialPort holder(pty.slavePath());
    if (held)
        QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));

    std::atomic<bool> openFlag{false};
    SerialLink link(openFlag, steadyClock());
    SerialParameters parameters;
    parameters.portName = held ? pty.slavePath() : dir.filePath(QStringLiteral("ttyGone"));
    parameters.baudRate = 9600;
    QVERIFY(!link.open(parameters));
    QVERIFY(!openFlag);

    const QStringList lines = link.errorString().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QVERIFY2(!lines.at(0).isEmpty(), "the port's own text comes first");
    QVERIFY2(lines.at(1).startsWith(parameters.portName) && lines.at(1).contains(advice), qPrintable(lines.at(1)));
}

QTEST_MAIN(tst_OpenFailure)
#include "tst_openfailure.moc"

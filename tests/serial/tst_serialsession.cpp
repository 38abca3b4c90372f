// The serial session on a pseudo-terminal, without a window: what it writes on connecting
// and per request, how long state requests wait for the firmware reply, and which bytes from
// the box count as a sign of life or a frame.

#include "engine/linkwatchdog.h"
#include "serial/serialsession.h"

#include "manualclock.h"
#include "pseudoterminal.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {
QByteArray frame(char kind, int length)
{
    QByteArray bytes("IG", 2);
    bytes.append(kind);
    bytes.append(length - 4, '\x01');
    bytes.append(';');
    return bytes;
}
} // namespace

class tst_SerialSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void connectingSaysSoAndAsksForFirmware();
    void stateRequestWaitsForFirmware_data();
    void stateRequestWaitsForFirmware();
    void whatCountsAsAReply_data();
    void whatCountsAsAReply();
    void lineGoneIsReported_data();
    void lineGoneIsReported();

private:
    SerialParameters lineParameters() const
    {
        SerialParameters parameters;
        parameters.portName = pty->slavePath();
        parameters.baudRate = 9600;
        return parameters;
    }
    // Reads on every try, as the polling ticks do, until `done` or two seconds.
    bool readUntil(const std::function<bool()> &done);

    std::unique_ptr<PseudoTerminal> pty;
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<LinkWatchdog> watchdog;
    std::atomic<bool> openFlag{false};
    std::unique_ptr<SerialSession> session;
};

void tst_SerialSession::init()
{
    pty = std::make_unique<PseudoTerminal>();
    QVERIFY(pty->isValid());
    clock = std::make_unique<ManualClock>();
    watchdog = std::make_unique<LinkWatchdog>(*clock);
    session = std::make_unique<SerialSession>(openFlag, *watchdog, *clock);
}

void tst_SerialSession::cleanup()
{
    session.reset();
    watchdog.reset();
    clock.reset();
    pty.reset();
}

bool tst_SerialSession::readUntil(const std::function<bool()> &done)
{
    return QTest::qWaitFor(
        [&] {
            session->readReply();
            return done();
        },
        2000);
}

void tst_SerialSession::connectingSaysSoAndAsksForFirmware()
{
    QSignalSpy messages(session.get(), &SerialSession::message);
    SerialParameters parameters = lineParameters();
    parameters.baudRateText = "9600";
    parameters.dataBitsText = "8";
    parameters.parityText = "None";
    parameters.stopBitsText = "1";
    parameters.flowControlText = "None";
    QVERIFY(session->open(parameters));
    QVERIFY(openFlag);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0][0].toString(),
             QStringLiteral("Connected to %1 : 9600, 8, None, 1, None").arg(pty->slavePath()));
    QCOMPARE(pty->read(4), QByteArray("IGW;"));
    session->close();
    QVERIFY(!openFlag);
    QVERIFY(!session->isOpen());
}

// Rows: when the firmware reply comes (-1: never), when the state request is asked for,
// and whether it goes out.
void tst_SerialSession::stateRequestWaitsForFirmware_data()
{
    QTest::addColumn<int>("firmwareAtMs");
    QTest::addColumn<int>("requestAtMs");
    QTest::addColumn<bool>("sent");
    QTest::newRow("no reply, still waiting") << -1 << 299 << false;
    QTest::newRow("no reply, wait over") << -1 << int(SerialSession::FirmwareWaitMs) << true;
    QTest::newRow("reply ends the wait early") << 50 << 60 << true;
}

void tst_SerialSession::stateRequestWaitsForFirmware()
{
    QFETCH(int, firmwareAtMs);
    QFETCH(int, requestAtMs);
    QFETCH(bool, sent);
    QVERIFY(session->open(lineParameters()));
    QCOMPARE(pty->read(4), QByteArray("IGW;"));
    if (firmwareAtMs >= 0) {
        clock->advance(firmwareAtMs);
        QSignalSpy replies(session.get(), &SerialSession::replyRead);
        QVERIFY(pty->write(frame('W', 14)));
        QVERIFY(readUntil([&] { return replies.size() == 1; }));
    }
    clock->advanceTo(ManualClock::StartMs + requestAtMs);
    session->sendStateRequest();
    session->sendCommand(Protocol::queueElement(Protocol::SelectChannel1, 2));
    // The command goes out either way; the state request only once the wait is over.
    const QByteArray command = QByteArray("IG\x01"
                                          "2;",
                                          5)
        + QByteArray(2, '\0');
    const QByteArray expected = sent ? QByteArray("IG\x05"
                                                  "3;",
                                                  5)
            + QByteArray(1, '\0') + command
                                     : command;
    QCOMPARE(pty->read(expected.size()), expected);
}

// Rows: what the box wrote, every row a sign of life, and whether it makes a frame.
void tst_SerialSession::whatCountsAsAReply_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("frameRead");
    QTest::newRow("status reply") << frame('\x05', 14) << true;
    QTest::newRow("firmware reply") << frame('W', 14) << true;
    QTest::newRow("13 bytes of noise") << QByteArray(13, 'x') << false;
}

void tst_SerialSession::whatCountsAsAReply()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, frameRead);
    QVERIFY(session->open(lineParameters()));
    QSignalSpy replies(session.get(), &SerialSession::replyRead);
    QVERIFY(!watchdog->boxAnswering());
    QVERIFY(pty->write(bytes));
    QVERIFY(readUntil([&] { return watchdog->boxAnswering(); }));
    QCOMPARE(replies.size(), frameRead ? 1 : 0);
    if (frameRead)
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(session->reply().data()), bytes.size()), bytes);
    clock->advance(LinkWatchdog::TimeoutMs);
    QVERIFY(watchdog->boxAnswering());
    clock->advance(1);
    QVERIFY(!watchdog->boxAnswering());
}

// Rows: the error the session's own port raises, or none when the other side of the
// pseudo-terminal really closes (Qt reports that one way or the other). A hung-up terminal
// has been seen raising only read errors, hundreds of thousands a second.
void tst_SerialSession::lineGoneIsReported_data()
{
    QTest::addColumn<int>("error");
    QTest::newRow("other side closed") << int(QSerialPort::NoError);
    QTest::newRow("read error") << int(QSerialPort::ReadError);
    QTest::newRow("resource error") << int(QSerialPort::ResourceError);
}

void tst_SerialSession::lineGoneIsReported()
{
    QFETCH(int, error);
    QVERIFY(session->open(lineParameters()));
    QSignalSpy messages(session.get(), &SerialSession::message);
    if (error == QSerialPort::NoError) {
        pty->closeMaster(); // as a box's pseudo-terminal does when the box quits
    } else {
        auto *port = session->findChild<QSerialPort *>();
        QVERIFY(port);
        emit port->errorOccurred(QSerialPort::SerialPortError(error));
    }
    QTRY_COMPARE(messages.size(), 1);
    QCOMPARE(messages[0][0].toString(),
             QStringLiteral("Serial line lost: reconnecting to %1\u2026").arg(pty->slavePath()));
    QVERIFY(!openFlag);
    QVERIFY(!session->isOpen());
    // A closed master takes the slave's path with it, and another terminal may take it next.
    if (error == QSerialPort::NoError)
        return;
    // Tried again two seconds after the loss, not before; the line is there again.
    clock->advance(1999);
    session->reopenIfDue();
    QVERIFY(!session->isOpen());
    clock->advance(1);
    session->reopenIfDue();
    QVERIFY(session->isOpen());
    QVERIFY(openFlag);
}

QTEST_GUILESS_MAIN(tst_SerialSession)
#include "tst_serialsession.moc"

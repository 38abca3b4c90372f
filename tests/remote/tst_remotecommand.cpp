// The remote commands as read from HTTP bodies and WebSocket messages, every form accepted
// and every fault refused; and the error codes every remote face answers with.

#include "remote/remotecommand.h"
#include "remote/remoteerror.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

namespace {

QString idText(const QJsonValue &id)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{id}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

// "select 1 3 id=7", "split 1 5/3 id=null", or "400 bad_request id=7".
QString describe(const RemoteCommandReading &reading)
{
    if (!reading.command) {
        if (reading.message.isEmpty())
            return QStringLiteral("refused without a message");
        return QString::number(RemoteErrors::httpStatus(reading.error)) + ' ' + RemoteErrors::code(reading.error)
            + " id=" + idText(reading.id);
    }
    const RemoteCommand &command = *reading.command;
    if (reading.error != RemoteError::None || reading.id != command.id)
        return QStringLiteral("a command with an error or two ids");
    QString said;
    switch (command.op) {
    case RemoteCommand::Op::Select:
        said = QStringLiteral("select %1 %2").arg(command.channel).arg(command.antenna);
        break;
    case RemoteCommand::Op::Release:
        said = QStringLiteral("release %1").arg(command.channel);
        break;
    case RemoteCommand::Op::Split:
        said = QStringLiteral("split %1 %2/%3").arg(command.channel).arg(command.rx).arg(command.tx);
        break;
    case RemoteCommand::Op::SplitOff:
        said = QStringLiteral("splitOff %1").arg(command.channel);
        break;
    case RemoteCommand::Op::State:
        said = QStringLiteral("state");
        break;
    }
    return said + " id=" + idText(command.id);
}

// A WebSocket message of exactly `size` bytes, padded inside the id string.
QByteArray messageOfSize(int size)
{
    const QByteArray start = R"({"op":"state","id":")";
    return start + QByteArray(size - int(start.size()) - 2, 'x') + "\"}";
}

Station::Result result(bool sent, Station::Refusal refusal)
{
    Station::Result made;
    made.sent = sent;
    made.refusal = refusal;
    return made;
}

} // namespace

Q_DECLARE_METATYPE(RemoteError)
Q_DECLARE_METATYPE(Station::Refusal)

class tst_RemoteCommand : public QObject
{
    Q_OBJECT

private slots:
    void body_data();
    void body();
    void socketMessage_data();
    void socketMessage();
    void errorCodes();
    void stationOutcomes_data();
    void stationOutcomes();
};

void tst_RemoteCommand::body_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("read");
    const QString bad = QStringLiteral("400 bad_request id=null");

    QTest::newRow("antenna 1") << "antenna" << 1 << QByteArray(R"({"antenna": 1})") << "select 1 1 id=null";
    QTest::newRow("antenna 6 on channel 2") << "antenna" << 2 << QByteArray(R"({"antenna":6})") << "select 2 6 id=null";
    QTest::newRow("antenna 3.0 is 3") << "antenna" << 1 << QByteArray(R"({"antenna": 3.0})") << "select 1 3 id=null";
    QTest::newRow("antenna 3e0 is 3") << "antenna" << 1 << QByteArray(R"({"antenna": 3e0})") << "select 1 3 id=null";
    QTest::newRow("release") << "antenna" << 2 << QByteArray(R"( {"antenna": "release"} )") << "release 2 id=null";
    QTest::newRow("antenna 0") << "antenna" << 1 << QByteArray(R"({"antenna": 0})") << bad;
    QTest::newRow("antenna 7") << "antenna" << 1 << QByteArray(R"({"antenna": 7})") << bad;
    QTest::newRow("antenna -1") << "antenna" << 1 << QByteArray(R"({"antenna": -1})") << bad;
    QTest::newRow("antenna 3.5") << "antenna" << 1 << QByteArray(R"({"antenna": 3.5})") << bad;
    QTest::newRow("antenna 1e300") << "antenna" << 1 << QByteArray(R"({"antenna": 1e300})") << bad;
    QTest::newRow("antenna as a string") << "antenna" << 1 << QByteArray(R"({"antenna": "3"})") << bad;
    QTest::newRow("antenna true") << "antenna" << 1 << QByteArray(R"({"antenna": true})") << bad;
    QTest::newRow("antenna null") << "antenna" << 1 << QByteArray(R"({"antenna": null})") << bad;
    QTest::newRow("antenna in an array") << "antenna" << 1 << QByteArray(R"({"antenna": [3]})") << bad;
    QTest::newRow("RELEASE in capitals") << "antenna" << 1 << QByteArray(R"({"antenna": "RELEASE"})") << bad;
    QTest::newRow("antenna missing") << "antenna" << 1 << QByteArray("{}") << bad;
    QTest::newRow("antenna misspelt") << "antenna" << 1 << QByteArray(R"({"antena": 3})") << bad;
    QTest::newRow("an extra key") << "antenna" << 1 << QByteArray(R"({"antenna": 3, "channel": 2})") << bad;
    QTest::newRow("antenna twice") << "antenna" << 1 << QByteArray(R"({"antenna": 3, "antenna": "release"})") << bad;
    QTest::newRow("antenna twice, once escaped")
        << "antenna" << 1 << QByteArray(R"({"antenna": 3, "\u0061ntenna": 4})") << bad;
    QTest::newRow("a colon inside a string is no key")
        << "antenna" << 1 << QByteArray(R"({"antenna": "re:lease"})") << bad;
    QTest::newRow("empty body") << "antenna" << 1 << QByteArray() << bad;
    QTest::newRow("not JSON") << "antenna" << 1 << QByteArray("antenna=3") << bad;
    QTest::newRow("an array") << "antenna" << 1 << QByteArray("[3]") << bad;
    QTest::newRow("a number") << "antenna" << 1 << QByteArray("3") << bad;
    QTest::newRow("text after the object") << "antenna" << 1 << QByteArray(R"({"antenna": 3}x)") << bad;
    QTest::newRow("two objects") << "antenna" << 1 << QByteArray(R"({"antenna": 3}{"antenna": 4})") << bad;
    QTest::newRow("cut short") << "antenna" << 1 << QByteArray(R"({"antenna": 3)") << bad;
    QTest::newRow("NUL after the object") << "antenna" << 1 << QByteArray(R"({"antenna": 3})", 15) + '\0' << bad;
    QTest::newRow("channel 3 from the path") << "antenna" << 3 << QByteArray(R"({"antenna": 3})") << bad;
    QTest::newRow("channel 0 from the path") << "antenna" << 0 << QByteArray(R"({"antenna": 3})") << bad;

    QTest::newRow("split 5/3") << "split" << 1 << QByteArray(R"({"rx": 5, "tx": 3})") << "split 1 5/3 id=null";
    QTest::newRow("split 1/6 in either order")
        << "split" << 2 << QByteArray(R"({"tx": 6, "rx": 1})") << "split 2 1/6 id=null";
    QTest::newRow("split rx and tx alike") << "split" << 1 << QByteArray(R"({"rx": 4, "tx": 4})") << bad;
    QTest::newRow("split rx 0") << "split" << 1 << QByteArray(R"({"rx": 0, "tx": 3})") << bad;
    QTest::newRow("split tx 7") << "split" << 1 << QByteArray(R"({"rx": 1, "tx": 7})") << bad;
    QTest::newRow("split tx 2.5") << "split" << 1 << QByteArray(R"({"rx": 1, "tx": 2.5})") << bad;
    QTest::newRow("split rx as a string") << "split" << 1 << QByteArray(R"({"rx": "1", "tx": 2})") << bad;
    QTest::newRow("split tx missing") << "split" << 1 << QByteArray(R"({"rx": 1})") << bad;
    QTest::newRow("split with an antenna") << "split" << 1 << QByteArray(R"({"rx": 1, "tx": 2, "antenna": 3})") << bad;
    QTest::newRow("split, the antenna body") << "split" << 1 << QByteArray(R"({"antenna": 3})") << bad;
    QTest::newRow("split channel 3") << "split" << 3 << QByteArray(R"({"rx": 5, "tx": 3})") << bad;
}

void tst_RemoteCommand::body()
{
    QFETCH(QString, kind);
    QFETCH(int, channel);
    QFETCH(QByteArray, body);
    QFETCH(QString, read);
    const RemoteCommandReading reading = kind == QLatin1String("split")
        ? RemoteCommandReader::splitBody(channel, body)
        : RemoteCommandReader::antennaBody(channel, body);
    QCOMPARE(describe(reading), read);
}

void tst_RemoteCommand::socketMessage_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("read");

    QTest::newRow("select") << QByteArray(R"({"id": 7, "op": "select", "channel": 1, "antenna": 3})")
                            << "select 1 3 id=7";
    QTest::newRow("select release") << QByteArray(R"({"id": 7, "op": "select", "channel": 2, "antenna": "release"})")
                                    << "release 2 id=7";
    QTest::newRow("release") << QByteArray(R"({"id": 8, "op": "release", "channel": 1})") << "release 1 id=8";
    QTest::newRow("split") << QByteArray(R"({"id": 9, "op": "split", "channel": 1, "rx": 5, "tx": 3})")
                           << "split 1 5/3 id=9";
    QTest::newRow("splitOff") << QByteArray(R"({"id": 10, "op": "splitOff", "channel": 2})") << "splitOff 2 id=10";
    QTest::newRow("state") << QByteArray(R"({"id": 11, "op": "state"})") << "state id=11";
    QTest::newRow("id a string") << QByteArray(R"({"id": "a-1", "op": "state"})") << "state id=\"a-1\"";
    QTest::newRow("id a fraction") << QByteArray(R"({"id": 1.5, "op": "state"})") << "state id=1.5";
    QTest::newRow("id 2^53") << QByteArray(R"({"id": 9007199254740992, "op": "state"})") << "state id=9007199254740992";
    QTest::newRow("id -2^53") << QByteArray(R"({"id": -9007199254740992, "op": "state"})")
                              << "state id=-9007199254740992";
    QTest::newRow("id over 2^53") << QByteArray(R"({"id": 9007199254740994, "op": "state"})")
                                  << "400 bad_request id=null";
    QTest::newRow("id 1e300") << QByteArray(R"({"id": 1e300, "op": "state"})") << "400 bad_request id=null";
    QTest::newRow("id null") << QByteArray(R"({"id": null, "op": "state"})") << "state id=null";
    QTest::newRow("no id") << QByteArray(R"({"op": "release", "channel": 1})") << "release 1 id=null";
    QTest::newRow("channel 2.0 is 2") << QByteArray(R"({"op": "release", "channel": 2.0})") << "release 2 id=null";

    // Faults keep the id when it could be read.
    QTest::newRow("op unknown") << QByteArray(R"({"id": 7, "op": "selct", "channel": 1, "antenna": 3})")
                                << "400 bad_request id=7";
    QTest::newRow("op missing") << QByteArray(R"({"id": 7, "channel": 1})") << "400 bad_request id=7";
    QTest::newRow("op a number") << QByteArray(R"({"id": 7, "op": 1})") << "400 bad_request id=7";
    QTest::newRow("op in another case") << QByteArray(R"({"id": 7, "op": "splitoff", "channel": 1})")
                                        << "400 bad_request id=7";
    QTest::newRow("channel 0") << QByteArray(R"({"id": 7, "op": "release", "channel": 0})") << "400 bad_request id=7";
    QTest::newRow("channel 3") << QByteArray(R"({"id": 7, "op": "release", "channel": 3})") << "400 bad_request id=7";
    QTest::newRow("channel 1.5") << QByteArray(R"({"id": 7, "op": "release", "channel": 1.5})")
                                 << "400 bad_request id=7";
    QTest::newRow("channel as a string") << QByteArray(R"({"id": 7, "op": "release", "channel": "1"})")
                                         << "400 bad_request id=7";
    QTest::newRow("channel true") << QByteArray(R"({"id": 7, "op": "release", "channel": true})")
                                  << "400 bad_request id=7";
    QTest::newRow("channel missing") << QByteArray(R"({"id": 7, "op": "splitOff"})") << "400 bad_request id=7";
    QTest::newRow("select antenna 7") << QByteArray(R"({"id": 7, "op": "select", "channel": 1, "antenna": 7})")
                                      << "400 bad_request id=7";
    QTest::newRow("select antenna missing")
        << QByteArray(R"({"id": 7, "op": "select", "channel": 1})") << "400 bad_request id=7";
    QTest::newRow("split rx missing") << QByteArray(R"({"id": 9, "op": "split", "channel": 1, "tx": 3})")
                                      << "400 bad_request id=9";
    QTest::newRow("split rx and tx alike")
        << QByteArray(R"({"id": 9, "op": "split", "channel": 1, "rx": 3, "tx": 3})") << "400 bad_request id=9";
    QTest::newRow("state with a channel")
        << QByteArray(R"({"id": 11, "op": "state", "channel": 1})") << "400 bad_request id=11";
    QTest::newRow("release with an antenna")
        << QByteArray(R"({"id": 8, "op": "release", "channel": 1, "antenna": 3})") << "400 bad_request id=8";
    QTest::newRow("select with rx") << QByteArray(R"({"id": 7, "op": "select", "channel": 1, "antenna": 3, "rx": 1})")
                                    << "400 bad_request id=7";
    QTest::newRow("a key twice") << QByteArray(R"({"id": 7, "op": "select", "channel": 1, "channel": 2, "antenna": 3})")
                                 << "400 bad_request id=null";
    QTest::newRow("id an object") << QByteArray(R"({"id": {"a": 1}, "op": "state"})") << "400 bad_request id=null";
    QTest::newRow("id an array") << QByteArray(R"({"id": [7], "op": "state"})") << "400 bad_request id=null";
    QTest::newRow("id true") << QByteArray(R"({"id": true, "op": "state"})") << "400 bad_request id=null";
    QTest::newRow("not JSON") << QByteArray("select 1 3") << "400 bad_request id=null";
    QTest::newRow("empty") << QByteArray() << "400 bad_request id=null";
    QTest::newRow("an array") << QByteArray(R"([{"id": 7, "op": "state"}])") << "400 bad_request id=null";
    QTest::newRow("a string") << QByteArray(R"("state")") << "400 bad_request id=null";
    // Nothing nested is read at all (Qt 5's reader leaks what a repeated key replaces).
    QTest::newRow("an array under a key of its own")
        << QByteArray(R"({"id": 7, "op": "state", "x": [1]})") << "400 bad_request id=null";
    QTest::newRow("a repeated key holding arrays")
        << QByteArray(R"({"id": 7, "op": "state", "x": [1], "x": [2]})") << "400 bad_request id=null";
    QTest::newRow("nested deeper and deeper") << QByteArray(R"({"id": 7, "op": "state", "x": )") + QByteArray(400, '[')
            + QByteArray(400, ']') + '}' << "400 bad_request id=null";
    QTest::newRow("brackets inside strings are text")
        << QByteArray(R"({"id": "[{", "op": "release", "channel": 1})") << "release 1 id=\"[{\"";

    // The size limit: the message as a whole, counted in bytes.
    QTest::newRow("1023 bytes") << messageOfSize(1023) << "state id=\"" + QString(1001, 'x') + '"';
    QTest::newRow("1024 bytes") << messageOfSize(1024) << "state id=\"" + QString(1002, 'x') + '"';
    QTest::newRow("1025 bytes") << messageOfSize(1025) << "413 too_large id=null";
    QTest::newRow("1025 bytes of spaces around a command")
        << QByteArray(R"({"id": 7, "op": "state"})") + QByteArray(1001, ' ') << "413 too_large id=null";
}

void tst_RemoteCommand::socketMessage()
{
    QFETCH(QByteArray, message);
    QFETCH(QString, read);
    QCOMPARE(describe(RemoteCommandReader::socketMessage(message)), read);
}

void tst_RemoteCommand::errorCodes()
{
    // The codes every remote face answers with, as clients read them; each comes back from
    // its code and has a message.
    const QString contract = "400 bad_request, 401 unauthorized, 403 forbidden, 404 not_found, "
                             "405 method_not_allowed, 413 too_large, 415 not_json, 422 receive_only, "
                             "423 transmitting, 423 locked, 431 headers_too_large, 429 rate_limited, "
                             "501 not_implemented, 503 box_unavailable, 503 busy, 505 version_not_supported";
    QStringList said;
    for (int value = int(RemoteError::BadRequest); value <= int(RemoteError::VersionNotSupported); ++value) {
        const auto error = RemoteError(value);
        const QLatin1String code = RemoteErrors::code(error);
        said << QString::number(RemoteErrors::httpStatus(error)) + ' ' + code;
        QCOMPARE(RemoteErrors::fromCode(code), error);
        QVERIFY(!RemoteErrors::message(error, 1).isEmpty());
    }
    QCOMPARE(said.join(", "), contract);
    QCOMPARE(RemoteErrors::fromCode(QLatin1String("bad_requestx")), RemoteError::None);
    QCOMPARE(RemoteErrors::fromCode(QLatin1String("")), RemoteError::None);
    QVERIFY(RemoteErrors::message(RemoteError::None).isEmpty());
}

void tst_RemoteCommand::stationOutcomes_data()
{
    QTest::addColumn<bool>("sent");
    QTest::addColumn<Station::Refusal>("refusal");
    QTest::addColumn<RemoteError>("error");
    QTest::addColumn<QString>("says");
    using R = Station::Refusal;
    QTest::newRow("sent") << true << R::None << RemoteError::None << "";
    QTest::newRow("nothing needed sending") << false << R::NothingToSend << RemoteError::None << "";
    QTest::newRow("not sent, no reason") << false << R::None << RemoteError::BoxUnavailable << "cannot be reached";
    QTest::newRow("bad argument") << false << R::BadArgument << RemoteError::BadRequest << "not a valid command";
    QTest::newRow("LAN not connected") << false << R::NotConnected << RemoteError::BoxUnavailable
                                       << "cannot be reached";
    QTest::newRow("box silent") << false << R::BoxUnavailable << RemoteError::BoxUnavailable << "cannot be reached";
    QTest::newRow("receive-only") << false << R::ReceiveOnly << RemoteError::ReceiveOnly << "Antenna 5 is receive-only";
    QTest::newRow("transmitting") << false << R::Transmitting << RemoteError::Transmitting
                                  << "Channel 2 is transmitting";
    QTest::newRow("locked") << false << R::Locked << RemoteError::Locked << "locked at the panel";
    QTest::newRow("split being chosen at the panel")
        << false << R::SplitChoiceElsewhere << RemoteError::Locked << "split is being set up at the panel";
}

void tst_RemoteCommand::stationOutcomes()
{
    QFETCH(bool, sent);
    QFETCH(Station::Refusal, refusal);
    QFETCH(RemoteError, error);
    QFETCH(QString, says);
    Station::Result outcome = result(sent, refusal);
    outcome.outcome.refused = 4; // antenna 5, for the receive-only message
    QCOMPARE(RemoteErrors::fromResult(outcome), error);
    const QString message = RemoteErrors::message(outcome, 2);
    QVERIFY2(says.isEmpty() ? message.isEmpty() : message.contains(says), qPrintable(message));
}

QTEST_GUILESS_MAIN(tst_RemoteCommand)
#include "tst_remotecommand.moc"

// The station's topics and payloads on the message broker: the base, the select's options,
// every form of a command and every fault, the results, the state messages against the
// state JSON, and Home Assistant's discovery read back as JSON.

#include "mqtt/mqtttopics.h"
#include "remote/statejson.h"
#include "stationbench.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <map>

Q_DECLARE_METATYPE(RemoteError)
Q_DECLARE_METATYPE(RemoteCommand::Op)

class tst_MqttTopics : public QObject
{
    Q_OBJECT

private slots:
    void slug_data();
    void slug();
    void base_data();
    void base();
    void options_data();
    void options();
    void command_data();
    void command();
    void result_data();
    void result();
    void stateMessages_data();
    void stateMessages();
    void discovery_data();
    void discovery();
};

namespace {

const QString Base = QStringLiteral("zorvik/dl0zrc");
// Antennas 2 and 5 unnamed.
const QStringList Options{"Yagi 20m", "Ant 2", "Beverage", "Loop", "Ant 5", "Groundplane Ø", "Released"};

// The box's LAN status text: channel 1 on Ant 1 and channel 2 on none, unless given.
QString status(const QString &fields = QStringLiteral("0.F.0.0.0.0.0.0")) { return fields + QStringLiteral(".0.0.FF"); }

// The station on a settings file with `keys`, no box behind it: `box` is taken as its LAN
// report when given (the link then connected, to a port nothing answers on).
void openStation(StationBench &bench, QVariantMap keys, const QString &box = QString())
{
    keys.insert(QStringLiteral("serialMode"), 1);
    keys.insert(QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
    keys.insert(QStringLiteral("PORT"), QStringLiteral("9"));
    bench.open(keys, false);
    if (!box.isEmpty()) {
        QVERIFY(bench.connectBox());
        bench.station->takeLanReply(box);
    }
}

QVariantMap namesOf(const QStringList &names)
{
    QVariantMap keys;
    for (int i = 0; i < names.size(); ++i)
        keys.insert(QStringLiteral("K%1_1").arg(i + 1), names.at(i));
    return keys;
}

std::map<QByteArray, MqttTopics::Message> byTopic(const QList<MqttTopics::Message> &messages)
{
    std::map<QByteArray, MqttTopics::Message> map;
    for (const MqttTopics::Message &message : messages) {
        const bool fresh = map.emplace(message.topic, message).second;
        if (!fresh)
            qWarning("topic given twice: %s", message.topic.constData());
    }
    return map;
}

QJsonObject objectOf(const QByteArray &payload)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qWarning("not a JSON object: %s", payload.constData());
    return document.object();
}

} // namespace

void tst_MqttTopics::slug_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("slug");

    QTest::newRow("call and words") << "DL0ZRC Station A" << "dl0zrc-station-a";
    QTest::newRow("runs of others, ends trimmed") << "  --DL0ZRC // 2--  " << "dl0zrc-2";
    QTest::newRow("only others") << "  --  " << "station";
    QTest::newRow("empty") << "" << "station";
    // Letters outside ASCII are other characters too.
    QTest::newRow("non-ASCII letters") << "Ümlaut Ø 7" << "mlaut-7";
    QTest::newRow("only non-ASCII") << "ÄÖÜ" << "station";
    QTest::newRow("digits kept") << "Position 2/3" << "position-2-3";
    QTest::newRow("wildcards") << "a+b#c" << "a-b-c";
}

void tst_MqttTopics::slug()
{
    QFETCH(QString, id);
    QFETCH(QString, slug);
    QCOMPARE(MqttTopics::slug(id), slug);
}

void tst_MqttTopics::base_data()
{
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("base");

    QTest::newRow("default") << "" << "DL0ZRC Station A" << "zorvik/dl0zrc-station-a";
    QTest::newRow("default, no ID") << "" << "" << "zorvik/station";
    QTest::newRow("configured") << "shack/antennas" << "DL0ZRC" << "shack/antennas";
    QTest::newRow("trailing slashes dropped") << "shack/antennas//" << "DL0ZRC" << "shack/antennas";
    QTest::newRow("whitespace only") << "   " << "DL0ZRC" << "zorvik/dl0zrc";
    QTest::newRow("slashes only") << "///" << "DL0ZRC" << "zorvik/dl0zrc";
    // No one can publish on a topic with a wildcard.
    QTest::newRow("wildcard +") << "shack/+/x" << "DL0ZRC" << "zorvik/dl0zrc";
    QTest::newRow("wildcard #") << "shack/#" << "DL0ZRC" << "zorvik/dl0zrc";
}

void tst_MqttTopics::base()
{
    QFETCH(QString, configured);
    QFETCH(QString, id);
    QFETCH(QString, base);
    QCOMPARE(MqttTopics::base(configured, id), base);
}

void tst_MqttTopics::options_data()
{
    QTest::addColumn<QStringList>("names"); // K1_1..K6_1
    QTest::addColumn<QStringList>("options");

    QTest::newRow("unnamed") << QStringList() << QStringList{"Ant 1", "Ant 2", "Ant 3", "Ant 4", "Ant 5", "Ant 6",
                                                             "Released"};
    QTest::newRow("named, as the panel shows them")
        << QStringList{"Yagi 20m", "", "  Beverage\n NE ", "Loop", "", "Vertical"}
        << QStringList{"Yagi 20m", "Ant 2", "Beverage NE", "Loop", "Ant 5", "Vertical", "Released"};
    QTest::newRow("duplicate names")
        << QStringList{"Yagi", "Dipole", "Yagi", "", "dipole", "Loop"}
        << QStringList{"Yagi (Ant 1)", "Dipole (Ant 2)", "Yagi (Ant 3)", "Ant 4", "dipole (Ant 5)", "Loop", "Released"};
    QTest::newRow("names that read as commands")
        << QStringList{"3", "release", "RELEASED", "Ant 6", "ant 4", " 01 "}
        << QStringList{"3 (Ant 1)", "release (Ant 2)", "RELEASED (Ant 3)", "Ant 6 (Ant 4)", "ant 4 (Ant 5)",
                       "01 (Ant 6)", "Released"};
    QTest::newRow("named as its own number")
        << QStringList{"Ant 1", "ANT 2", "", "", "", ""}
        << QStringList{"Ant 1", "ANT 2", "Ant 3", "Ant 4", "Ant 5", "Ant 6", "Released"};
    // A name with the suffix another would get: both move on until they differ.
    QTest::newRow("suffix taken")
        << QStringList{"Yagi", "Yagi", "Yagi (Ant 1)", "", "", ""}
        << QStringList{"Ant 1 (Yagi)", "Yagi (Ant 2)", "Yagi (Ant 1) (Ant 3)", "Ant 4", "Ant 5", "Ant 6", "Released"};
}

void tst_MqttTopics::options()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, options);
    StationBench bench;
    openStation(bench, namesOf(names));
    const QStringList texts = MqttTopics::optionTexts(*bench.station);
    QCOMPARE(texts, options);

    // Each option, sent as it is or in other case, selects its own antenna.
    for (int i = 0; i < texts.size(); ++i) {
        for (const QString &sent : {texts.at(i), texts.at(i).toUpper()}) {
            const RemoteCommandReading reading = MqttTopics::command(
                QStringLiteral("zorvik/station"), "zorvik/station/channel/2/antenna/set", sent.toUtf8(), texts);
            QVERIFY2(reading.command, qPrintable(sent));
            QCOMPARE(reading.command->channel, 2);
            QCOMPARE(reading.command->op, i < 6 ? RemoteCommand::Op::Select : RemoteCommand::Op::Release);
            QCOMPARE(reading.command->antenna, i < 6 ? i + 1 : 0);
        }
    }
}

void tst_MqttTopics::command_data()
{
    QTest::addColumn<QByteArray>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<RemoteError>("error");
    QTest::addColumn<RemoteCommand::Op>("op");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("antenna"); // Select's antenna, or the split's rx * 10 + tx
    QTest::addColumn<QString>("says"); // in the message of a refusal

    using E = RemoteError;
    using Op = RemoteCommand::Op;
    const QByteArray a1 = Base.toUtf8() + "/channel/1/antenna/set";
    const QByteArray a2 = Base.toUtf8() + "/channel/2/antenna/set";
    const QByteArray s1 = Base.toUtf8() + "/channel/1/split/set";
    const QByteArray s2 = Base.toUtf8() + "/channel/2/split/set";
    const QString antennaForms = QStringLiteral("\"release\"");
    const QString splitForms = QStringLiteral("\"off\"");

    QTest::newRow("option") << a1 << QByteArray("Beverage") << E::None << Op::Select << 1 << 3 << "";
    QTest::newRow("option, other case, spaces") << a2 << QByteArray(" bEVERAGE\n") << E::None << Op::Select << 2 << 3
                                                << "";
    QTest::newRow("unnamed option") << a1 << QByteArray("Ant 5") << E::None << Op::Select << 1 << 5 << "";
    QTest::newRow("option UTF-8") << a1 << QByteArray("Groundplane Ø") << E::None << Op::Select << 1 << 6 << "";
    QTest::newRow("option UTF-8, other case") << a1 << QByteArray("groundPLANE ø") << E::None << Op::Select << 1 << 6
                                              << "";
    QTest::newRow("option Latin-1") << a1 << QByteArray("Groundplane \xd8") << E::BadRequest << Op::State << 0 << 0
                                    << antennaForms;
    QTest::newRow("number 1") << a1 << QByteArray("1") << E::None << Op::Select << 1 << 1 << "";
    QTest::newRow("number 6, whitespace") << a2 << QByteArray(" \t6\r\n") << E::None << Op::Select << 2 << 6 << "";
    QTest::newRow("number, leading zeros") << a1 << QByteArray("0004") << E::None << Op::Select << 1 << 4 << "";
    QTest::newRow("release") << a1 << QByteArray("release") << E::None << Op::Release << 1 << 0 << "";
    QTest::newRow("RELEASE") << a2 << QByteArray("RELEASE") << E::None << Op::Release << 2 << 0 << "";
    QTest::newRow("Released, the option") << a1 << QByteArray("Released") << E::None << Op::Release << 1 << 0 << "";
    QTest::newRow("released") << a1 << QByteArray("released ") << E::None << Op::Release << 1 << 0 << "";
    QTest::newRow("split") << s1 << QByteArray(R"({"rx": 5, "tx": 3})") << E::None << Op::Split << 1 << 53 << "";
    QTest::newRow("split, channel 2") << s2 << QByteArray(R"({"tx":1,"rx":6})") << E::None << Op::Split << 2 << 61
                                      << "";
    QTest::newRow("split off") << s1 << QByteArray("off") << E::None << Op::SplitOff << 1 << 0 << "";
    QTest::newRow("split OFF") << s2 << QByteArray(" OFF\n") << E::None << Op::SplitOff << 2 << 0 << "";

    QTest::newRow("number 0") << a1 << QByteArray("0") << E::BadRequest << Op::State << 0 << 0 << antennaForms;
    QTest::newRow("number 7") << a1 << QByteArray("7") << E::BadRequest << Op::State << 0 << 0 << antennaForms;
    QTest::newRow("number, sign") << a1 << QByteArray("+3") << E::BadRequest << Op::State << 0 << 0 << antennaForms;
    QTest::newRow("number, decimal") << a1 << QByteArray("3.0") << E::BadRequest << Op::State << 0 << 0
                                     << antennaForms;
    QTest::newRow("number, huge") << a1 << QByteArray("99999999999999999999") << E::BadRequest << Op::State << 0 << 0
                                  << antennaForms;
    QTest::newRow("number inside") << a1 << QByteArray("3 4") << E::BadRequest << Op::State << 0 << 0
                                   << antennaForms;
    QTest::newRow("JSON antenna") << a1 << QByteArray(R"({"antenna": 3})") << E::BadRequest << Op::State << 0 << 0
                                  << antennaForms;
    QTest::newRow("unknown name") << a1 << QByteArray("Quad") << E::BadRequest << Op::State << 0 << 0
                                  << antennaForms;
    QTest::newRow("empty") << a1 << QByteArray() << E::BadRequest << Op::State << 0 << 0 << antennaForms;
    QTest::newRow("NUL") << a1 << QByteArray("3\0", 2) << E::BadRequest << Op::State << 0 << 0 << antennaForms;
    QTest::newRow("bad UTF-8") << a1 << QByteArray("Loop\xff") << E::BadRequest << Op::State << 0 << 0
                               << antennaForms;
    QTest::newRow("split, same antennas") << s1 << QByteArray(R"({"rx": 2, "tx": 2})") << E::BadRequest << Op::State
                                          << 0 << 0 << splitForms;
    QTest::newRow("split, unknown key") << s1 << QByteArray(R"({"rx": 2, "tx": 3, "x": 1})") << E::BadRequest
                                        << Op::State << 0 << 0 << splitForms;
    QTest::newRow("split, key twice") << s1 << QByteArray(R"({"rx": 2, "tx": 3, "rx": 4})") << E::BadRequest
                                      << Op::State << 0 << 0 << splitForms;
    QTest::newRow("split, nested") << s1 << QByteArray(R"({"rx": [2], "tx": 3})") << E::BadRequest << Op::State << 0
                                   << 0 << splitForms;
    QTest::newRow("split, string") << s1 << QByteArray(R"({"rx": "2", "tx": 3})") << E::BadRequest << Op::State << 0
                                   << 0 << splitForms;
    QTest::newRow("split, 7") << s1 << QByteArray(R"({"rx": 7, "tx": 3})") << E::BadRequest << Op::State << 0 << 0
                              << splitForms;
    QTest::newRow("split, on") << s1 << QByteArray("on") << E::BadRequest << Op::State << 0 << 0 << splitForms;
    QTest::newRow("split, empty") << s1 << QByteArray() << E::BadRequest << Op::State << 0 << 0 << splitForms;
    QTest::newRow("split, antenna's form") << s1 << QByteArray("release") << E::BadRequest << Op::State << 0 << 0
                                           << splitForms;

    // At and over the limit: the whitespace around a number counts.
    QByteArray padded = QByteArray(1023, ' ') + '3';
    QTest::newRow("1024 bytes") << a1 << padded << E::None << Op::Select << 1 << 3 << "";
    QTest::newRow("1025 bytes") << a1 << (padded + ' ') << E::TooLarge << Op::State << 0 << 0 << "1024";
    QByteArray split = R"({"rx": 1, "tx": 2})";
    split += QByteArray(1024 - split.size(), ' ');
    QTest::newRow("split, 1024 bytes") << s2 << split << E::None << Op::Split << 2 << 12 << "";
    QTest::newRow("split, 1025 bytes") << s2 << (split + ' ') << E::TooLarge << Op::State << 0 << 0 << "1024";

    QTest::newRow("channel 3") << Base.toUtf8() + "/channel/3/antenna/set" << QByteArray("1") << E::NotFound
                               << Op::State << 0 << 0 << "";
    QTest::newRow("channel 0") << Base.toUtf8() + "/channel/0/split/set" << QByteArray("off") << E::NotFound
                               << Op::State << 0 << 0 << "";
    QTest::newRow("channel 01") << Base.toUtf8() + "/channel/01/antenna/set" << QByteArray("1") << E::NotFound
                                << Op::State << 0 << 0 << "";
    QTest::newRow("state topic") << Base.toUtf8() + "/channel/1/antenna" << QByteArray("1") << E::NotFound
                                 << Op::State << 0 << 0 << "";
    QTest::newRow("trailing slash") << a1 + "/" << QByteArray("1") << E::NotFound << Op::State << 0 << 0 << "";
    QTest::newRow("another station") << QByteArray("zorvik/dl0zr/channel/1/antenna/set") << QByteArray("1")
                                     << E::NotFound << Op::State << 0 << 0 << "";
    QTest::newRow("base's prefix") << QByteArray("zorvik/dl0zrc2/channel/1/antenna/set") << QByteArray("1")
                                   << E::NotFound << Op::State << 0 << 0 << "";
    QTest::newRow("result topic") << Base.toUtf8() + "/result" << QByteArray("1") << E::NotFound << Op::State << 0
                                  << 0 << "";
    QTest::newRow("not found before too large") << Base.toUtf8() + "/status" << QByteArray(2000, 'x') << E::NotFound
                                                << Op::State << 0 << 0 << "";
}

void tst_MqttTopics::command()
{
    QFETCH(QByteArray, topic);
    QFETCH(QByteArray, payload);
    QFETCH(RemoteError, error);
    QFETCH(RemoteCommand::Op, op);
    QFETCH(int, channel);
    QFETCH(int, antenna);
    QFETCH(QString, says);

    const RemoteCommandReading reading = MqttTopics::command(Base, topic, payload, Options);
    QCOMPARE(reading.error, error);
    QCOMPARE(bool(reading.command), error == RemoteError::None);
    if (!reading.command) {
        QVERIFY(!reading.message.isEmpty());
        QVERIFY2(reading.message.contains(says), qPrintable(reading.message));
        return;
    }
    QVERIFY(reading.message.isEmpty());
    QCOMPARE(reading.command->op, op);
    QCOMPARE(reading.command->channel, channel);
    if (op == RemoteCommand::Op::Split) {
        QCOMPARE(reading.command->rx * 10 + reading.command->tx, antenna);
        QCOMPARE(reading.command->antenna, 0);
    } else {
        QCOMPARE(reading.command->antenna, antenna);
    }
}

void tst_MqttTopics::result_data()
{
    QTest::addColumn<RemoteError>("error");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("done") << RemoteError::None << "" << QByteArray(R"({"status":200,"topic":"%1"})");
    QTest::newRow("transmitting")
        << RemoteError::Transmitting << "Channel 1 is transmitting: remote commands are refused until it stops."
        << QByteArray(R"({"error":{"code":"transmitting","message":"Channel 1 is transmitting: remote commands are )"
                      R"(refused until it stops."},"status":423,"topic":"%1"})");
    QTest::newRow("locked, the code's own message")
        << RemoteError::Locked << ""
        << QByteArray(R"({"error":{"code":"locked","message":"Remote switching is locked at the panel."},)"
                      R"("status":423,"topic":"%1"})");
    QTest::newRow("bad request") << RemoteError::BadRequest << "Send \"off\"."
                                 << QByteArray(R"({"error":{"code":"bad_request","message":"Send \"off\"."},)"
                                               R"("status":400,"topic":"%1"})");
    QTest::newRow("box unavailable")
        << RemoteError::BoxUnavailable << "gone"
        << QByteArray(R"({"error":{"code":"box_unavailable","message":"gone"},"status":503,"topic":"%1"})");
}

void tst_MqttTopics::result()
{
    QFETCH(RemoteError, error);
    QFETCH(QString, message);
    QFETCH(QByteArray, payload);
    const QByteArray topic = Base.toUtf8() + "/channel/1/antenna/set";
    const MqttTopics::Message result = MqttTopics::result(Base, topic, error, message);
    QCOMPARE(result.topic, Base.toUtf8() + "/result");
    QCOMPARE(result.retain, false);
    QCOMPARE(result.qos, 1);
    QCOMPARE(result.payload, payload.replace("%1", topic));
}

void tst_MqttTopics::stateMessages_data()
{
    QTest::addColumn<QString>("box"); // its LAN report; none: the link stays down
    QTest::addColumn<int>("receiveOnly"); // RXONLY_<n>, 0 for none
    QTest::addColumn<QStringList>("expected"); // "topic=payload" under the base, besides state

    QTest::newRow("box silent") << QString() << 0 << QStringList{"channel/1/band=", "channel/2/band=", "alarm="};
    QTest::newRow("Ant 1 and none")
        << status() << 0
        << QStringList{"channel/1/antenna=Yagi 20m", "channel/1/transmitting=OFF", "channel/1/band=",
                       "channel/2/antenna=Released", "channel/2/transmitting=OFF", "channel/2/band=", "alarm="};
    QTest::newRow("unnamed, split, transmitting")
        << status(QStringLiteral("4.1.1.0.2.0.1.0")) << 0
        << QStringList{"channel/1/antenna=Ant 5", "channel/1/transmitting=ON", "channel/1/band=",
                       "channel/2/antenna=Ant 2", "channel/2/transmitting=OFF", "channel/2/band=", "alarm="};
    QTest::newRow("transmitting on receive-only")
        << status(QStringLiteral("F.2.0.0.0.0.0.1")) << 3
        << QStringList{"channel/1/antenna=Released", "channel/1/transmitting=OFF", "channel/1/band=",
                       "channel/2/antenna=Beverage", "channel/2/transmitting=ON", "channel/2/band=",
                       "alarm=Channel 2 is transmitting on receive-only Ant 3 (Beverage)!"};
}

void tst_MqttTopics::stateMessages()
{
    QFETCH(QString, box);
    QFETCH(int, receiveOnly);
    QFETCH(QStringList, expected);

    StationBench bench;
    QVariantMap keys = namesOf({"Yagi 20m", "", "Beverage"});
    keys.insert(QStringLiteral("ID"), QStringLiteral("DL0ZRC"));
    if (receiveOnly != 0)
        keys.insert(QStringLiteral("RXONLY_%1").arg(receiveOnly), 1);
    openStation(bench, keys, box);
    const Station &station = *bench.station;
    QCOMPARE(station.linkStatus().boxAnswering, !box.isEmpty());

    const QList<MqttTopics::Message> messages = MqttTopics::stateMessages(station, Base);
    auto topics = byTopic(messages);
    QCOMPARE(size_t(messages.size()), topics.size());
    for (const MqttTopics::Message &message : messages)
        QVERIFY(message.retain && message.qos == 1);
    // The state is the state JSON itself.
    const auto state = topics.find(Base.toUtf8() + "/state");
    QVERIFY(state != topics.end());
    // (But for the ping figure: before the station asks the box anything it is the time of
    // day, read anew at each call.)
    const auto withoutPing = [](QJsonObject json) {
        QJsonObject link = json.value("link").toObject();
        if (!link.contains("pingMs"))
            qWarning("no ping figure");
        link.remove("pingMs");
        json.insert("link", link);
        return QJsonDocument(json).toJson();
    };
    QCOMPARE(withoutPing(objectOf(state->second.payload)), withoutPing(StateJson::of(station)));
    topics.erase(state);

    QStringList got;
    for (const auto &[topic, message] : topics)
        got.append(QString::fromUtf8(topic.mid(Base.size() + 1) + '=' + message.payload));
    expected.sort();
    got.sort();
    QCOMPARE(got, expected);
}

void tst_MqttTopics::discovery_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("configured"); // MQTT_BASE
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("device");

    QTest::newRow("from the ID") << "DL0ZRC Station A" << "" << "dl0zrc-station-a" << "DL0ZRC Station A";
    QTest::newRow("no ID") << "" << "" << "station" << "Zorvik station";
    QTest::newRow("configured base") << "DL0ZRC" << "shack/pos 2" << "shack_pos_2" << "DL0ZRC";
}

void tst_MqttTopics::discovery()
{
    QFETCH(QString, id);
    QFETCH(QString, configured);
    QFETCH(QString, node);
    QFETCH(QString, device);

    StationBench bench;
    QVariantMap keys = namesOf({"Yagi 20m", "", "Yagi 20m"});
    keys.insert(QStringLiteral("ID"), id);
    openStation(bench, keys);
    const Station &station = *bench.station;
    const QString base = MqttTopics::base(configured, id);
    const QList<MqttTopics::Message> messages = MqttTopics::discovery(station, base, QStringLiteral("2.4.1"));

    // Each object by its topic, with what only it has.
    struct Expected
    {
        QString component;
        QString object;
        QJsonObject fields;
    };
    const QJsonArray options{"Yagi 20m (Ant 1)", "Ant 2", "Yagi 20m (Ant 3)", "Ant 4", "Ant 5", "Ant 6", "Released"};
    std::vector<Expected> objects;
    for (int channel = 1; channel <= 2; ++channel) {
        const QString topic = QStringLiteral("%1/channel/%2/").arg(base).arg(channel);
        objects.push_back({"select", QStringLiteral("channel_%1_antenna").arg(channel),
                           QJsonObject{{"command_topic", topic + "antenna/set"},
                                       {"state_topic", topic + "antenna"},
                                       {"options", options}}});
        objects.push_back({"binary_sensor", QStringLiteral("channel_%1_transmitting").arg(channel),
                           QJsonObject{{"state_topic", topic + "transmitting"}, {"payload_on", "ON"},
                                       {"payload_off", "OFF"}}});
        objects.push_back({"sensor", QStringLiteral("channel_%1_band").arg(channel),
                           QJsonObject{{"state_topic", topic + "band"}}});
    }
    objects.push_back({"binary_sensor", "alarm",
                       QJsonObject{{"device_class", "problem"},
                                   {"state_topic", base + "/alarm"},
                                   {"value_template", "{{ 'ON' if value else 'OFF' }}"}}});

    const auto topics = byTopic(messages);
    QCOMPARE(size_t(messages.size()), objects.size());
    QCOMPARE(topics.size(), objects.size());
    for (const Expected &object : objects) {
        const QByteArray topic = QStringLiteral("homeassistant/%1/%2/%3/config")
                                     .arg(object.component, node, object.object)
                                     .toUtf8();
        const auto found = topics.find(topic);
        QVERIFY2(found != topics.end(), topic.constData());
        QVERIFY(found->second.retain);
        QCOMPARE(found->second.qos, 1);
        const QJsonObject json = objectOf(found->second.payload);
        for (auto it = object.fields.constBegin(); it != object.fields.constEnd(); ++it)
            QCOMPARE(json.value(it.key()), it.value());
        QCOMPARE(json.value("unique_id").toString(), "zorvik_" + node + "_" + object.object);
        QVERIFY(!json.value("name").toString().isEmpty());
        QCOMPARE(json.value("availability_topic").toString(), base + "/status");
        QCOMPARE(json.value("payload_available").toString(), "online");
        QCOMPARE(json.value("payload_not_available").toString(), "offline");
        QCOMPARE(json.value("device").toObject(),
                 (QJsonObject{{"identifiers", QJsonArray{"zorvik_" + node}},
                              {"name", device},
                              {"manufacturer", "Zorvik"},
                              {"model", "Zorvik Remote Control"}}));
        QCOMPARE(json.value("origin").toObject(),
                 (QJsonObject{{"name", "Zorvik Remote Control"}, {"sw_version", "2.4.1"}}));
        // A select's commands are never retained: a retained one would be ignored.
        if (object.component == "select")
            QCOMPARE(json.value("retain"), QJsonValue(false));
    }

    // Removal: the same topics, each an empty retained message.
    const QList<MqttTopics::Message> removal = MqttTopics::discoveryRemoval(station, base);
    QCOMPARE(removal.size(), messages.size());
    for (const MqttTopics::Message &message : removal) {
        QVERIFY2(topics.count(message.topic) == 1, message.topic.constData());
        QVERIFY(message.payload.isEmpty());
        QVERIFY(message.retain);
    }
}

QTEST_GUILESS_MAIN(tst_MqttTopics)
#include "tst_mqtttopics.moc"

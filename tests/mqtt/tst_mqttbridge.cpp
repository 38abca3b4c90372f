// The bridge against a real broker (mosquitto on a free loopback port), the station and
// talmek-sim: what it publishes and announces, commands and their refusals, retained
// commands, the broker going away and coming back, two stations on one broker, a wrong
// password, and its end.

#include "mosquittobroker.h"
#include "mqtt/mqttbridge.h"
#include "stationbench.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <ctime>

#include <memory>

namespace {
QJsonObject json(const QByteArray &payload)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject();
}
QJsonObject channelOf(const QByteArray &state, int channel)
{
    return json(state).value("channels").toArray().at(channel - 1).toObject();
}
} // namespace

class tst_MqttBridge : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void announcesAndTakesCommands_data() { addLinkRows(); }
    void announcesAndTakesCommands();
    void retainedCommandIsIgnoredAndCleared();
    void refusalsOnResult_data();
    void refusalsOnResult();
    void survivesTheBrokersRestart_data() { addLinkRows(); }
    void survivesTheBrokersRestart();
    void twoStationsStayApart();
    void wrongPasswordIsRefused();
    void endsOfflineAndRemovesOnlyWhenSwitchedOff();
    void silentBrokerCostsNoProcessorTime();

private:
    // A station named `id` against the box on `link`, connected, and its bridge on the
    // broker (not yet applied when `apply` is false).
    struct Station_
    {
        std::unique_ptr<StationBench> bench;
        std::unique_ptr<MqttBridge> bridge;
    };
    bool startStation(Station_ &s, Link link, const QString &id, const QVariantMap &keys = {}, bool apply = true);
    PanelSettings::Mqtt settings() const;
    static bool waitConnected(MqttBridge &bridge, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return bridge.status() == MqttBridge::Status::Connected; }, timeoutMs);
    }
    QByteArray topic(const char *leaf) const { return (a.bridge->base() + '/' + QLatin1String(leaf)).toUtf8(); }

    std::unique_ptr<MosquittoBroker> broker;
    std::unique_ptr<MqttProbe> probe;
    Station_ a;
    Station_ b;
};

void tst_MqttBridge::init()
{
    qRegisterMetaType<MqttBridge::Status>();
    broker = std::make_unique<MosquittoBroker>();
}

void tst_MqttBridge::cleanup()
{
    a.bridge.reset();
    b.bridge.reset();
    a.bench.reset();
    b.bench.reset();
    probe.reset();
    broker.reset();
}

PanelSettings::Mqtt tst_MqttBridge::settings() const
{
    PanelSettings::Mqtt mqtt;
    mqtt.on = true;
    mqtt.host = QStringLiteral("127.0.0.1");
    mqtt.port = broker->port();
    return mqtt;
}

bool tst_MqttBridge::startStation(Station_ &s, Link link, const QString &id, const QVariantMap &keys, bool apply)
{
    s.bench = std::make_unique<StationBench>();
    if (!s.bench->startBox(link))
        return false;
    QVariantMap all = keys;
    all.insert("ID", id);
    s.bench->open(all);
    if (!s.bench->connectAndWait())
        return false;
    s.bridge = std::make_unique<MqttBridge>(*s.bench->station);
    s.bridge->setBackOff(50, 400);
    if (apply)
        s.bridge->apply(settings());
    return true;
}

void tst_MqttBridge::announcesAndTakesCommands()
{
    QFETCH(Link, link);
    QVERIFY(broker->start());
    probe = std::make_unique<MqttProbe>();
    QVERIFY(probe->connect(broker->port()));
    QVERIFY(startStation(a, link, "Station A", {{"K3_1", "Yagi 20m"}, {"RXONLY_6", 1}}, false));
    QSignalSpy told(a.bridge.get(), &MqttBridge::statusChanged);
    a.bridge->apply(settings());
    QCOMPARE(a.bridge->base(), QStringLiteral("zorvik/station-a"));
    QVERIFY(waitConnected(*a.bridge));
    QTRY_VERIFY_WITH_TIMEOUT(
        !told.isEmpty()
            && told.last().at(1).toString()
                == QStringLiteral("MQTT: connected to 127.0.0.1:%1 as zorvik/station-a").arg(broker->port()),
        3000);

    QVERIFY(probe->waitFor(topic("status"), "online"));
    // The alarm comes last.
    QTRY_VERIFY_WITH_TIMEOUT(!probe->last(topic("alarm")).isNull(), 3000);
    QCOMPARE(probe->last(topic("alarm")), QByteArray(""));
    QCOMPARE(json(probe->last(topic("state"))).value("id").toString(), QStringLiteral("Station A"));
    // (The serial link's box tells its antennas a little after it first answers.)
    QVERIFY(probe->waitFor(topic("channel/1/transmitting"), "OFF"));
    QVERIFY(probe->waitFor(topic("channel/1/antenna"), "Released"));

    // Discovery: one device, every entity valid JSON with its fields.
    QVERIFY(probe->waitFor(topic("channel/2/antenna"), "Released"));
    const QStringList objects{"select/station-a/channel_1_antenna",
                              "select/station-a/channel_2_antenna",
                              "binary_sensor/station-a/channel_1_transmitting",
                              "binary_sensor/station-a/channel_2_transmitting",
                              "binary_sensor/station-a/alarm",
                              "sensor/station-a/channel_1_band",
                              "sensor/station-a/channel_2_band"};
    for (const QString &object : objects) {
        const QByteArray config = ("homeassistant/" + object + "/config").toUtf8();
        QTRY_VERIFY2_WITH_TIMEOUT(!probe->last(config).isNull(), config.constData(), 3000);
        const QJsonObject entity = json(probe->last(config));
        QVERIFY2(!entity.isEmpty(), config.constData());
        QCOMPARE(entity.value("availability_topic").toString(), QStringLiteral("zorvik/station-a/status"));
        QCOMPARE(entity.value("unique_id").toString(), "zorvik_station-a_" + object.section('/', 2));
        const QJsonObject device = entity.value("device").toObject();
        QCOMPARE(device.value("identifiers").toArray(), QJsonArray{"zorvik_station-a"});
        QCOMPARE(device.value("name").toString(), QStringLiteral("Station A"));
        QVERIFY(!entity.value("state_topic").toString().isEmpty());
    }
    const QJsonObject select = json(probe->last("homeassistant/select/station-a/channel_1_antenna/config"));
    QCOMPARE(select.value("command_topic").toString(), QStringLiteral("zorvik/station-a/channel/1/antenna/set"));
    QCOMPARE(select.value("options").toArray(),
             (QJsonArray{"Ant 1", "Ant 2", "Yagi 20m", "Ant 4", "Ant 5", "Ant 6", "Released"}));
    QCOMPARE(json(probe->last("homeassistant/binary_sensor/station-a/alarm/config")).value("device_class").toString(),
             QStringLiteral("problem"));

    // A command by option text: the box switches, state and antenna follow within 1 s.
    QSignalSpy done(a.bench->station.get(), &Station::commandDone);
    int from = probe->messages().size();
    QElapsedTimer took;
    took.start();
    QVERIFY(probe->publish(topic("channel/1/antenna/set"), "Yagi 20m"));
    QVERIFY(probe->waitFor(topic("channel/1/antenna"), "Yagi 20m", 1000));
    QTRY_COMPARE_WITH_TIMEOUT(channelOf(probe->last(topic("state")), 1).value("antenna").toInt(), 3,
                              int(qMax<qint64>(1, 1000 - took.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(a.bench->sim->stateValue("antenna1"), 2, 3000); // positions count from 0 there
    QTRY_COMPARE_WITH_TIMEOUT(probe->on(topic("result"), from).size(), 1, 3000);
    QCOMPARE(probe->on(topic("result"), from).at(0).retain, false);
    const QJsonObject ok = json(probe->on(topic("result"), from).at(0).payload);
    QCOMPARE(ok.value("topic").toString(), QStringLiteral("zorvik/station-a/channel/1/antenna/set"));
    QCOMPARE(ok.value("status").toInt(), 200);
    QCOMPARE(done.size(), 1);
    const auto origin = done.at(0).at(0).value<Station::Origin>();
    QCOMPARE(origin.source, Station::Source::Mqtt);
    QCOMPARE(origin.address, QStringLiteral("127.0.0.1:%1").arg(broker->port()));

    // By number, a split, its end, and release.
    QVERIFY(probe->publish(topic("channel/2/antenna/set"), "4"));
    QTRY_COMPARE_WITH_TIMEOUT(a.bench->sim->stateValue("antenna2"), 3, 3000);
    QVERIFY(probe->waitFor(topic("channel/2/antenna"), "Ant 4"));
    QVERIFY(probe->publish(topic("channel/2/split/set"), R"({"rx": 5, "tx": 2})"));
    QTRY_COMPARE_WITH_TIMEOUT(channelOf(probe->last(topic("state")), 2).value("split").toObject().value("tx").toInt(),
                              2, 3000);
    QVERIFY(probe->publish(topic("channel/2/split/set"), "off"));
    QTRY_VERIFY_WITH_TIMEOUT(channelOf(probe->last(topic("state")), 2).value("split").isNull(), 3000);
    QVERIFY(probe->publish(topic("channel/1/antenna/set"), "release"));
    QVERIFY(probe->waitFor(topic("channel/1/antenna"), "Released"));

    // A renamed antenna is a new option: discovery is published again.
    from = probe->messages().size();
    a.bench->store({{"K2_1", "Beverage"}});
    a.bench->station->loadSettings();
    QTRY_VERIFY_WITH_TIMEOUT(!probe->on("homeassistant/select/station-a/channel_1_antenna/config", from).isEmpty(),
                             3000);
    QVERIFY(json(probe->last("homeassistant/select/station-a/channel_1_antenna/config"))
                .value("options")
                .toArray()
                .contains("Beverage"));
    // Home Assistant coming online asks for it too.
    from = probe->messages().size();
    QVERIFY(probe->publish("homeassistant/status", "online"));
    QTRY_COMPARE_WITH_TIMEOUT(probe->on("homeassistant/sensor/station-a/channel_2_band/config", from).size(), 1, 3000);
}

void tst_MqttBridge::retainedCommandIsIgnoredAndCleared()
{
    QVERIFY(broker->start());
    probe = std::make_unique<MqttProbe>();
    QVERIFY(probe->connect(broker->port()));
    QVERIFY(startStation(a, Link::Lan, "Station A", {}, false));
    const QByteArray set = "zorvik/station-a/channel/1/antenna/set";
    QVERIFY(probe->publish(set, "2", true));
    QVERIFY(probe->waitFor(set, "2"));
    const int before = a.bench->sim->stateValue("antenna1");
    const int from = a.bench->sim->lineCount();

    a.bridge->apply(settings());
    QVERIFY(waitConnected(*a.bridge));
    // Cleared: the empty retained message replaces it...
    QVERIFY(probe->waitFor(set, ""));
    // ...and nothing reached the box, while the box went on answering.
    QVERIFY(a.bench->waitForReplies(3));
    QCOMPARE(a.bench->commandsReceived(from), QStringList());
    QCOMPARE(a.bench->sim->stateValue("antenna1"), before);
    QVERIFY(probe->on("zorvik/station-a/result").isEmpty());
    // A subscriber that comes now is handed the station's retained topics and no command.
    MqttProbe late;
    QVERIFY(late.connect(broker->port(), "zorvik/station-a/#"));
    QVERIFY(late.waitFor("zorvik/station-a/status", "online"));
    QTRY_VERIFY_WITH_TIMEOUT(!late.last("zorvik/station-a/state").isNull(), 3000);
    QVERIFY(late.on("zorvik/station-a/state").constFirst().retain);
    QVERIFY(late.on(set).isEmpty());
}

void tst_MqttBridge::refusalsOnResult_data()
{
    QTest::addColumn<QString>("how"); // what makes the station refuse
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("code");
    QTest::newRow("receive-only") << "" << QByteArray("5") << 422 << "receive_only";
    QTest::newRow("transmitting") << "tx" << QByteArray("2") << 423 << "transmitting";
    QTest::newRow("locked") << "lock" << QByteArray("2") << 423 << "locked";
    QTest::newRow("link down") << "disconnect" << QByteArray("2") << 503 << "box_unavailable";
    QTest::newRow("no such antenna") << "" << QByteArray("7") << 400 << "bad_request";
}

void tst_MqttBridge::refusalsOnResult()
{
    QFETCH(QString, how);
    QFETCH(QByteArray, payload);
    QFETCH(int, status);
    QFETCH(QString, code);
    QVERIFY(broker->start());
    probe = std::make_unique<MqttProbe>();
    QVERIFY(probe->connect(broker->port()));
    QVERIFY(startStation(a, Link::Lan, "Station A", {{"RXONLY_5", 1}}));
    QVERIFY(waitConnected(*a.bridge));
    QVERIFY(probe->waitFor(topic("status"), "online"));
    QTRY_VERIFY_WITH_TIMEOUT(!probe->last(topic("alarm")).isNull(), 3000);
    Station &station = *a.bench->station;
    if (how == "tx") {
        QVERIFY(a.bench->sim->control("tx 1 on"));
        QTRY_VERIFY_WITH_TIMEOUT(station.deviceState().transmitting[1] != 0, 3000);
        QVERIFY(probe->waitFor(topic("channel/1/transmitting"), "ON"));
    } else if (how == "lock") {
        station.setRemoteLocked(true);
    } else if (how == "disconnect") {
        station.disconnectBox();
        QTRY_COMPARE_WITH_TIMEOUT(
            json(probe->last(topic("state"))).value("link").toObject().value("connected").toBool(), false, 3000);
    }
    const QByteArray shown = probe->last(topic("channel/1/antenna"));
    const int from = a.bench->sim->lineCount();
    const int heard = probe->messages().size();
    QVERIFY(probe->publish(topic("channel/1/antenna/set"), payload));
    QTRY_COMPARE_WITH_TIMEOUT(probe->on(topic("result"), heard).size(), 1, 3000);
    const QJsonObject result = json(probe->on(topic("result"), heard).at(0).payload);
    QCOMPARE(result.value("topic").toString(), QStringLiteral("zorvik/station-a/channel/1/antenna/set"));
    QCOMPARE(result.value("status").toInt(), status);
    QCOMPARE(result.value("error").toObject().value("code").toString(), code);
    QVERIFY(!result.value("error").toObject().value("message").toString().isEmpty());
    // Refused is never carried out: the box hears nothing, the select shows what it shows.
    if (how != "disconnect")
        QVERIFY(a.bench->waitForReplies(2));
    QCOMPARE(a.bench->commandsReceived(from), QStringList());
    QCOMPARE(probe->last(topic("channel/1/antenna")), shown);
}

void tst_MqttBridge::survivesTheBrokersRestart()
{
    QFETCH(Link, link);
    QVERIFY(broker->start());
    QVERIFY(startStation(a, link, "Station A"));
    QVERIFY(waitConnected(*a.bridge));
    QSignalSpy told(a.bridge.get(), &MqttBridge::statusChanged);
    // Waits of 0.1, 0.2, 0.4, 0.8, 1.6 s, then 2 s: told in whole seconds, rounded up.
    a.bridge->setBackOff(100, 2000);

    QElapsedTimer away;
    away.start();
    broker->stop();
    QTRY_COMPARE_WITH_TIMEOUT(a.bridge->status(), MqttBridge::Status::Unreachable, 3000);
    const QString down = QStringLiteral("MQTT: cannot reach 127.0.0.1:%1; trying again in ").arg(broker->port());
    QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty() && told.last().at(1).toString() == down + "1 s", 3000);
    // Attempts fail while it is away, each waiting twice as long, and the station goes on.
    QTRY_VERIFY_WITH_TIMEOUT(told.last().at(1).toString() == down + "2 s", 5000);
    // Each text is told once, not at every attempt.
    QStringList texts;
    for (const QList<QVariant> &each : told)
        texts << each.at(1).toString();
    QCOMPARE(texts.count(down + "1 s"), 1);
    QCOMPARE(a.bridge->status(), MqttBridge::Status::Unreachable);
    QVERIFY(a.bench->waitForReplies(2));
    // The broker stays away 10 s, as a restarted broker's host may; the station polls on.
    QVERIFY(QTest::qWaitFor([&away] { return away.elapsed() >= 10000; }, 12000));
    QVERIFY(a.bench->waitForReplies(2));
    QCOMPARE(told.last().at(1).toString(), down + "2 s");

    // Back, with nothing retained: the bridge reconnects and publishes its state again.
    QVERIFY(broker->start());
    QVERIFY(waitConnected(*a.bridge, 3000));
    probe = std::make_unique<MqttProbe>();
    QVERIFY(probe->connect(broker->port()));
    QVERIFY(probe->waitFor(topic("status"), "online"));
    QTRY_VERIFY_WITH_TIMEOUT(!probe->last(topic("state")).isNull(), 3000);
    QVERIFY(probe->on(topic("state")).constFirst().retain);
    QTRY_VERIFY_WITH_TIMEOUT(!probe->last("homeassistant/select/station-a/channel_1_antenna/config").isNull(), 3000);
    // And takes commands again.
    QVERIFY(probe->publish(topic("channel/1/antenna/set"), "2"));
    QVERIFY(probe->waitFor(topic("channel/1/antenna"), "Ant 2"));
}

void tst_MqttBridge::twoStationsStayApart()
{
    QVERIFY(broker->start());
    probe = std::make_unique<MqttProbe>();
    QVERIFY(probe->connect(broker->port()));
    QVERIFY(startStation(a, Link::Lan, "Station A"));
    QVERIFY(startStation(b, Link::Serial, "Station B"));
    QVERIFY(waitConnected(*a.bridge));
    QVERIFY(waitConnected(*b.bridge));
    QCOMPARE(b.bridge->base(), QStringLiteral("zorvik/station-b"));
    QVERIFY(probe->waitFor("zorvik/station-a/status", "online"));
    QVERIFY(probe->waitFor("zorvik/station-b/status", "online"));
    // Each has said all it says at first.
    for (const QByteArray &station : {QByteArray("station-a"), QByteArray("station-b")}) {
        QVERIFY(probe->waitFor("zorvik/" + station + "/channel/2/transmitting", "OFF"));
        for (const char *object : {"select/%1/channel_2_antenna", "binary_sensor/%1/alarm", "sensor/%1/channel_2_band",
                                   "binary_sensor/%1/channel_2_transmitting"}) {
            const QByteArray config = "homeassistant/" + QByteArray(object).replace("%1", station) + "/config";
            QTRY_VERIFY2_WITH_TIMEOUT(!probe->last(config).isNull(), config.constData(), 3000);
        }
    }

    const int fromB = b.bench->sim->lineCount();
    const int heard = probe->messages().size();
    QVERIFY(probe->publish("zorvik/station-a/channel/1/antenna/set", "3"));
    QVERIFY(probe->waitFor("zorvik/station-a/channel/1/antenna", "Ant 3"));
    QTRY_COMPARE_WITH_TIMEOUT(probe->on("zorvik/station-a/result", heard).size(), 1, 3000);
    // Station B heard nothing of it, and said nothing new.
    QVERIFY(b.bench->waitForReplies(2));
    QCOMPARE(b.bench->commandsReceived(fromB), QStringList());
    for (int i = heard; i < probe->messages().size(); ++i)
        QVERIFY2(!probe->messages().at(i).topic.contains("station-b"), probe->messages().at(i).topic.constData());

    // The other way round.
    QVERIFY(probe->publish("zorvik/station-b/channel/2/antenna/set", "6"));
    QVERIFY(probe->waitFor("zorvik/station-b/channel/2/antenna", "Ant 6"));
    QCOMPARE(probe->last("zorvik/station-a/channel/2/antenna"), QByteArray("Released"));
}

void tst_MqttBridge::wrongPasswordIsRefused()
{
    QVERIFY(broker->requirePassword("operator", "s3cret"));
    QVERIFY(broker->start());
    QVERIFY(startStation(a, Link::Lan, "Station A", {}, false));
    QSignalSpy told(a.bridge.get(), &MqttBridge::statusChanged);
    PanelSettings::Mqtt mqtt = settings();
    mqtt.user = QStringLiteral("operator");
    mqtt.password = QStringLiteral("wrong");
    a.bridge->apply(mqtt);
    QTRY_COMPARE_WITH_TIMEOUT(a.bridge->status(), MqttBridge::Status::Refused, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(
        !told.isEmpty() && told.last().at(0).value<MqttBridge::Status>() == MqttBridge::Status::Refused, 3000);
    const QString text = told.last().at(1).toString();
    // (mosquitto answers a wrong password with "not authorised", MQTT 3.1.1's code 5.)
    QCOMPARE(text, QStringLiteral("MQTT: the broker refused the connection: not authorised"));
    // It keeps trying, and keeps saying why, without blocking the station.
    const int attempts = broker->logged("New connection from");
    QTRY_VERIFY_WITH_TIMEOUT(broker->logged("New connection from") >= attempts + 2, 5000);
    QVERIFY(a.bench->waitForReplies(2));
    QCOMPARE(a.bridge->status(), MqttBridge::Status::Refused);
    QCOMPARE(told.last().at(1).toString(), text);

    mqtt.password = QStringLiteral("s3cret");
    a.bridge->apply(mqtt);
    QVERIFY(waitConnected(*a.bridge));
}

void tst_MqttBridge::endsOfflineAndRemovesOnlyWhenSwitchedOff()
{
    QVERIFY(broker->start());
    probe = std::make_unique<MqttProbe>();
    QVERIFY(probe->connect(broker->port()));
    const QByteArray config = "homeassistant/select/station-a/channel_1_antenna/config";

    // Destroyed (the program ends): offline, the entities stay.
    QVERIFY(startStation(a, Link::Lan, "Station A"));
    QVERIFY(probe->waitFor("zorvik/station-a/status", "online"));
    QTRY_VERIFY_WITH_TIMEOUT(!probe->last(config).isEmpty(), 3000);
    a.bridge.reset();
    QVERIFY(probe->waitFor("zorvik/station-a/status", "offline"));
    QVERIFY(!probe->last(config).isEmpty());
    MqttProbe late;
    QVERIFY(late.connect(broker->port()));
    QVERIFY(late.waitFor("zorvik/station-a/status", "offline"));
    QVERIFY(late.on("zorvik/station-a/status").constFirst().retain);

    // Switched off by the operator: the entities are removed too.
    a.bridge = std::make_unique<MqttBridge>(*a.bench->station);
    QSignalSpy told(a.bridge.get(), &MqttBridge::statusChanged);
    a.bridge->apply(settings());
    QVERIFY(probe->waitFor("zorvik/station-a/status", "online"));
    // A new ID moves the station to a new base: the old entities go, the new ones come.
    a.bench->store({{"ID", "Station C"}});
    a.bench->station->loadSettings();
    a.bridge->apply(settings());
    QCOMPARE(a.bridge->base(), QStringLiteral("zorvik/station-c"));
    QVERIFY(probe->waitFor(config, ""));
    QVERIFY(probe->waitFor("zorvik/station-a/status", "offline"));
    QVERIFY(probe->waitFor("zorvik/station-c/status", "online"));
    const QByteArray moved = "homeassistant/select/station-c/channel_1_antenna/config";
    QTRY_VERIFY_WITH_TIMEOUT(!probe->last(moved).isEmpty(), 3000);
    QCOMPARE(json(probe->last(moved)).value("device").toObject().value("name").toString(), QStringLiteral("Station C"));
    // Nothing was named after the new ID under the old base.
    for (const MqttProbe::Received &message : probe->messages())
        QVERIFY2(!message.topic.contains("zorvik_station-a"), message.topic.constData());

    PanelSettings::Mqtt off = settings();
    off.on = false;
    a.bridge->apply(off);
    QCOMPARE(a.bridge->status(), MqttBridge::Status::Off);
    QVERIFY(probe->waitFor("zorvik/station-c/status", "offline"));
    QVERIFY(probe->waitFor(moved, ""));
    QVERIFY(probe->waitFor("homeassistant/binary_sensor/station-c/alarm/config", ""));
    QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty() && told.last().at(1).toString() == QStringLiteral("MQTT off"), 3000);
}

void tst_MqttBridge::silentBrokerCostsNoProcessorTime()
{
    // A peer that takes the TCP connection and never answers it: while the bridge waits for
    // the broker's answer, nothing spins.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    QVERIFY(broker->start()); // (unused: the settings name the silent peer)
    QVERIFY(startStation(a, Link::Lan, "Station A", {}, false));
    PanelSettings::Mqtt mqtt = settings();
    mqtt.port = silent.serverPort();
    const std::clock_t before = std::clock();
    QElapsedTimer wall;
    wall.start();
    a.bridge->apply(mqtt);
    // The event loop runs without the test's pauses between its turns (QTest's waits sleep
    // between them, which would hide a spin) until the station has read a few more replies.
    const quint64 target = a.bench->datagramsRead() + 5;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if ((silent.hasPendingConnections() && a.bench->datagramsRead() >= target) || wall.hasExpired(5000))
            loop.quit();
    });
    check.start(20);
    loop.exec();
    QVERIFY(silent.hasPendingConnections());
    QVERIFY(a.bench->datagramsRead() >= target);
    const qint64 cpuMs = qint64(std::clock() - before) * 1000 / CLOCKS_PER_SEC;
    QCOMPARE(a.bridge->status(), MqttBridge::Status::Connecting);
    QVERIFY2(cpuMs < wall.elapsed() / 2,
             qPrintable(QStringLiteral("%1 ms of processor time in %2 ms").arg(cpuMs).arg(wall.elapsed())));
}

QTEST_GUILESS_MAIN(tst_MqttBridge)
#include "tst_mqttbridge.moc"

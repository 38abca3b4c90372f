// zorvik-panel --headless as a station computer runs it: no display and no platform
// plugin asked for, the settings file beside the program, talmek-sim as the box on either
// link. It connects at once, follows the logger's word through the same door as a press,
// logs each step with its time, and ends with exit code 0 on SIGTERM, SIGINT and SIGHUP; a
// bad command line or settings file ends it at once with exit code 2. On a real mosquitto
// broker it publishes its state, takes commands, leaves "offline" behind when killed, and
// keeps apart from another station on the same broker.

#include "loopbackaddress.h"
#include "mosquittobroker.h"
#include "radioinfodatagram.h"
#include "talmeksimprocess.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>

class tst_Headless : public QObject
{
    Q_OBJECT

private slots:
    void runsTheStation_data();
    void runsTheStation();
    void refusesBadStarts_data();
    void refusesBadStarts();
    void servesRemoteControl_data();
    void servesRemoteControl();
    void bridgesToTheBroker_data();
    void bridgesToTheBroker();
    void stationsShareABrokerApartAndLeaveTheirWill();
};

namespace {
// The panel, copied into a folder of the test's own so that it keeps its settings there.
struct PanelCopy
{
    PanelCopy()
    {
        program = dir.filePath(QStringLiteral("zorvik-panel"));
        QFile::copy(qEnvironmentVariable("ZORVIK_PANEL"), program);
    }
    void store(const QVariantMap &keys, const QString &file = QStringLiteral("settings.ini")) const
    {
        QSettings settings(dir.filePath(file), QSettings::IniFormat);
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }
    // Started with nothing that names a display or a platform.
    void start(QProcess &process, const QStringList &arguments) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
    }
    QTemporaryDir dir;
    QString program;
};
} // namespace

void tst_Headless::runsTheStation_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("up"); // the line that says the box answers

    QTest::newRow("LAN, SIGTERM") << false << QStringList{"--headless"} << int(SIGTERM)
                                  << "LAN link up: the box answers";
    QTest::newRow("serial, profile, SIGINT")
        << true << QStringList{"--headless", "shack"} << int(SIGINT) << "The box answers";
    QTest::newRow("LAN chosen for the run, SIGHUP")
        << false << QStringList{"--headless", "--link", "lan"} << int(SIGHUP) << "LAN link up: the box answers";
}

void tst_Headless::runsTheStation()
{
    QFETCH(bool, serial);
    QFETCH(QStringList, arguments);
    QFETCH(int, signal);
    QFETCH(QString, up);

    TalmekSimProcess sim;
    QVERIFY(sim.start(serial ? QStringList{"--hex", "--pty"} : QStringList{"--hex", "--udp", "0"}));
    PanelCopy panel;
    const quint16 loggerPort = LoopbackAddress::freeUdpPort();
    QVERIFY(loggerPort != 0);
    QVariantMap keys{{"FOLLOW1", "logger"}, {"LOGGER_PORT", loggerPort}, {"BAND1_20", 3}, {"K3_1", "Yagi"}};
    if (serial) {
        keys.insert({{"serialMode", 2}, {"comport", sim.ptyPath()}});
    } else {
        const QString port = sim.waitForLine("UDP 127.0.0.1:", 0, 5000).section(QLatin1Char(':'), 1);
        QVERIFY(!port.isEmpty());
        // The file names the serial link where the command line chooses the LAN.
        keys.insert({{"serialMode", arguments.contains("lan") ? 2 : 1}, {"IP", "127.0.0.1"}, {"PORT", port}});
    }
    panel.store(keys,
                arguments.contains("shack") ? QStringLiteral("settingsshack.ini") : QStringLiteral("settings.ini"));

    QProcess station;
    station.setProcessChannelMode(QProcess::SeparateChannels);
    panel.start(station, arguments);
    QVERIFY(station.waitForStarted(5000));
    QString log;
    const auto logged = [&](const QString &text) {
        log += QString::fromLocal8Bit(station.readAllStandardError());
        return log.contains(text);
    };
    QTRY_VERIFY2_WITH_TIMEOUT(logged(up), qPrintable(log), 10000);
    QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("listening for the logger")), qPrintable(log), 5000);

    // The logger puts radio 1 on 20 m: channel 1 goes to Ant 3, and the log says who asked.
    QUdpSocket logger;
    const QByteArray on20m = RadioInfoDatagram::example("1", "<Freq>1407400</Freq>", "False", "");
    QCOMPARE(logger.writeDatagram(on20m, QHostAddress::LocalHost, loggerPort), qint64(on20m.size()));
    QTRY_COMPARE_WITH_TIMEOUT(sim.stateValue("antenna1"), 2, 5000);
    QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("Channel 1: Ant 3 (Yagi) selected (logger)")), qPrintable(log),
                              3000);
    // Every line starts with the time of day.
    for (const QString &line : log.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d ")).match(line).hasMatch(), qPrintable(line));

    QCOMPARE(::kill(pid_t(station.processId()), signal), 0);
    QVERIFY2(station.waitForFinished(10000), "the station did not stop");
    QCOMPARE(station.exitStatus(), QProcess::NormalExit);
    QVERIFY2(station.exitCode() == 0, qPrintable(log));
    QVERIFY(sim.quit());
}

void tst_Headless::refusesBadStarts_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("settings"); // "file", "none" or "folder"
    QTest::addColumn<QString>("said");

    QTest::newRow("unknown link") << QStringList{"--headless", "--link", "usb"} << "file"
                                  << "--link takes serial or lan";
    QTest::newRow("unknown option") << QStringList{"--headless", "--frobnicate"} << "file"
                                    << "frobnicate";
    QTest::newRow("no settings file") << QStringList{"--headless", "elsewhere"} << "none"
                                      << "does not exist";
    QTest::newRow("settings file is a folder") << QStringList{"--headless"} << "folder"
                                               << "cannot be read";
}

void tst_Headless::refusesBadStarts()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, settings);
    QFETCH(QString, said);

    PanelCopy panel;
    if (settings == QLatin1String("file"))
        panel.store({{"serialMode", 1}, {"IP", "127.0.0.1"}, {"PORT", "9"}});
    else if (settings == QLatin1String("folder"))
        QVERIFY(QDir(panel.dir.path()).mkdir(QStringLiteral("settings.ini")));
    QProcess station;
    panel.start(station, arguments);
    QVERIFY(station.waitForFinished(10000));
    const QString error = QString::fromLocal8Bit(station.readAllStandardError());
    QCOMPARE(station.exitCode(), 2);
    QVERIFY2(error.contains(said), qPrintable(error));
}

namespace {
// One HTTP request from `from` to the station's server, and the whole answer (the server
// closes after it, as asked); empty when none came in time.
QByteArray http(const QHostAddress &from, const QHostAddress &to, quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    if (!socket.bind(from))
        return {};
    socket.connectToHost(to, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(request);
    QByteArray answer;
    QElapsedTimer waited;
    waited.start();
    while (socket.state() == QAbstractSocket::ConnectedState && waited.elapsed() < 5000) {
        socket.waitForReadyRead(200);
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

QByteArray requestOf(const QByteArray &method, const QByteArray &path, const QByteArray &host,
                     const QByteArray &extra = {}, const QByteArray &body = {})
{
    QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n" + extra;
    if (!body.isEmpty())
        request += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    return request + "\r\n" + body;
}
} // namespace

// Rows: the run's --remote, where the file has it listen, and the address a client comes
// from: this computer's own needs no token; another (127.0.0.2, standing in for the LAN)
// needs the control token, which network mode makes and stores when the file has none.
void tst_Headless::servesRemoteControl_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("listen"); // REMOTE_ADDRESS in the file
    QTest::addColumn<QString>("client");
    QTest::newRow("local") << "local"
                           << ""
                           << "127.0.0.1";
    QTest::newRow("network without a token") << "network"
                                             << "127.0.0.2"
                                             << "127.0.0.2";
    QTest::newRow("port taken") << "local"
                                << ""
                                << "";
}

void tst_Headless::servesRemoteControl()
{
    QFETCH(QString, mode);
    QFETCH(QString, listen);
    QFETCH(QString, client);

    TalmekSimProcess sim;
    QVERIFY(sim.start({"--hex", "--udp", "0"}));
    const QString boxPort = sim.waitForLine("UDP 127.0.0.1:", 0, 5000).section(QLatin1Char(':'), 1);
    QVERIFY(!boxPort.isEmpty());
    PanelCopy panel;
    QVariantMap keys{{"serialMode", 1}, {"IP", "127.0.0.1"}, {"PORT", boxPort}, {"K3_1", "Yagi"}};
    if (!listen.isEmpty())
        keys.insert(QStringLiteral("REMOTE_ADDRESS"), listen);
    panel.store(keys);
    const QString file = panel.dir.filePath(QStringLiteral("settings.ini"));

    // Another program on the port: the station goes on without remote control.
    QTcpServer other;
    if (client.isEmpty())
        QVERIFY(other.listen(QHostAddress::LocalHost));
    QProcess station;
    panel.start(station, {"--headless", "--remote", mode, "--remote-port", QString::number(other.serverPort())});
    QVERIFY(station.waitForStarted(5000));
    QString log;
    const auto logged = [&](const QString &text) {
        log += QString::fromLocal8Bit(station.readAllStandardError());
        return log.contains(text);
    };
    if (client.isEmpty()) {
        QTRY_VERIFY2_WITH_TIMEOUT(
            logged(QStringLiteral("Remote control: cannot listen on 127.0.0.1:%1: ").arg(other.serverPort())),
            qPrintable(log), 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("LAN link up: the box answers")), qPrintable(log), 10000);
        QVERIFY(!log.contains(QStringLiteral("Remote control on")));
        QCOMPARE(::kill(pid_t(station.processId()), SIGTERM), 0);
        QVERIFY2(station.waitForFinished(10000), "the station did not stop");
        QVERIFY2(station.exitCode() == 0, qPrintable(log));
        return;
    }
    const QString host = listen.isEmpty() ? QStringLiteral("127.0.0.1") : listen;
    QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("Remote control on http://%1:").arg(host)), qPrintable(log), 10000);
    const QRegularExpressionMatch on =
        QRegularExpression(QStringLiteral("Remote control on http://[0-9.]+:(\\d+)/\n")).match(log);
    QVERIFY2(on.hasMatch(), qPrintable(log));
    const quint16 port = quint16(on.captured(1).toUInt());
    QVERIFY(port != 0);
    QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("LAN link up: the box answers")), qPrintable(log), 10000);

    QSettings stored(file, QSettings::IniFormat);
    // The run's choices are not stored...
    QVERIFY(!stored.contains(QStringLiteral("REMOTE")));
    QVERIFY(!stored.contains(QStringLiteral("REMOTE_PORT")));
    // ...but a token made for the network is, privately, and never shown.
    const QString token = stored.value(QStringLiteral("REMOTE_TOKEN")).toString();
    if (mode == QLatin1String("network")) {
        QCOMPARE(token.size(), 43);
        QVERIFY2(log.contains(QStringLiteral("Remote control: made a new control token, stored in ") + file),
                 qPrintable(log));
        QVERIFY(!log.contains(token));
        QCOMPARE(QFile(file).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    } else {
        QVERIFY(token.isEmpty());
        QVERIFY(!log.contains(QStringLiteral("made a new control token")));
    }

    const QHostAddress from(client);
    const QHostAddress to(host);
    const QByteArray hostHeader = host.toLatin1() + ':' + QByteArray::number(port);
    const QByteArray bearer = token.isEmpty() ? QByteArray() : "Authorization: Bearer " + token.toLatin1() + "\r\n";
    if (!token.isEmpty()) {
        // From afar without the token: shut out.
        const QByteArray refused = http(from, to, port, requestOf("GET", "/api/v1/state", hostHeader));
        QVERIFY2(refused.startsWith("HTTP/1.1 401"), refused.constData());
    }
    const QByteArray state = http(from, to, port, requestOf("GET", "/api/v1/state", hostHeader, bearer));
    QVERIFY2(state.startsWith("HTTP/1.1 200"), state.constData());
    QVERIFY2(state.contains("\"name\":\"Yagi\"") || state.contains("\"name\": \"Yagi\""), state.constData());

    // A switch through the API reaches the box, and the log says who made it.
    const QByteArray put =
        http(from, to, port, requestOf("PUT", "/api/v1/channels/1/antenna", hostHeader, bearer, "{\"antenna\": 3}"));
    QVERIFY2(put.startsWith("HTTP/1.1 200"), put.constData());
    QTRY_COMPARE_WITH_TIMEOUT(sim.stateValue("antenna1"), 2, 5000);
    QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("Channel 1: Ant 3 (Yagi) selected (remote %1)").arg(client)),
                              qPrintable(log), 3000);

    QCOMPARE(::kill(pid_t(station.processId()), SIGTERM), 0);
    QVERIFY2(station.waitForFinished(10000), "the station did not stop");
    QVERIFY2(station.exitCode() == 0, qPrintable(log));
    QVERIFY(sim.quit());
}

namespace {
// One headless station on its own talmek-sim (over `link`), run with `arguments` after
// --headless, its log gathered as it comes.
struct HeadlessStation
{
    bool start(bool serial, const QVariantMap &keys, const QStringList &arguments)
    {
        if (!sim.start(serial ? QStringList{"--hex", "--pty"} : QStringList{"--hex", "--udp", "0"}))
            return false;
        QVariantMap all = keys;
        if (serial) {
            all.insert({{"serialMode", 2}, {"comport", sim.ptyPath()}});
        } else {
            const QString port = sim.waitForLine("UDP 127.0.0.1:", 0, 5000).section(QLatin1Char(':'), 1);
            if (port.isEmpty())
                return false;
            all.insert({{"serialMode", 1}, {"IP", "127.0.0.1"}, {"PORT", port}});
        }
        panel.store(all);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        panel.start(process, QStringList{"--headless"} + arguments);
        return process.waitForStarted(5000);
    }
    bool logged(const QString &text)
    {
        log += QString::fromLocal8Bit(process.readAllStandardError());
        return log.contains(text);
    }
    // SIGTERM, and true for a clean end with exit code 0.
    bool stop()
    {
        if (::kill(pid_t(process.processId()), SIGTERM) != 0 || !process.waitForFinished(10000))
            return false;
        logged(QString());
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
    QString settingsFile() const { return panel.dir.filePath(QStringLiteral("settings.ini")); }

    TalmekSimProcess sim;
    PanelCopy panel;
    QProcess process;
    QString log;
};
} // namespace

// Rows: the link. The run's --mqtt options bridge a station whose file says nothing of a
// broker: online and the state retained, a command on the broker reaches the box and its
// outcome is published, the log names who switched; the options are not stored, and a clean
// end leaves "offline".
void tst_Headless::bridgesToTheBroker_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("serial") << true;
    QTest::newRow("LAN") << false;
}

void tst_Headless::bridgesToTheBroker()
{
    QFETCH(bool, serial);
    MosquittoBroker broker;
    QVERIFY(broker.start());
    const QByteArray base = "zorvik/shack-a-k1abc";
    MqttProbe watcher;
    QVERIFY(watcher.connect(broker.port(), "zorvik/#"));

    HeadlessStation station;
    QVERIFY(station.start(serial, {{"ID", "Shack A / K1ABC"}, {"K3_1", "Yagi"}},
                          {"--mqtt", "on", "--mqtt-port", QString::number(broker.port())}));
    const QString where = QStringLiteral("127.0.0.1:%1").arg(broker.port());
    QTRY_VERIFY2_WITH_TIMEOUT(station.logged(QStringLiteral("MQTT: connected to %1 as %2").arg(where, base)),
                              qPrintable(station.log), 10000);
    QVERIFY2(watcher.waitFor(base + "/status", "online", 5000), qPrintable(station.log));
    QTRY_VERIFY2_WITH_TIMEOUT(
        station.logged(serial ? QStringLiteral("The box answers") : QStringLiteral("LAN link up: the box answers")),
        qPrintable(station.log), 10000);

    // A client that comes later finds the station's state retained.
    MqttProbe late;
    QVERIFY(late.connect(broker.port(), base + "/#"));
    QTRY_VERIFY_WITH_TIMEOUT(!late.on(base + "/state").isEmpty(), 3000);
    QVERIFY(late.on(base + "/state").first().retain);
    QVERIFY(late.on(base + "/status").first().retain);
    QCOMPARE(late.on(base + "/status").first().payload, QByteArray("online"));
    QVERIFY(late.last(base + "/state").contains("Yagi"));

    // A command on the broker switches the box, and the station says who asked.
    QVERIFY(watcher.publish(base + "/channel/1/antenna/set", "3"));
    QTRY_COMPARE_WITH_TIMEOUT(station.sim.stateValue("antenna1"), 2, 5000);
    QTRY_VERIFY2_WITH_TIMEOUT(station.logged(QStringLiteral("Channel 1: Ant 3 (Yagi) selected (MQTT %1)").arg(where)),
                              qPrintable(station.log), 3000);
    QVERIFY(watcher.waitFor(base + "/channel/1/antenna", "Yagi", 3000));
    QTRY_VERIFY_WITH_TIMEOUT(!watcher.on(base + "/result").isEmpty(), 3000);
    QVERIFY2(watcher.last(base + "/result").contains("\"status\":200")
                 || watcher.last(base + "/result").contains("\"status\": 200"),
             watcher.last(base + "/result").constData());

    // The run's choices are not stored.
    QSettings stored(station.settingsFile(), QSettings::IniFormat);
    for (const char *key : {"MQTT", "MQTT_PORT", "MQTT_HOST", "MQTT_BASE"})
        QVERIFY2(!stored.contains(QLatin1String(key)), key);

    QVERIFY2(station.stop(), qPrintable(station.log));
    QVERIFY2(watcher.waitFor(base + "/status", "offline", 3000), qPrintable(station.log));
    QVERIFY(station.sim.quit());
}

// Two stations with their own IDs on one broker: a command for one reaches its box alone, and
// only it answers; killed without a word, a station is shown offline by the broker's will
// while the other stays online.
void tst_Headless::stationsShareABrokerApartAndLeaveTheirWill()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttProbe watcher;
    QVERIFY(watcher.connect(broker.port(), "zorvik/#"));
    const QStringList run{"--mqtt", "on", "--mqtt-port", QString::number(broker.port())};
    HeadlessStation a;
    HeadlessStation b;
    QVERIFY(a.start(false, {{"ID", "Station A"}}, run));
    QVERIFY(b.start(false, {{"ID", "Station B"}}, run));
    for (const QByteArray &base : {QByteArray("zorvik/station-a"), QByteArray("zorvik/station-b")})
        QVERIFY2(watcher.waitFor(base + "/status", "online", 10000), qPrintable(a.log + b.log));
    QTRY_VERIFY2_WITH_TIMEOUT(a.logged(QStringLiteral("LAN link up: the box answers")), qPrintable(a.log), 10000);
    QTRY_VERIFY2_WITH_TIMEOUT(b.logged(QStringLiteral("LAN link up: the box answers")), qPrintable(b.log), 10000);
    const int antennaOfB = b.sim.stateValue("antenna2");

    QVERIFY(watcher.publish("zorvik/station-a/channel/2/antenna/set", "4"));
    QTRY_COMPARE_WITH_TIMEOUT(a.sim.stateValue("antenna2"), 3, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!watcher.on("zorvik/station-a/result").isEmpty(), 3000);
    // Give B every chance to have taken it: A's own echo has come back by now.
    QVERIFY(watcher.waitFor("zorvik/station-a/channel/2/antenna", "Ant 4", 3000));
    QCOMPARE(b.sim.stateValue("antenna2"), antennaOfB);
    QVERIFY(watcher.on("zorvik/station-b/result").isEmpty());
    QVERIFY(!b.logged(QStringLiteral("selected (MQTT")));

    // SIGKILL: no clean goodbye; the broker sees the connection close and publishes the will.
    QCOMPARE(::kill(pid_t(a.process.processId()), SIGKILL), 0);
    QVERIFY(a.process.waitForFinished(5000));
    QVERIFY2(watcher.waitFor("zorvik/station-a/status", "offline", 10000), qPrintable(a.log));
    QCOMPARE(watcher.last("zorvik/station-b/status"), QByteArray("online"));
    QVERIFY2(b.stop(), qPrintable(b.log));
    QVERIFY(a.sim.quit());
    QVERIFY(b.sim.quit());
}

QTEST_GUILESS_MAIN(tst_Headless)
#include "tst_headless.moc"

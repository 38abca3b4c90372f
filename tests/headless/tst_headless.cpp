// zorvik-panel --headless as a station computer runs it: no display and no platform
// plugin asked for, the settings file beside the program, talmek-sim as the box on either
// link. It connects at once, follows the logger's word through the same door as a press,
// logs each step with its time, and ends with exit code 0 on SIGTERM, SIGINT and SIGHUP; a
// bad command line or settings file ends it at once with exit code 2.

#include "loopbackaddress.h"
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
    QTest::newRow("local") << "local" << "" << "127.0.0.1";
    QTest::newRow("network without a token") << "network" << "127.0.0.2" << "127.0.0.2";
    QTest::newRow("port taken") << "local" << "" << "";
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
    const QByteArray put = http(from, to, port,
                                requestOf("PUT", "/api/v1/channels/1/antenna", hostHeader, bearer, "{\"antenna\": 3}"));
    QVERIFY2(put.startsWith("HTTP/1.1 200"), put.constData());
    QTRY_COMPARE_WITH_TIMEOUT(sim.stateValue("antenna1"), 2, 5000);
    QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("Channel 1: Ant 3 (Yagi) selected (remote %1)").arg(client)),
                              qPrintable(log), 3000);

    QCOMPARE(::kill(pid_t(station.processId()), SIGTERM), 0);
    QVERIFY2(station.waitForFinished(10000), "the station did not stop");
    QVERIFY2(station.exitCode() == 0, qPrintable(log));
    QVERIFY(sim.quit());
}

QTEST_GUILESS_MAIN(tst_Headless)
#include "tst_headless.moc"

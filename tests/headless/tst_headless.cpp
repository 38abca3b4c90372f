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

QTEST_GUILESS_MAIN(tst_Headless)
#include "tst_headless.moc"

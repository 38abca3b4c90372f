// The panel's command line as a user types it: the program itself, run as a process.

#include "talmeksimprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_LINUX
#include <csignal>
#endif

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
#ifdef Q_OS_LINUX
    void stopsCleanlyWhenAsked_data();
    void stopsCleanlyWhenAsked();
#endif
    void connectsAtStart_data();
    void connectsAtStart();
};

// Each row: the arguments, the exit code, and what the output must hold.
void tst_CommandLine::answers_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("output");
    QTest::addColumn<bool>("display"); // a (virtual) display to run on

    const QString panelDir = QFileInfo(qEnvironmentVariable("ZORVIK_PANEL")).absolutePath();
    QTest::newRow("--help names the settings file in use")
        << QStringList{"--help"} << 0
        << QStringList{"[profile]", "--version", "--connect", "Settings file: " + panelDir + "/settings.ini"} << false;
    QTest::newRow("-h with a profile") << QStringList{"field", "-h"} << 0
                                       << QStringList{"Settings file: " + panelDir + "/settingsfield.ini"} << false;
    QTest::newRow("--version") << QStringList{"--version"} << 0 << QStringList{"zorvik-panel 1.2.2"} << false;
    // Only the window's toolkit knows its own options (-platform, -style), so an unknown
    // one is found once it has started.
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << QStringList{"Unknown option 'frobnicate'"}
                                    << true;
    QTest::newRow("--help names the remote options")
        << QStringList{"--help"} << 0 << QStringList{"--remote <local|network>", "--remote-port <port>"} << false;
    QTest::newRow("--remote without --headless")
        << QStringList{"--remote", "local"} << 2 << QStringList{"--remote goes with --headless"} << true;
    QTest::newRow("--remote-port without --headless")
        << QStringList{"--remote-port", "0"} << 2 << QStringList{"--remote-port goes with --headless"} << true;
    QTest::newRow("--remote off") << QStringList{"--headless", "--remote", "off"} << 2
                                  << QStringList{"--remote takes local or network, not \"off\""} << false;
    QTest::newRow("--remote-port too high") << QStringList{"--headless", "--remote-port", "65536"} << 2
                                            << QStringList{"--remote-port takes 0 to 65535, not \"65536\""} << false;
    QTest::newRow("--remote-port not a number") << QStringList{"--headless", "--remote-port", "-1"} << 2
                                                << QStringList{"--remote-port takes 0 to 65535, not \"-1\""} << false;
    QTest::newRow("--help names the MQTT options")
        << QStringList{"--help"} << 0
        << QStringList{"--mqtt <on|off>", "--mqtt-host <host>", "--mqtt-port <port>", "--mqtt-base <base>"} << false;
    QTest::newRow("--mqtt without --headless")
        << QStringList{"--mqtt", "on"} << 2 << QStringList{"--mqtt goes with --headless"} << true;
    QTest::newRow("--mqtt-host without --headless")
        << QStringList{"--mqtt-host", "broker.lan"} << 2 << QStringList{"--mqtt-host goes with --headless"} << true;
    QTest::newRow("--mqtt-port without --headless")
        << QStringList{"--mqtt-port", "1883"} << 2 << QStringList{"--mqtt-port goes with --headless"} << true;
    QTest::newRow("--mqtt-base without --headless")
        << QStringList{"--mqtt-base", "shack"} << 2 << QStringList{"--mqtt-base goes with --headless"} << true;
    QTest::newRow("--mqtt yes") << QStringList{"--headless", "--mqtt", "yes"} << 2
                                << QStringList{"--mqtt takes on or off, not \"yes\""} << false;
    QTest::newRow("--mqtt-port 0") << QStringList{"--headless", "--mqtt-port", "0"} << 2
                                   << QStringList{"--mqtt-port takes 1 to 65535, not \"0\""} << false;
    QTest::newRow("--mqtt-port not a number") << QStringList{"--headless", "--mqtt-port", "broker"} << 2
                                              << QStringList{"--mqtt-port takes 1 to 65535, not \"broker\""} << false;
    QTest::newRow("--mqtt-base with a wildcard")
        << QStringList{"--headless", "--mqtt-base", "zorvik/#"} << 2
        << QStringList{"--mqtt-base takes a topic without + or #, not \"zorvik/#\""} << false;
    QTest::newRow("--mqtt-host empty") << QStringList{"--headless", "--mqtt-host", " "} << 2
                                       << QStringList{"--mqtt-host takes a host name or address"} << false;
    QTest::newRow("the toolkit's own option is no error") << QStringList{"-platform", "offscreen", "--frobnicate"} << 2
                                                          << QStringList{"Unknown option 'frobnicate'"} << true;
}

void tst_CommandLine::answers()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, output);
    QFETCH(bool, display);

    QProcess panel;
    panel.setProcessChannelMode(QProcess::MergedChannels);
    // Without a display, answering must not need one.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (!display)
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    else if (!arguments.contains(QStringLiteral("-platform")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    else
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    panel.setProcessEnvironment(environment);
    panel.start(qEnvironmentVariable("ZORVIK_PANEL"), arguments);
    QVERIFY2(panel.waitForFinished(10000), "the panel did not answer and end");
    const QString text = QString::fromLocal8Bit(panel.readAll());
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QVERIFY2(panel.exitCode() == exitCode, qPrintable(text));
    for (const QString &part : qAsConst(output))
        QVERIFY2(text.contains(part), qPrintable(text));
}

#ifdef Q_OS_LINUX
namespace {
// Whether the process has its own handler for the signal yet (the caught-signals mask).
bool catches(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1U;
    }
    return false;
}
} // namespace

// Asked to stop from outside (log-out, `kill`, Ctrl+C, the terminal closed), the panel
// shuts down as when its window is closed, with exit code 0.
void tst_CommandLine::stopsCleanlyWhenAsked_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void tst_CommandLine::stopsCleanlyWhenAsked()
{
    QFETCH(int, signal);
    QProcess panel;
    panel.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    panel.setProcessEnvironment(environment);
    panel.start(qEnvironmentVariable("ZORVIK_PANEL"), {QStringLiteral("stop-test")});
    QVERIFY(panel.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(catches(panel.processId(), signal) || panel.state() == QProcess::NotRunning, 10000);
    QCOMPARE(panel.state(), QProcess::Running);
    QCOMPARE(::kill(pid_t(panel.processId()), signal), 0);
    QVERIFY2(panel.waitForFinished(10000), "the panel did not stop");
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QVERIFY2(panel.exitCode() == 0, panel.readAll().constData());
}
#endif

void tst_CommandLine::connectsAtStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("settingsFile");

    QTest::newRow("--connect") << QStringList{"--connect"} << "settings.ini";
    QTest::newRow("--connect with a profile") << QStringList{"--connect", "shack"} << "settingsshack.ini";
    QTest::newRow("profile, then --connect") << QStringList{"shack", "--connect"} << "settingsshack.ini";
}

void tst_CommandLine::connectsAtStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, settingsFile);

    TalmekSimProcess sim;
    QVERIFY(sim.start({"--hex", "--udp", "0"}));
    const QString port = sim.waitForLine("UDP 127.0.0.1:", 0, 5000).section(QLatin1Char(':'), 1);
    QVERIFY(!port.isEmpty());
    // A copy of the panel keeps its settings beside itself, in the test's own folder.
    QTemporaryDir dir;
    const QString panelCopy = dir.filePath("zorvik-panel");
    QVERIFY(QFile::copy(qEnvironmentVariable("ZORVIK_PANEL"), panelCopy));
    {
        QSettings settings(dir.filePath(settingsFile), QSettings::IniFormat);
        settings.setValue("serialMode", 1);
        settings.setValue("IP", "127.0.0.1");
        settings.setValue("PORT", port);
        settings.setValue("IPdir", true);
    }

    QProcess panel;
    panel.setProcessChannelMode(QProcess::ForwardedChannels);
    panel.start(panelCopy, arguments); // on the offscreen platform ctest sets
    QVERIFY(panel.waitForStarted(5000));
    // No click: the box is asked for its state and answers.
    const QString asked = sim.waitForLine("RX udp 127.0.0.1:", 0, 10000);
    QVERIFY2(asked.contains("FE 01 FD"), qPrintable(asked));
    QVERIFY(!sim.waitForLine("TX udp 127.0.0.1:", 0, 3000).isEmpty());
    panel.terminate();
    QVERIFY(panel.waitForFinished(5000));
    QVERIFY(sim.quit());
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"

#include "config/labelwrap.h"
#include "config/panelsettings.h"
#include "config/settingsfile.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class tst_SettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void wrap_data();
    void wrap();
    void settingsPath_data();
    void settingsPath();
    void settingsPlace_data();
    void settingsPlace();
    void storedAsUtf8AndEarlierTextStillReads();
    void loadReadsEveryKeyOnce_data();
    void loadReadsEveryKeyOnce();
    void stationKeys_data();
    void stationKeys();
    void remoteKeys_data();
    void remoteKeys();
};

void tst_SettingsFile::wrap_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    const auto s = [](const char *text) { return QString::fromUtf8(text); };

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("five or fewer unchanged") << s("Yagi") << s("Yagi");
    QTest::newRow("exactly five") << s("Dipol") << s("Dipol");
    QTest::newRow("six: 5 and 1") << s("Dipole") << s("Dipol\ne");
    QTest::newRow("ten: two lines of 5") << s("LongWire40") << s("LongW\nire40");
    QTest::newRow("sixteen: 5, 5, 6") << s("ABCDEFGHIJKLMNOP") << s("ABCDE\nFGHIJ\nKLMNOP");
    QTest::newRow("26 letters: 5, 5, 16") << s("abcdefghijklmnopqrstuvwxyz") << s("abcde\nfghij\nklmnopqrstuvwxyz");
    QTest::newRow("13, break, 8: 5 5 3 5 3") << s("abcdefghijklm\nnopqrstu") << s("abcde\nfghij\nklm\nnopqr\nstu");
    QTest::newRow("2, break, 10: 2 5 5") << s("ab\ncdefghijkl") << s("ab\ncdefg\nhijkl");
    QTest::newRow("leading break, 10: empty 4 5 1") << s("\nabcdefghij") << s("\nabcd\nefghi\nj");
    QTest::newRow("own break short lines untouched") << s("ab\ncd\nef") << s("ab\ncd\nef");
    QTest::newRow("non-ASCII counts characters") << s("Süd-Ost-Beam") << s("Süd-O\nst-Be\nam");
    QTest::newRow("a character of two code units is never split")
        << s("\U0001F4E1\U0001F4E1\U0001F4E1Yagi") << s("\U0001F4E1\U0001F4E1\U0001F4E1Ya\ngi");
    QTest::newRow("astral characters count once") << s("\U0001F4E1abcdefghij") << s("\U0001F4E1abcd\nefghi\nj");
}

void tst_SettingsFile::wrap()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QCOMPARE(wrapLabelText(name), shown);
}

void tst_SettingsFile::settingsPath_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path");
    QTest::newRow("no argument") << QStringList{QStringLiteral("zorvik-panel")}
                                 << QStringLiteral("/opt/z/settings.ini");
    QTest::newRow("argument 2") << QStringList{QStringLiteral("zorvik-panel"), QStringLiteral("2")}
                                << QStringLiteral("/opt/z/settings2.ini");
    QTest::newRow("only the first counts")
        << QStringList{QStringLiteral("zorvik-panel"), QStringLiteral("B"), QStringLiteral("C")}
        << QStringLiteral("/opt/z/settingsB.ini");
    QTest::newRow("no program name") << QStringList{} << QStringLiteral("/opt/z/settings.ini");
    QTest::newRow("remote options' values are no profile")
        << QStringList{"zorvik-panel", "--headless", "--remote", "local", "--remote-port", "0", "field"}
        << QStringLiteral("/opt/z/settingsfield.ini");
    QTest::newRow("remote options with =") << QStringList{"zorvik-panel", "--remote=network", "--remote-port=9", "B"}
                                           << QStringLiteral("/opt/z/settingsB.ini");
    QTest::newRow("single dash") << QStringList{"zorvik-panel", "-remote", "network", "-remote-port", "9"}
                                 << QStringLiteral("/opt/z/settings.ini");
}

void tst_SettingsFile::settingsPath()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    QCOMPARE(SettingsFile::pathFor(QStringLiteral("/opt/z"), arguments), path);
}

// Each row: where the executable is, whether a file is already beside it, the command
// line, and the file the panel uses.
void tst_SettingsFile::settingsPlace_data()
{
    QTest::addColumn<QString>("applicationDir");
    QTest::addColumn<bool>("fileBeside");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path");

    const QStringList plain{"zorvik-panel"};
    QTest::newRow("build folder") << "/home/op/zorvik/build" << false << plain << "/home/op/zorvik/build/settings.ini";
    QTest::newRow("portable copy, profile") << "/media/usb/zorvik" << false << QStringList{"zorvik-panel", "contest"}
                                            << "/media/usb/zorvik/settingscontest.ini";
    QTest::newRow("installed: the user's folder")
        << "/usr/bin" << false << plain << "/home/op/.config/zorvik-panel/settings.ini";
    QTest::newRow("installed, profile") << "/usr/bin" << false << QStringList{"zorvik-panel", "2"}
                                        << "/home/op/.config/zorvik-panel/settings2.ini";
    QTest::newRow("installed, a file already beside it") << "/usr/bin" << true << plain << "/usr/bin/settings.ini";
    QTest::newRow("installed, written as /usr/bin/")
        << "/usr/bin/" << false << plain << "/home/op/.config/zorvik-panel/settings.ini";
    QTest::newRow("MQTT options' values are not the profile")
        << "/usr/bin" << false
        << QStringList{"zorvik-panel", "--headless", "--mqtt", "on", "--mqtt-host", "broker", "--mqtt-port", "1884",
                       "--mqtt-base", "contest", "C"}
        << "/home/op/.config/zorvik-panel/settingsC.ini";
    QTest::newRow("options are not the profile") << "/usr/bin" << false << QStringList{"zorvik-panel", "--x", "B"}
                                                 << "/home/op/.config/zorvik-panel/settingsB.ini";
}

void tst_SettingsFile::settingsPlace()
{
    QFETCH(QString, applicationDir);
    QFETCH(bool, fileBeside);
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);

    const SettingsFile::Place place{applicationDir, QStringLiteral("/usr/bin"),
                                    QStringLiteral("/home/op/.config/zorvik-panel")};
    QStringList asked;
    const QString chosen = SettingsFile::pathFor(place, SettingsFile::profileFrom(arguments), [&](const QString &file) {
        asked << file;
        return fileBeside;
    });
    QCOMPARE(chosen, path);
    // Only ever the file beside the executable is looked for.
    for (const QString &file : qAsConst(asked))
        QVERIFY2(file.startsWith(applicationDir), qPrintable(file));
}

// Qt 6 reads and writes INI files as UTF-8; a Qt 5 build must agree, and must still read the
// escaped text that builds without a codec stored.
void tst_SettingsFile::storedAsUtf8AndEarlierTextStillReads()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    const QString name = QString::fromUtf8("Süd-Ost \u2713");
    QCOMPARE(SettingsFile::store(path, {{QStringLiteral("K1_1"), name}}), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY2(bytes.contains(name.toUtf8()), bytes.constData());
    file.close();

    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\nK1_1=S\\xfc\\x64-Ost\nID=Station 9\n");
    file.close();
    QSettings settings(path, QSettings::IniFormat);
    SettingsFile::useUtf8(settings);
    QCOMPARE(settings.value(QStringLiteral("K1_1")).toString(), QString::fromUtf8("Süd-Ost"));
    QCOMPARE(settings.value(QStringLiteral("ID")).toString(), QStringLiteral("Station 9"));
}

// Rows: the file's text (none: no file at all) and what the one read of it gives.
void tst_SettingsFile::loadReadsEveryKeyOnce_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<bool>("directIp");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("firstName");
    QTest::addColumn<QString>("comPort");
    QTest::addColumn<QString>("rig1");
    QTest::addColumn<int>("follow1");
    using Source = BandFollowSettings::Source;
    const auto row = [](const char *name, const QByteArray &ini, bool serial = false, bool directIp = false,
                        const QString &ip = {}, const QString &firstName = {}, const QString &comPort = {},
                        const QString &rig1 = {}, Source follow1 = Source::Off) {
        QTest::newRow(name) << ini << serial << directIp << ip << firstName << comPort << rig1 << int(follow1);
    };
    row("no file", QByteArray());
    row("every key",
        "[General]\nserialMode=2\nIPdir=true\nIP=box.lan\nK1_1=S\xc3\xbc"
        "d\ncomport=/dev/ttyUSB1\n"
        "RIG1= localhost:4532 \n",
        true, true, "box.lan",
        QString::fromUtf8("S\xc3\xbc"
                          "d"),
        "/dev/ttyUSB1", "localhost:4532", Source::Rigctld);
    row("mode cut to a byte", "[General]\nserialMode=258\n", true);
    row("mode not a number", "[General]\nserialMode=two\nIPdir=yes\n");
    row("follow off, address kept", "[General]\nFOLLOW1=off\nRIG1=localhost:4532\n", false, false, {}, {}, {},
        "localhost:4532", Source::Off);
    row("follow the logger", "[General]\nFOLLOW1=Logger\n", false, false, {}, {}, {}, {}, Source::Logger);
    row("follow OTRSP", "[General]\nFOLLOW1=otrsp\n", false, false, {}, {}, {}, {}, Source::Otrsp);
    row("unknown source reads as a missing one", "[General]\nFOLLOW1=cat\nRIG1=localhost:4532\n", false, false, {}, {},
        {}, "localhost:4532", Source::Rigctld);
}

void tst_SettingsFile::loadReadsEveryKeyOnce()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, serial);
    QFETCH(bool, directIp);
    QFETCH(QString, ip);
    QFETCH(QString, firstName);
    QFETCH(QString, comPort);
    QFETCH(QString, rig1);
    QFETCH(int, follow1);
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    if (!ini.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
    }
    const PanelSettings loaded = PanelSettings::load(path);
    QCOMPARE(loaded.linkMode, serial ? LinkMode::Serial : LinkMode::Lan);
    QCOMPARE(loaded.directIp, directIp);
    QCOMPARE(loaded.ip, ip);
    QCOMPARE(loaded.antennaNames[0], firstName);
    QCOMPARE(loaded.serial.comPort, comPort);
    QCOMPARE(loaded.bandFollow.radio[1].rigAddress, rig1);
    QCOMPARE(int(loaded.bandFollow.radio[1].source), follow1);
}

// Rows: the logger's and OTRSP's keys as written, and as read.
void tst_SettingsFile::stationKeys_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QStringList>("from");
    QTest::addColumn<QString>("otrsp");
    QTest::newRow("none") << QByteArray("[General]\n") << 12060 << "" << QStringList() << "";
    QTest::newRow("all") << QByteArray("[General]\nLOGGER_PORT=12061\nLOGGER_STATION= CW-80m \n"
                                       "LOGGER_FROM=\"127.0.0.2, 127.0.0.3 127.0.0.4\"\nOTRSP_PORT=/dev/pts/7\n")
                         << 12061 << "CW-80m" << QStringList{"127.0.0.2", "127.0.0.3", "127.0.0.4"} << "/dev/pts/7";
    QTest::newRow("list as QSettings writes it") << QByteArray("[General]\nLOGGER_FROM=127.0.0.2, 127.0.0.3\n") << 12060
                                                 << "" << QStringList{"127.0.0.2", "127.0.0.3"} << "";
    QTest::newRow("port not a number") << QByteArray("[General]\nLOGGER_PORT=udp\n") << 12060 << "" << QStringList()
                                       << "";
    QTest::newRow("port out of range") << QByteArray("[General]\nLOGGER_PORT=65536\n") << 12060 << "" << QStringList()
                                       << "";
}

void tst_SettingsFile::stationKeys()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, port);
    QFETCH(QString, station);
    QFETCH(QStringList, from);
    QFETCH(QString, otrsp);
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ini);
    file.close();
    const BandFollowSettings loaded = PanelSettings::load(path).bandFollow;
    QCOMPARE(int(loaded.loggerPort), port);
    QCOMPARE(loaded.loggerStation, station);
    QCOMPARE(loaded.loggerFrom, from);
    QCOMPARE(loaded.otrspPort, otrsp);
}

// Rows: the remote control's keys as stored (through SettingsFile::store, as the dialog and
// the station store them) and as read back; an old file without them leaves remote control off.
void tst_SettingsFile::remoteKeys_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("viewToken");
    QTest::addColumn<bool>("locked");
    const QString token = QStringLiteral("q0-_Zx9AbCdEfGhIjKlMnOpQrStUvWxYz0123456789");
    QTest::newRow("old file") << QVariantMap{{"ID", "A"}} << "off"
                              << "" << 8750 << ""
                              << "" << false;
    QTest::newRow("local") << QVariantMap{{"REMOTE", "local"}, {"REMOTE_PORT", 8751}} << "local"
                           << "" << 8751 << ""
                           << "" << false;
    QTest::newRow("network, every key")
        << QVariantMap{{"REMOTE", "network"},   {"REMOTE_ADDRESS", "192.168.1.20"},     {"REMOTE_PORT", 9000},
                       {"REMOTE_TOKEN", token}, {"REMOTE_VIEW_TOKEN", token.toLower()}, {"REMOTE_LOCKED", true}}
        << "network"
        << "192.168.1.20" << 9000 << token << token.toLower() << true;
    QTest::newRow("mode in capitals") << QVariantMap{{"REMOTE", "Network"}} << "network"
                                      << "" << 8750 << ""
                                      << "" << false;
    QTest::newRow("unknown mode is off") << QVariantMap{{"REMOTE", "everywhere"}} << "off"
                                         << "" << 8750 << ""
                                         << "" << false;
    QTest::newRow("port 0 reads as the default") << QVariantMap{{"REMOTE_PORT", 0}} << "off"
                                                 << "" << 8750 << ""
                                                 << "" << false;
    QTest::newRow("port 65535") << QVariantMap{{"REMOTE_PORT", 65535}} << "off"
                                << "" << 65535 << ""
                                << "" << false;
    QTest::newRow("port 65536 reads as the default") << QVariantMap{{"REMOTE_PORT", 65536}} << "off"
                                                     << "" << 8750 << ""
                                                     << "" << false;
    QTest::newRow("port not a number") << QVariantMap{{"REMOTE_PORT", "http"}} << "off"
                                       << "" << 8750 << ""
                                       << "" << false;
    QTest::newRow("blanks around values")
        << QVariantMap{{"REMOTE_ADDRESS", " ::1 "}, {"REMOTE_TOKEN", " abc "}} << "off"
        << "::1" << 8750 << "abc"
        << "" << false;
}

void tst_SettingsFile::remoteKeys()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QString, mode);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QString, token);
    QFETCH(QString, viewToken);
    QFETCH(bool, locked);
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    std::vector<std::pair<QString, QVariant>> values;
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        values.emplace_back(it.key(), it.value());
    QCOMPARE(SettingsFile::store(path, values), QString());
    const PanelSettings::Remote loaded = PanelSettings::load(path).remote;
    QCOMPARE(PanelSettings::Remote::modeName(loaded.mode), mode);
    QCOMPARE(loaded.address, address);
    QCOMPARE(int(loaded.port), port);
    QCOMPARE(loaded.token, token);
    QCOMPARE(loaded.viewToken, viewToken);
    QCOMPARE(loaded.locked, locked);
}

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_settingsfile.moc"

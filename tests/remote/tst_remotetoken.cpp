// The remote control's tokens, and the settings file that holds them kept private.

#include "config/settingsfile.h"
#include "remote/remotetoken.h"
#include "station/station.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

class tst_RemoteToken : public QObject
{
    Q_OBJECT

private slots:
    void tokensAreLongRandomAndUrlSafe();
    void fileWithTokenIsPrivate_data();
    void fileWithTokenIsPrivate();
};

void tst_RemoteToken::tokensAreLongRandomAndUrlSafe()
{
    const QRegularExpression alphabet(QStringLiteral("^[A-Za-z0-9_-]{43}$"));
    QSet<QString> seen;
    for (int i = 0; i < 2000; ++i) {
        const QString token = RemoteToken::make();
        QVERIFY2(alphabet.match(token).hasMatch(), qPrintable(token));
        // 43 base64url characters carry 258 bits: the 256 drawn, none lost to padding.
        QCOMPARE(QByteArray::fromBase64(token.toLatin1(), QByteArray::Base64UrlEncoding).size(), RemoteToken::Bytes);
        seen.insert(token);
    }
    QCOMPARE(seen.size(), 2000);
}

// Rows: the file as found (its text and permissions), what is stored in it (nothing: the
// station loads it), and the permissions it ends with.
void tst_RemoteToken::fileWithTokenIsPrivate_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("expected");
    const int wide = 0644;
    const int ownerOnly = 0600;
    QTest::newRow("control token stored in a new file") << QByteArray() << 0 << "REMOTE_TOKEN"
                                                        << "abc" << ownerOnly;
    QTest::newRow("view token stored in a wide file") << QByteArray("[General]\nID=A\n") << wide << "REMOTE_VIEW_TOKEN"
                                                      << "abc" << ownerOnly;
    QTest::newRow("other key stored beside a token") << QByteArray("[General]\nREMOTE_TOKEN=abc\n") << wide << "ID"
                                                     << "B" << ownerOnly;
    QTest::newRow("broker password stored in a wide file")
        << QByteArray("[General]\nID=A\n") << wide << "MQTT_PASSWORD" << "secret" << ownerOnly;
    QTest::newRow("empty broker password: left as it was")
        << QByteArray("[General]\nID=A\n") << wide << "MQTT_PASSWORD" << "" << wide;
    QTest::newRow("wide file with a broker password, loaded")
        << QByteArray("[General]\nMQTT=on\nMQTT_PASSWORD=secret\n") << 0664 << QString() << QString() << ownerOnly;
    QTest::newRow("no token: left as it was") << QByteArray("[General]\nID=A\n") << wide << "ID"
                                              << "B" << wide;
    QTest::newRow("wide file with a token, loaded")
        << QByteArray("[General]\nREMOTE=network\nREMOTE_TOKEN=abc\n") << 0666 << QString() << QString() << ownerOnly;
    QTest::newRow("wide file without a token, loaded")
        << QByteArray("[General]\nREMOTE=network\n") << wide << QString() << QString() << wide;
}

void tst_RemoteToken::fileWithTokenIsPrivate()
{
#ifndef Q_OS_LINUX
    QSKIP("Owner-only settings files are a Linux matter");
#endif
    QFETCH(QByteArray, ini);
    QFETCH(int, mode);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(int, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    if (!ini.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::Permissions(QFileDevice::Permission(
            ((mode & 0400) ? int(QFileDevice::ReadOwner) : 0) | ((mode & 0200) ? int(QFileDevice::WriteOwner) : 0)
            | ((mode & 040) ? int(QFileDevice::ReadGroup) : 0) | ((mode & 020) ? int(QFileDevice::WriteGroup) : 0)
            | ((mode & 04) ? int(QFileDevice::ReadOther) : 0) | ((mode & 02) ? int(QFileDevice::WriteOther) : 0)))));
    }
    if (key.isEmpty()) {
        Station station(path);
        station.loadSettings();
    } else {
        QCOMPARE(SettingsFile::store(path, {{key, value}}), QString());
    }
    const QFileDevice::Permissions p = QFile(path).permissions();
    const int found = (p & QFileDevice::ReadOwner ? 0400 : 0) | (p & QFileDevice::WriteOwner ? 0200 : 0)
        | (p & QFileDevice::ExeOwner ? 0100 : 0) | (p & QFileDevice::ReadGroup ? 040 : 0)
        | (p & QFileDevice::WriteGroup ? 020 : 0) | (p & QFileDevice::ExeGroup ? 010 : 0)
        | (p & QFileDevice::ReadOther ? 04 : 0) | (p & QFileDevice::WriteOther ? 02 : 0)
        | (p & QFileDevice::ExeOther ? 01 : 0);
    QCOMPARE(QString::number(found, 8), QString::number(expected, 8));
    if (!key.isEmpty()) {
        QSettings check(path, QSettings::IniFormat);
        QCOMPARE(check.value(key).toString(), value);
    }
}

QTEST_GUILESS_MAIN(tst_RemoteToken)
#include "tst_remotetoken.moc"

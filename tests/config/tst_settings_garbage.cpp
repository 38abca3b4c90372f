// The settings file as the operator's disk may hold it: missing, unreadable, a directory,
// random bytes, values far too long, every key of the wrong type. The window must come up
// on the defaults of whatever it cannot use, and the labels and LAN dialogs must still open
// and save.
//
// No row may make the panel ask DNS: its blocking look-up of "IP" runs at start-up and on
// every OK. The hosts used are "127.0.0.1" and "localhost" (both in /etc/hosts), the empty
// text (refused before any look-up) and texts with spaces, which Qt's host-name check
// refuses before any look-up. Any other IP literal would not do: Qt looks the name of an
// address up too.

#include "app/mainwindow.h"
#include "serial/settingsdialog.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {
const QString HostError = QStringLiteral("HOST error: check LAN Settings!");
const QString FirstPort = QStringLiteral("ttyFAKE0");

// How a row puts the file in place.
enum class Setup { Missing, Unreadable, Directory, RawBytes, Values };

QByteArray randomBytes(quint32 seed, int size)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char &b : bytes)
        b = char(random.bounded(256));
    // Whatever the draw, a zero byte and an invalid UTF-8 sequence are in it.
    bytes.insert(int(random.bounded(size)), QByteArray("\0", 1));
    bytes.insert(int(random.bounded(size)), QByteArray("\xC3\x28\xFF\xFE"));
    return bytes;
}

QString longText(const QString &unit, int length)
{
    QString text;
    while (text.size() < length)
        text += unit;
    text.truncate(length);
    return text;
}

QString withoutBreaks(QString text) { return text.remove(QLatin1Char('\n')); }

SerialPortDescription portNamed(const QString &name)
{
    SerialPortDescription port;
    port.portName = name;
    return port;
}
} // namespace

Q_DECLARE_METATYPE(Setup)

class tst_SettingsGarbage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowComesUpOnWhatItCanUse_data();
    void windowComesUpOnWhatItCanUse();

private:
    template<typename T> T *child(QObject *parent, const QString &name) { return parent->findChild<T *>(name); }
};

void tst_SettingsGarbage::initTestCase() { qRegisterMetaType<MainWindow *>("MainWindow*"); }

void tst_SettingsGarbage::windowComesUpOnWhatItCanUse_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QByteArray>("bytes"); // RawBytes: the file's content
    QTest::addColumn<QVariantMap>("values"); // Values, Unreadable: keys stored through QSettings
    QTest::addColumn<bool>("usable"); // the panel can read and write the file
    QTest::addColumn<bool>("serial");
    QTest::addColumn<bool>("directIp");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("ip"); // what the LAN dialog shows

    const QStringList none{QString(), QString(), QString(), QString(), QString(), QString()};
    const QVariantMap noValues;
    const QByteArray noBytes;

    QTest::newRow("missing") << Setup::Missing << noBytes << noValues << true << false << false << "error"
                             << ""
                             << "" << none << "";
    const QVariantMap serialBox{{"serialMode", 2}, {"IP", "127.0.0.1"}, {"PORT", "4001"}, {"K1_1", "Yagi"}};
    QTest::newRow("unreadable (mode 000)")
        << Setup::Unreadable << noBytes << serialBox << false << false << false << "error"
        << ""
        << "" << none << "";
    QTest::newRow("a directory in its place")
        << Setup::Directory << noBytes << noValues << false << false << false << "error"
        << ""
        << "" << none << "";

    const struct
    {
        quint32 seed;
        int size;
        const char *header;
    } draws[] = {{1, 64, ""}, {2, 4096, ""}, {3, 65536, ""}, {4, 4096, "[General]\n"}};
    for (const auto &draw : draws) {
        const QByteArray bytes = QByteArray(draw.header) + randomBytes(draw.seed, draw.size);
        QTest::addRow("random bytes, seed %u, %d bytes%s", draw.seed, draw.size, *draw.header ? " after [General]" : "")
            << Setup::RawBytes << bytes << noValues << true << false << false << "error"
            << ""
            << "" << none << "";
    }

    const QStringList longNames{
        longText(QStringLiteral("A"), 10000),        longText(QStringLiteral("Yagi 3 el "), 10000),
        longText(QStringLiteral("Dipole\n"), 10000), longText(QString::fromUtf8("Ω-Beam Süd "), 10000),
        longText(QStringLiteral("\n"), 10000),       longText(QStringLiteral("x"), 10000),
    };
    const QString longId = longText(QStringLiteral("Station 1 "), 10000);
    QVariantMap longValues{{"ID", longId}, {"IP", "127.0.0.1"}, {"PORT", "4001"}};
    for (int n = 1; n <= 6; ++n)
        longValues.insert(QStringLiteral("K%1_1").arg(n), longNames.at(n - 1));
    QTest::newRow("names and ID of 10,000 characters")
        << Setup::Values << noBytes << longValues << true << false << false << "127.0.0.1"
        << "4001" << longId << longNames << "127.0.0.1";

    // Not ending in a space: the file's reader trims values.
    const QString spaced = longText(QStringLiteral("the box at the mast "), 9999);
    const QByteArray wrongTypes = "[General]\n"
                                  "serialMode=abc\n"
                                  "IPdir=maybe\n"
                                  "comindex=[1,2]\n"
                                  "speedindex=1, 2\n"
                                  "PORT=-3\n"
                                  "IP="
        + spaced.toLatin1()
        + "\n"
          "ID=@Rect(1 2 3 4)\n"
          "K1_1=@Size(3 4)\n"
          "K2_1=@Point(5 x)\n"
          "K3_1=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5junk\\0)\n"
          "K4_1=a, b, c\n";
    QTest::newRow("every key of the wrong type")
        << Setup::RawBytes << wrongTypes << noValues << true << false << false << "error"
        << "-3"
        << "" << none << spaced;

    const struct
    {
        const char *tag;
        const char *ip;
        const char *host;
    } hosts[] = {
        {"IP empty", "", "error"},
        {"IP localhost", "localhost", "127.0.0.1"},
        {"IP with spaces", "talmek box", "error"},
        {"IP an address followed by words", "127.0.0.1 at the mast", "error"},
    };
    for (const auto &h : hosts) {
        QTest::newRow(h.tag) << Setup::Values << noBytes << QVariantMap{{"IP", QString::fromLatin1(h.ip)}} << true
                             << false << false << QString::fromLatin1(h.host) << ""
                             << "" << none << QString::fromLatin1(h.ip);
    }

    const struct
    {
        const char *tag;
        QVariant value;
        bool serial;
    } modes[] = {
        {"serialMode 2.5", "2.5", false},
        {"serialMode empty", "", false},
        {"serialMode -254 keeps its low byte, 2", "-254", true},
    };
    for (const auto &m : modes) {
        QTest::newRow(m.tag) << Setup::Values << noBytes << QVariantMap{{"serialMode", m.value}} << true << m.serial
                             << false << "error"
                             << ""
                             << "" << none << "";
    }
    const QByteArray garbageAround =
        QByteArray("\x01\x02garbage\xFF\n[General]\nserialMode=2\n\xC3\x28=") + QByteArray(1, '\0') + QByteArray("\n");
    QTest::newRow("serialMode 2 among garbage lines")
        << Setup::RawBytes << garbageAround << noValues << true << true << false << "error"
        << ""
        << "" << none << "";
}

void tst_SettingsGarbage::windowComesUpOnWhatItCanUse()
{
    QFETCH(Setup, setup);
    QFETCH(QByteArray, bytes);
    QFETCH(QVariantMap, values);
    QFETCH(bool, usable);
    QFETCH(bool, serial);
    QFETCH(bool, directIp);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, id);
    QFETCH(QStringList, names);
    QFETCH(QString, ip);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    switch (setup) {
    case Setup::Missing:
        break;
    case Setup::Directory:
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("settings.ini")));
        break;
    case Setup::RawBytes: {
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
        break;
    }
    case Setup::Values:
    case Setup::Unreadable: {
        QSettings settings(ini, QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(it.key(), it.value());
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
        break;
    }
    }
    if (setup == Setup::Unreadable) {
#ifdef Q_OS_WIN
        QSKIP("Windows has no mode 000: a file's access is set by its ACL");
#endif
        QVERIFY(QFile::setPermissions(ini, QFileDevice::Permissions()));
        QFile probe(ini);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("this process reads a file of mode 000 (it runs as root): nothing to test");
    }

    const QList<SerialPortDescription> ports{portNamed(FirstPort), portNamed(QStringLiteral("ttyFAKE1"))};
    MainWindow window(ini, ports);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const bool directIpAtStart = window.directIpEnabled();

    QCOMPARE(window.linkMode(), serial ? LinkMode::Serial : LinkMode::Lan);
    QCOMPARE(child<QAction>(&window, "actionSerial")->isChecked(), serial);
    QCOMPARE(child<QAction>(&window, "actionLAN")->isChecked(), !serial);
    QCOMPARE(window.boxHostAddress(), host);
    if (host == QLatin1String("error"))
        QCOMPARE(window.statusBar()->currentMessage(), HostError);
    QCOMPARE(window.boxPortText(), port);
    QCOMPARE(child<QLabel>(&window, "labelID")->text(), id);
    for (int n = 1; n <= 6; ++n) {
        for (int c = 1; c <= 2; ++c) {
            const QString shown = child<QPushButton>(&window, QStringLiteral("botaoTecla%1C%2").arg(n).arg(c))->text();
            QVERIFY2(
                withoutBreaks(shown) == withoutBreaks(names.at(n - 1)),
                qPrintable(
                    QStringLiteral("antenna %1, channel %2: %3 characters shown").arg(n).arg(c).arg(shown.size())));
        }
    }

    // The serial settings dialog starts on its first entries whatever the stored positions.
    child<QAction>(&window, "actionConfigure")->trigger();
    SettingsDialog *serialDialog = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *candidate = qobject_cast<SettingsDialog *>(widget); candidate && candidate->isVisible())
            serialDialog = candidate;
    }
    QVERIFY(serialDialog);
    QCOMPARE(serialDialog->parameters().portName, FirstPort);
    QCOMPARE(serialDialog->parameters().baudRate, 9600);
    serialDialog->hide();

    // The labels dialog shows what the window uses and saves the operator's names.
    child<QAction>(&window, "actionLabels")->trigger();
    QDialog *labels = child<QDialog>(&window, "labels");
    QVERIFY(labels);
    QVERIFY(labels->isVisible());
    for (int n = 1; n <= 6; ++n)
        QCOMPARE(child<QTextEdit>(labels, QStringLiteral("textEdit1_%1").arg(n))->toPlainText(), names.at(n - 1));
    QCOMPARE(child<QLineEdit>(labels, "lineEditID")->text(), id.left(50));
    child<QTextEdit>(labels, "textEdit1_1")->setPlainText(QStringLiteral("Yagi"));
    child<QLineEdit>(labels, "lineEditID")->setText(QStringLiteral("Station 9"));
    QTest::mouseClick(child<QPushButton>(labels, "botaoOK"), Qt::LeftButton);
    QTRY_VERIFY(!child<QDialog>(&window, "labels"));
    QVERIFY(window.isVisible());
    if (usable) {
        QCOMPARE(child<QPushButton>(&window, "botaoTecla1C1")->text(), QStringLiteral("Yagi"));
        QCOMPARE(child<QPushButton>(&window, "botaoTecla1C2")->text(), QStringLiteral("Yagi"));
        QCOMPARE(child<QLabel>(&window, "labelID")->text(), QStringLiteral("Station 9"));
    }

    // The LAN dialog likewise, for the box's address and port.
    child<QAction>(&window, "actionLAN_Settings")->trigger();
    QDialog *lan = child<QDialog>(&window, "formLanCFG");
    QVERIFY(lan);
    QVERIFY(lan->isVisible());
    QCOMPARE(child<QLineEdit>(lan, "lineEditIP")->text(), ip);
    QCOMPARE(child<QLineEdit>(lan, "lineEditPort")->text(), port);
    QCOMPARE(child<QRadioButton>(lan, "radioButton")->isChecked(), directIpAtStart);
    child<QLineEdit>(lan, "lineEditIP")->setText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>(lan, "lineEditPort")->setText(QStringLiteral("4001"));
    QTest::mouseClick(child<QDialogButtonBox>(lan, "buttonBox")->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QTRY_VERIFY(!child<QDialog>(&window, "formLanCFG"));
    QVERIFY(window.isVisible());

    if (usable) {
        QCOMPARE(window.boxHostAddress(), QStringLiteral("127.0.0.1"));
        QCOMPARE(window.boxPortText(), QStringLiteral("4001"));
        QFile file(ini);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray stored = file.readAll();
        for (const char *line : {"K1_1=Yagi", "ID=Station 9", "IP=127.0.0.1", "PORT=4001"})
            QVERIFY2(stored.contains(line), line);
    } else if (setup == Setup::Directory) {
        QVERIFY(QFileInfo(ini).isDir());
    }

    // Last, so that a wrong reading does not hide the checks above.
    QCOMPARE(directIpAtStart, directIp);
}

QTEST_MAIN(tst_SettingsGarbage)
#include "tst_settings_garbage.moc"

// The panel's side of remote control: the Remote Control dialog (its values reach the
// settings file, "Make new" replaces a token, the QR code drawn is the page's address with
// the control token), "Lock remote switching" kept in step between the File menu, the
// dialog and the station, and a remote client's switch shown in the status bar and told to
// the screen reader.

#include "mosquittobroker.h"
#include "mqtt/mqttsetup.h"
#include "panelbench.h"
#include "remote/ui/qrcodewidget.h"
#include "remote/ui/remotecontroldialog.h"

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <qrcodegen.hpp>

namespace {
QStringList heard; // the status bar's new names, as a screen reader is told them

void hear(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::NameChanged && event->object()
        && event->object()->objectName() == QLatin1String("statusBar")) {
        if (QAccessibleInterface *bar = event->accessibleInterface())
            heard << bar->text(QAccessible::Name);
    }
}

// The status of one GET from 127.0.0.2 (standing in for the LAN) to the server on
// 127.0.0.2:`port` with `token`: 200, 401, ...; 0 when it could not connect.
int statusOf(quint16 port, const QString &token)
{
    QTcpSocket socket;
    if (!socket.bind(QHostAddress(QStringLiteral("127.0.0.2"))))
        return -1;
    socket.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), port);
    if (!socket.waitForConnected(3000))
        return 0;
    socket.write("GET /api/v1/state HTTP/1.1\r\nHost: 127.0.0.2:" + QByteArray::number(port)
                 + "\r\nConnection: close\r\nAuthorization: Bearer " + token.toLatin1() + "\r\n\r\n");
    QByteArray answer;
    // The server runs on this thread: the event loop turns while waiting.
    if (!QTest::qWaitFor(
            [&] {
                answer += socket.readAll();
                return answer.contains("\r\n");
            },
            5000))
        return -2;
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : -2;
}

template<typename T> T *part(QWidget *dialog, const QString &name)
{
    T *found = dialog->findChild<T *>(name);
    if (!found)
        qFatal("the dialog has no %s", qPrintable(name));
    return found;
}
} // namespace

class tst_RemotePanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dialogStoresWhatIsChosen();
    void makeNewReplacesTheToken_data();
    void makeNewReplacesTheToken();
    void qrCodeIsThePageAddressWithTheToken_data();
    void qrCodeIsThePageAddressWithTheToken();
    void lockInStepEverywhere();
    void remoteSwitchShownAndSaid_data();
    void remoteSwitchShownAndSaid();
    void panelServesAsItsSettingsSay();
    void mqttTabStoresWhatIsChosen();
    void panelBridgesAsItsSettingsSay_data() { addLinkRows(); }
    void panelBridgesAsItsSettingsSay();

private:
    // The window's own dialog, on a bench's window.
    static RemoteControlDialog *openDialog(PanelBench &bench)
    {
        bench.trigger(QStringLiteral("actionRemote_Control"));
        auto *dialog = bench.window->findChild<RemoteControlDialog *>();
        if (dialog && !QTest::qWaitForWindowExposed(dialog))
            return nullptr;
        return dialog;
    }
};

void tst_RemotePanel::initTestCase()
{
    // As a screen reader on the desktop does; offscreen nobody else does.
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    QVERIFY(QAccessible::isActive());
    QAccessible::installUpdateHandler(hear);
}

void tst_RemotePanel::dialogStoresWhatIsChosen()
{
    PanelBench bench;
    QVERIFY(bench.open());
    RemoteControlDialog *dialog = openDialog(bench);
    QVERIFY(dialog);
    // Off at first, with a control token offered.
    QVERIFY(part<QRadioButton>(dialog, "remote_off")->isChecked());
    QCOMPARE(part<QSpinBox>(dialog, "remotePort")->value(), 8750);
    QVERIFY(part<QLineEdit>(dialog, "pageAddress")->text().isEmpty());
    QVERIFY(part<QrCodeWidget>(dialog, "qrCode")->text().isEmpty());
    const QString token = part<QLineEdit>(dialog, "controlToken")->text();
    QCOMPARE(token.size(), 43);

    QTest::mouseClick(part<QRadioButton>(dialog, "remote_network"), Qt::LeftButton);
    QVERIFY(part<QRadioButton>(dialog, "remote_network")->isChecked());
    part<QLineEdit>(dialog, "remoteAddress")->setText(QStringLiteral("127.0.0.3"));
    part<QSpinBox>(dialog, "remotePort")->setValue(9123);
    QCOMPARE(part<QLineEdit>(dialog, "pageAddress")->text(), QStringLiteral("http://127.0.0.3:9123/"));

    // Not an address: nothing is stored, and the operator is told.
    part<QLineEdit>(dialog, "remoteAddress")->setText(QStringLiteral("box.lan"));
    QTest::mouseClick(part<QPushButton>(dialog, "botaoOK"), Qt::LeftButton);
    QVERIFY(part<QLabel>(dialog, "problem")->isVisible());
    QVERIFY(!QSettings(bench.iniPath(), QSettings::IniFormat).contains(QStringLiteral("REMOTE")));

    part<QLineEdit>(dialog, "remoteAddress")->setText(QStringLiteral("127.0.0.3"));
    QPointer<RemoteControlDialog> open(dialog);
    QTest::mouseClick(part<QPushButton>(dialog, "botaoOK"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(open.isNull(), 2000);
    QSettings file(bench.iniPath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("REMOTE")).toString(), QStringLiteral("network"));
    QCOMPARE(file.value(QStringLiteral("REMOTE_ADDRESS")).toString(), QStringLiteral("127.0.0.3"));
    QCOMPARE(file.value(QStringLiteral("REMOTE_PORT")).toInt(), 9123);
    QCOMPARE(file.value(QStringLiteral("REMOTE_TOKEN")).toString(), token);
    // The station took them.
    const PanelSettings::Remote taken = bench.window->settings().remote;
    QCOMPARE(taken.mode, PanelSettings::Remote::Mode::Network);
    QCOMPARE(taken.port, quint16(9123));
    QCOMPARE(taken.token, token);
#ifdef Q_OS_LINUX
    QCOMPARE(QFile(bench.iniPath()).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
}

void tst_RemotePanel::makeNewReplacesTheToken_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("key");
    QTest::newRow("control") << "control"
                             << "REMOTE_TOKEN";
    QTest::newRow("view") << "view"
                          << "REMOTE_VIEW_TOKEN";
}

void tst_RemotePanel::makeNewReplacesTheToken()
{
    QFETCH(QString, which);
    QFETCH(QString, key);
    PanelBench bench;
    const QString old = QStringLiteral("old-token-old-token-old-token-old-token-old");
    bench.store({{"REMOTE", "local"}, {key, old}});
    QVERIFY(bench.open());
    RemoteControlDialog *dialog = openDialog(bench);
    QVERIFY(dialog);
    auto *shown = part<QLineEdit>(dialog, which + "Token");
    QCOMPARE(shown->text(), old);
    QTest::mouseClick(part<QPushButton>(dialog, which + "TokenNew"), Qt::LeftButton);
    const QString made = shown->text();
    QVERIFY(made != old);
    QVERIFY(QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{43}$")).match(made).hasMatch());
    // Copy puts it on the clipboard.
    QTest::mouseClick(part<QPushButton>(dialog, which + "TokenCopy"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), made);
    // Until OK the old one holds.
    QCOMPARE(QSettings(bench.iniPath(), QSettings::IniFormat).value(key).toString(), old);
    QVERIFY(dialog->save());
    QCOMPARE(QSettings(bench.iniPath(), QSettings::IniFormat).value(key).toString(), made);
    QCOMPARE(which == "control" ? bench.window->settings().remote.token : bench.window->settings().remote.viewToken,
             made);
}

// Rows: the settings, and the page's address the code must hold (with the control token).
void tst_RemotePanel::qrCodeIsThePageAddressWithTheToken_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("address");
    // No code: a phone cannot reach this computer's own address.
    QTest::newRow("local") << QVariantMap{{"REMOTE", "local"}, {"REMOTE_PORT", 8751}}
                           << QStringLiteral("http://127.0.0.1:8751/");
    QTest::newRow("network on all addresses, port 8751")
        << QVariantMap{{"REMOTE", "network"}, {"REMOTE_PORT", 8751}} << QString();
    QTest::newRow("network on one address") << QVariantMap{{"REMOTE", "network"}, {"REMOTE_ADDRESS", "127.0.0.2"}}
                                            << QStringLiteral("http://127.0.0.2:8750/");
    QTest::newRow("network on IPv6") << QVariantMap{{"REMOTE", "network"}, {"REMOTE_ADDRESS", "::1"}}
                                     << QStringLiteral("http://[::1]:8750/");
}

void tst_RemotePanel::qrCodeIsThePageAddressWithTheToken()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QString, address);
    PanelBench bench;
    const QString token = QStringLiteral("Zq3_0-a1b2c3d4e5f6g7h8i9j0k1l2m3n4o5p6q7r8s");
    stored.insert(QStringLiteral("REMOTE_TOKEN"), token);
    bench.store(stored);
    QVERIFY(bench.open());
    RemoteControlDialog *dialog = openDialog(bench);
    QVERIFY(dialog);
    auto *code = part<QrCodeWidget>(dialog, "qrCode");
    QVERIFY(!code->accessibleName().isEmpty());
    if (stored.value(QStringLiteral("REMOTE")) == QLatin1String("local")) {
        QCOMPARE(part<QLineEdit>(dialog, "pageAddress")->text(), address);
        QCOMPARE(code->modules(), 0);
        QVERIFY(code->accessibleDescription().startsWith(QLatin1String("No code")));
        return;
    }
    if (address.isEmpty()) {
        // All addresses: the page is opened at one of this computer's own.
        address = part<QLineEdit>(dialog, "pageAddress")->text();
        QVERIFY2(QRegularExpression(QStringLiteral("^http://[0-9.]+:8751/$")).match(address).hasMatch(),
                 qPrintable(address));
    }
    const QString expected = address + QStringLiteral("#token=") + token;
    QCOMPARE(part<QLineEdit>(dialog, "pageAddress")->text(), address);
    QCOMPARE(dialog->signInAddress(), expected);
    QCOMPARE(code->text(), expected);
    QVERIFY(code->accessibleDescription().contains(address));
    QVERIFY(!code->accessibleDescription().contains(token));

    // What is drawn, module by module, against the code of the expected text.
    const qrcodegen::QrCode wanted =
        qrcodegen::QrCode::encodeText(expected.toUtf8().constData(), qrcodegen::QrCode::Ecc::MEDIUM);
    QCOMPARE(code->modules(), wanted.getSize());
    const QImage drawn = code->grab().toImage();
    const QRect area = code->codeRect();
    const int side = wanted.getSize();
    const int scale = area.width() / side;
    QVERIFY2(scale >= 2, "modules smaller than two pixels");
    const auto darkAt = [&](int x, int y) { return qGray(drawn.pixel(x, y)) < 128; };
    int differ = 0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            if (darkAt(area.x() + x * scale + scale / 2, area.y() + y * scale + scale / 2) != wanted.getModule(x, y))
                ++differ;
        }
    }
    QCOMPARE(differ, 0);
    // The quiet zone: four modules of white on every side.
    for (int i = 1; i <= QrCodeWidget::QuietZone; ++i) {
        const int off = i * scale - scale / 2;
        for (int along = 0; along < side; ++along) {
            const int p = along * scale + scale / 2;
            QVERIFY(!darkAt(area.left() - off, area.y() + p));
            QVERIFY(!darkAt(area.right() + off, area.y() + p));
            QVERIFY(!darkAt(area.x() + p, area.top() - off));
            QVERIFY(!darkAt(area.x() + p, area.bottom() + off));
        }
    }
}

void tst_RemotePanel::lockInStepEverywhere()
{
    PanelBench bench;
    QVERIFY(bench.open());
    QAction *menu = bench.action(QStringLiteral("actionLock_Remote"));
    QVERIFY(menu->isCheckable());
    QVERIFY(!menu->isChecked());
    RemoteControlDialog *dialog = openDialog(bench);
    QVERIFY(dialog);
    auto *box = part<QCheckBox>(dialog, "lockRemote");
    Station &station = bench.window->station();

    menu->trigger();
    QVERIFY(station.remoteLocked());
    QVERIFY(box->isChecked());
    QCOMPARE(QSettings(bench.iniPath(), QSettings::IniFormat).value(QStringLiteral("REMOTE_LOCKED")).toString(),
             QStringLiteral("true"));

    // From the keyboard, as the dialog is worked without a mouse too.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    QVERIFY(!station.remoteLocked());
    QVERIFY(!menu->isChecked());

    station.setRemoteLocked(true);
    QVERIFY(menu->isChecked());
    QVERIFY(box->isChecked());

    // A locked station stays locked in a new window on its file.
    bench.window.reset();
    QVERIFY(bench.open());
    QVERIFY(bench.window->station().remoteLocked());
    QVERIFY(bench.action(QStringLiteral("actionLock_Remote"))->isChecked());
}

// Rows: the link, the remote command, and what the bar says ("" for nothing of a remote).
void tst_RemotePanel::remoteSwitchShownAndSaid_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("said");
    for (const Link link : {Link::Serial, Link::Lan}) {
        const char *name = link == Link::Serial ? "serial" : "LAN";
        QTest::addRow("%s: select", name)
            << link << "select 1 2" << QString::fromUtf8("Remote 192.168.1.20: channel 1 → Ant 3 (Yagi)");
        QTest::addRow("%s: release", name)
            << link << "release 2" << QString::fromUtf8("Remote 192.168.1.20: channel 2 → released");
        QTest::addRow("%s: split", name)
            << link << "split 1 4 2"
            << QString::fromUtf8("Remote 192.168.1.20: channel 1 → split, receive Ant 5, transmit Ant 3 (Yagi)");
        QTest::addRow("%s: split off", name)
            << link << "splitOff 2" << QString::fromUtf8("Remote 192.168.1.20: channel 2 → split off");
        QTest::addRow("%s: refused while locked", name) << link << "locked select 1 2" << QString();
        QTest::addRow("%s: select over MQTT", name)
            << link << "mqtt select 1 2" << QString::fromUtf8("MQTT 127.0.0.1:1883: channel 1 → Ant 3 (Yagi)");
        QTest::addRow("%s: refused over MQTT while locked", name) << link << "mqtt locked select 1 2" << QString();
    }
}

void tst_RemotePanel::remoteSwitchShownAndSaid()
{
    QFETCH(Link, link);
    QFETCH(QString, command);
    QFETCH(QString, said);
    PanelBench bench;
    bench.store({{"K3_1", "Yagi"}});
    QVERIFY(bench.startBox(link));
    QVERIFY(bench.openOnBox());
    QVERIFY(bench.connectAndWait());
    Station &station = bench.window->station();
    QStringList words = command.split(QLatin1Char(' '));
    const bool mqtt = words.first() == QLatin1String("mqtt");
    if (mqtt)
        words.removeFirst();
    if (words.first() == QLatin1String("locked")) {
        station.setRemoteLocked(true);
        words.removeFirst();
    }
    const Station::Origin remote = mqtt ? Station::Origin{Station::Source::Mqtt, QStringLiteral("127.0.0.1:1883")}
                                        : Station::Origin{Station::Source::Remote, QStringLiteral("192.168.1.20")};
    const int channel = words.at(1).toInt();
    heard.clear();
    Station::Result result;
    if (words.first() == QLatin1String("select"))
        result = station.select(channel, words.at(2).toInt(), remote);
    else if (words.first() == QLatin1String("release"))
        result = station.release(channel, remote);
    else if (words.first() == QLatin1String("split"))
        result = station.split(channel, words.at(2).toInt(), words.at(3).toInt(), remote);
    else
        result = station.splitOff(channel, remote);
    QCOMPARE(result.sent, !said.isEmpty());
    if (said.isEmpty()) {
        QVERIFY2(!bench.status().startsWith(QLatin1String("Remote")) && !bench.status().startsWith(QLatin1String("MQTT")),
                 qPrintable(bench.status()));
        QVERIFY(heard.isEmpty());
        return;
    }
    QCOMPARE(bench.status(), said);
    QVERIFY2(heard.contains(said), qPrintable(heard.join(QLatin1Char('|'))));
    // Held against the ping figures of the LAN for a while.
    QVERIFY(bench.waitForTicks(3));
    QCOMPARE(bench.status(), said);
}

// The window runs the server from its settings, and again as the dialog changes them: a
// token made new shuts out whoever held the old one; off closes the port.
void tst_RemotePanel::panelServesAsItsSettingsSay()
{
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
        port = probe.serverPort();
    }
    PanelBench bench;
    const QString old = QStringLiteral("old-token-old-token-old-token-old-token-old");
    bench.store({{"REMOTE", "network"}, {"REMOTE_ADDRESS", "127.0.0.2"}, {"REMOTE_PORT", port}, {"REMOTE_TOKEN", old}});
    QVERIFY(bench.open());
    QCOMPARE(bench.status(), QStringLiteral("Remote control on http://127.0.0.2:%1/").arg(port));
    QCOMPARE(statusOf(port, old), 200);
    QCOMPARE(statusOf(port, QStringLiteral("wrong")), 401);

    RemoteControlDialog *dialog = openDialog(bench);
    QVERIFY(dialog);
    QTest::mouseClick(part<QPushButton>(dialog, "controlTokenNew"), Qt::LeftButton);
    const QString made = part<QLineEdit>(dialog, "controlToken")->text();
    QVERIFY(dialog->save());
    QCOMPARE(statusOf(port, old), 401);
    QCOMPARE(statusOf(port, made), 200);

    QTest::mouseClick(part<QRadioButton>(dialog, "remote_off"), Qt::LeftButton);
    QVERIFY(dialog->save());
    QCOMPARE(bench.status(), QStringLiteral("Remote control off"));
    QCOMPARE(statusOf(port, made), 0);
}

// The MQTT tab: the base's default shown from the ID, the password hidden, what is chosen
// stored on OK (the file then owner-only), a base with a wildcard refused, and what the
// bridge says shown as it says it.
void tst_RemotePanel::mqttTabStoresWhatIsChosen()
{
    quint16 closed = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closed = probe.serverPort();
    }
    PanelBench bench;
    bench.store({{"ID", "Shack #2 (K1ABC)"}});
    QVERIFY(bench.open());
    RemoteControlDialog *dialog = openDialog(bench);
    QVERIFY(dialog);
    QVERIFY(!part<QCheckBox>(dialog, "mqttOn")->isChecked());
    QVERIFY(part<QCheckBox>(dialog, "mqttDiscovery")->isChecked());
    QCOMPARE(part<QLineEdit>(dialog, "mqttHost")->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(part<QSpinBox>(dialog, "mqttPort")->value(), 1883);
    QCOMPARE(part<QLineEdit>(dialog, "mqttBase")->placeholderText(), QStringLiteral("zorvik/shack-2-k1abc"));
    QCOMPARE(part<QLineEdit>(dialog, "mqttPassword")->echoMode(), QLineEdit::Password);
    QCOMPARE(part<QLabel>(dialog, "mqttStatus")->text(), QStringLiteral("MQTT off"));

    auto *tabs = part<QTabWidget>(dialog, "remoteTabs");
    QCOMPARE(tabs->tabText(1).remove(QLatin1Char('&')), QStringLiteral("MQTT"));
    tabs->setCurrentIndex(1);
    QVERIFY(QTest::qWaitForWindowExposed(part<QCheckBox>(dialog, "mqttOn")));
    part<QCheckBox>(dialog, "mqttOn")->setFocus();
    QTest::keyClick(part<QCheckBox>(dialog, "mqttOn"), Qt::Key_Space);
    part<QSpinBox>(dialog, "mqttPort")->setValue(closed);
    part<QLineEdit>(dialog, "mqttUser")->setText(QStringLiteral("shack"));
    part<QLineEdit>(dialog, "mqttPassword")->setText(QStringLiteral("s3cret"));
    part<QLineEdit>(dialog, "mqttBase")->setText(QStringLiteral("contest/#"));
    part<QCheckBox>(dialog, "mqttDiscovery")->setChecked(false);
    QVERIFY(!dialog->save());
    QVERIFY(part<QLabel>(dialog, "problem")->isVisible());
    QVERIFY(part<QLineEdit>(dialog, "mqttBase")->isVisible());
    QVERIFY(!QSettings(bench.iniPath(), QSettings::IniFormat).contains(QStringLiteral("MQTT")));

    part<QLineEdit>(dialog, "mqttBase")->setText(QStringLiteral("contest/run"));
    QVERIFY(dialog->save());
    QSettings file(bench.iniPath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("MQTT")).toString(), QStringLiteral("on"));
    QCOMPARE(file.value(QStringLiteral("MQTT_HOST")).toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(file.value(QStringLiteral("MQTT_PORT")).toInt(), int(closed));
    QCOMPARE(file.value(QStringLiteral("MQTT_USER")).toString(), QStringLiteral("shack"));
    QCOMPARE(file.value(QStringLiteral("MQTT_PASSWORD")).toString(), QStringLiteral("s3cret"));
    QCOMPARE(file.value(QStringLiteral("MQTT_BASE")).toString(), QStringLiteral("contest/run"));
    QCOMPARE(file.value(QStringLiteral("MQTT_DISCOVERY")).toString(), QStringLiteral("off"));
#ifdef Q_OS_LINUX
    QCOMPARE(QFile(bench.iniPath()).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
    const PanelSettings::Mqtt taken = bench.window->settings().mqtt;
    QVERIFY(taken.on);
    QCOMPARE(taken.port, closed);
    QCOMPARE(taken.base, QStringLiteral("contest/run"));
    QVERIFY(!taken.discovery);
    // Nothing listens there: the bridge says so, in the tab and in the status bar.
    const QString unreachable = QStringLiteral("MQTT: cannot reach 127.0.0.1:%1").arg(closed);
    QTRY_VERIFY2_WITH_TIMEOUT(part<QLabel>(dialog, "mqttStatus")->text().startsWith(unreachable),
                              qPrintable(part<QLabel>(dialog, "mqttStatus")->text()), 5000);
    QVERIFY2(bench.status().startsWith(unreachable), qPrintable(bench.status()));

    part<QCheckBox>(dialog, "mqttOn")->setFocus();
    QTest::keyClick(part<QCheckBox>(dialog, "mqttOn"), Qt::Key_Space);
    QVERIFY(!part<QCheckBox>(dialog, "mqttOn")->isChecked());
    QVERIFY(dialog->save());
    QCOMPARE(QSettings(bench.iniPath(), QSettings::IniFormat).value(QStringLiteral("MQTT")).toString(),
             QStringLiteral("off"));
    QTRY_COMPARE_WITH_TIMEOUT(part<QLabel>(dialog, "mqttStatus")->text(), QStringLiteral("MQTT off"), 3000);
    QCOMPARE(bench.status(), QStringLiteral("MQTT off"));
}

// The window runs the bridge from its settings file: online on the broker, its news in the
// status bar and the dialog's tab, a command from the broker shown as an MQTT switch.
void tst_RemotePanel::panelBridgesAsItsSettingsSay()
{
    QFETCH(Link, link);
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttProbe watcher;
    QVERIFY(watcher.connect(broker.port(), "zorvik/#"));
    PanelBench bench;
    bench.store({{"ID", "Panel 1"}, {"K3_1", "Yagi"}, {"MQTT", "on"}, {"MQTT_PORT", broker.port()}});
    QVERIFY(bench.startBox(link));
    QVERIFY(bench.openOnBox());
    const QString connected = QStringLiteral("MQTT: connected to 127.0.0.1:%1 as zorvik/panel-1").arg(broker.port());
    QTRY_COMPARE_WITH_TIMEOUT(bench.window->mqtt().lastText(), connected, 5000);
    QVERIFY(watcher.waitFor("zorvik/panel-1/status", "online", 3000));
    RemoteControlDialog *dialog = openDialog(bench);
    QVERIFY(dialog);
    QCOMPARE(part<QLabel>(dialog, "mqttStatus")->text(), connected);
    dialog->close();
    // The bridge's note holds the status bar a while: the lamp, not the ping, says the box answers.
    bench.connectToBox();
    QTRY_VERIFY_WITH_TIMEOUT(bench.lamp() == PanelLook::Look::Green, 5000);

    heard.clear();
    QVERIFY(watcher.publish("zorvik/panel-1/channel/1/antenna/set", "Yagi"));
    const QString said = QString::fromUtf8("MQTT 127.0.0.1:%1: channel 1 → Ant 3 (Yagi)").arg(broker.port());
    QTRY_COMPARE_WITH_TIMEOUT(bench.status(), said, 5000);
    QVERIFY2(heard.contains(said), qPrintable(heard.join(QLatin1Char('|'))));
}

QTEST_MAIN(tst_RemotePanel)
#include "tst_remotepanel.moc"

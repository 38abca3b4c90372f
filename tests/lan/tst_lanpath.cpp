// The panel's LAN path on real widgets against a scripted box on 127.0.0.2: the frames it
// sends and their pace, the replies it accepts, host resolution, and the LAN settings dialog.

#include "app/mainwindow.h"
#include "app/panellook.h"
#include "engine/threadleitura.h"
#include "lan/threadcom.h"

#include "panelprobe.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <memory>

using PanelLook::Look;

namespace {
const QHostAddress BoxAddress(QStringLiteral("127.0.0.2"));

struct Received
{
    QByteArray payload;
    qint64 at;
};
} // namespace

class tst_LanPath : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pollsAboutEvery160msNeverCloserThan90();
    void replyUpdatesPanelLampAndPing();
    void datagramsFromOthersAreIgnored();
    void textStopsAtZeroByteAndEmptyCounts();
    void twoDatagramsAtOnceAreBothHandled();
    void pressesSendFramesNoneSuperseded();
    void nothingQueuedWhileLinkDown();
    void heldWhileHostUnresolvedThenDelivered();
    void invalidPortSendsNothing_data();
    void invalidPortSendsNothing();
    void lookupResultPrefersIPv4();
    void directIpUsesNameAsAddress();
    void settingsDialogFieldsAndOk();
    void settingsDialogRadioStoresAtOnce();

private:
    void makeWindow(const QString &ip, const QString &port, bool directIp = false);
    void connectLan() { action("actionConnect_to_Brisel")->trigger(); }
    QAction *action(const char *name) { return window->findChild<QAction *>(QLatin1String(name)); }
    QPushButton *button(const char *name) { return window->findChild<QPushButton *>(QLatin1String(name)); }
    QString status() { return window->statusBar()->currentMessage(); }
    QList<Received> receive(int atLeast, int ms);
    void replyFrom(QUdpSocket &socket, const QByteArray &text);
    bool isLook(const char *name, Look look) { return button(name)->styleSheet() == PanelLook::styleSheet(look); }
    QString boxPort() const { return QString::number(box->localPort()); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QUdpSocket> box;
    std::unique_ptr<MainWindow> window;
    quint16 panelPort = 0;
};

void tst_LanPath::initTestCase()
{
    qRegisterMetaType<MainWindow *>("MainWindow*");
    PanelProbe::ReadNotices::install();
}

void tst_LanPath::init()
{
    dir = std::make_unique<QTemporaryDir>();
    box = std::make_unique<QUdpSocket>();
    QVERIFY(box->bind(BoxAddress, 0));
}

void tst_LanPath::cleanup()
{
    window.reset();
    box.reset();
    dir.reset();
}

void tst_LanPath::makeWindow(const QString &ip, const QString &port, bool directIp)
{
    const QString ini = dir->filePath(QStringLiteral("settings.ini"));
    {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setValue(QStringLiteral("IP"), ip);
        settings.setValue(QStringLiteral("PORT"), port);
        settings.setValue(QStringLiteral("serialMode"), 1);
        settings.setValue(QStringLiteral("IPdir"), directIp);
    }
    window = std::make_unique<MainWindow>(ini, QList<SerialPortDescription>{});
    panelPort = window->lanLink()->localPort();
    QVERIFY(panelPort != 0);
}

QList<Received> tst_LanPath::receive(int atLeast, int ms)
{
    QList<Received> got;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms && got.size() < atLeast) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        while (box->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = box->receiveDatagram();
            got.append({datagram.data(), timer.elapsed()});
        }
        QTest::qWait(2);
    }
    return got;
}

void tst_LanPath::replyFrom(QUdpSocket &socket, const QByteArray &text)
{
    socket.writeDatagram(text, QHostAddress::LocalHost, panelPort);
}

void tst_LanPath::pollsAboutEvery160msNeverCloserThan90()
{
    makeWindow(BoxAddress.toString(), boxPort());
    ThreadLeitura polling(window.get());
    connectLan();
    QCOMPARE(status(), QStringLiteral("LAN enabled"));
    // Operator commands in between must not break the pace either.
    QTest::mouseClick(button("botaoTecla3C2"), Qt::LeftButton);
    QTest::mouseClick(button("botaoTecla4C2"), Qt::LeftButton);
    const QList<Received> got = receive(1000, 2000);
    int polls = 0;
    for (int i = 0; i < got.size(); ++i) {
        polls += got[i].payload == QByteArray::fromHex("fe01fd") ? 1 : 0;
        if (i > 0)
            QVERIFY2(got[i].at - got[i - 1].at >= 80,
                     qPrintable(QStringLiteral("gap %1 ms").arg(got[i].at - got[i - 1].at)));
    }
    QVERIFY2(polls >= 8 && polls <= 15, qPrintable(QStringLiteral("%1 state requests in 2 s").arg(polls)));
    QVERIFY(got.size() >= polls + 2);
}

void tst_LanPath::replyUpdatesPanelLampAndPing()
{
    makeWindow(BoxAddress.toString(), boxPort());
    connectLan();
    QMetaObject::invokeMethod(window.get(), "callEnviar");
    QCOMPARE(receive(1, 1000).size(), 1);
    replyFrom(*box, "2.3.1.0.4.5.1.0.0.0.FF");
    QTRY_COMPARE(int(window->deviceState().antenna[2]), 3);
    QCOMPARE(int(window->deviceState().splitTxAntenna[1]), 4);
    // Channel 1 transmits in split: its TX antenna is the orange one.
    QVERIFY(isLook("botaoTecla5C1", Look::Highlight));
    QVERIFY(isLook("botaoTecla3C1", Look::Held));
    QVERIFY(isLook("botaoSendC1", Look::Red));
    QVERIFY(status().startsWith(QLatin1String("Ping: ")));
    const qint64 ping = status().mid(6).toLongLong();
    QVERIFY2(ping >= 0 && ping < 5000, qPrintable(status()));
    QMetaObject::invokeMethod(window.get(), "checkCOMTimeout", Qt::DirectConnection, Q_ARG(MainWindow *, window.get()));
    QVERIFY(isLook("botaoPower", Look::Green));

    replyFrom(*box, "5.5.0.0.0.0.0.0.0.0.FE"); // not a status: changes nothing, still redraws
    QTRY_VERIFY(status().startsWith(QLatin1String("Ping: ")));
    QTest::qWait(100);
    QCOMPARE(int(window->deviceState().antenna[2]), 3);
}

void tst_LanPath::datagramsFromOthersAreIgnored()
{
    makeWindow(BoxAddress.toString(), boxPort());
    connectLan();
    QUdpSocket stranger;
    QVERIFY(stranger.bind(QHostAddress(QStringLiteral("127.0.0.3")), 0));
    const int before = PanelProbe::ReadNotices::count();
    replyFrom(stranger, "4.4.0.0.0.0.0.0.0.0.FF");
    QTRY_VERIFY(PanelProbe::ReadNotices::count() > before);
    QTest::qWait(50);
    QCOMPARE(int(window->deviceState().antenna[1]), 0);
    QMetaObject::invokeMethod(window.get(), "checkCOMTimeout", Qt::DirectConnection, Q_ARG(MainWindow *, window.get()));
    QVERIFY(isLook("botaoPower", Look::Neutral));
}

void tst_LanPath::textStopsAtZeroByteAndEmptyCounts()
{
    makeWindow(BoxAddress.toString(), boxPort());
    replyFrom(*box, QByteArray("1.2.0.0.0.0.0.0.0.0.FF\0.5.5", 27));
    QTRY_COMPARE(int(window->deviceState().antenna[1]), 1);
    QCOMPARE(int(window->deviceState().antenna[2]), 2);
    replyFrom(*box, QByteArray("3.3\0.0.0.0.0.0.0.0.FF", 22)); // cut at the zero: too few fields
    replyFrom(*box, QByteArray());
    const int before = PanelProbe::ReadNotices::count();
    QTRY_VERIFY(PanelProbe::ReadNotices::count() >= before + 1);
    QTest::qWait(50);
    QCOMPARE(int(window->deviceState().antenna[1]), 1);
    QMetaObject::invokeMethod(window.get(), "checkCOMTimeout", Qt::DirectConnection, Q_ARG(MainWindow *, window.get()));
    QVERIFY(isLook("botaoPower", Look::Green));
}

void tst_LanPath::twoDatagramsAtOnceAreBothHandled()
{
    makeWindow(BoxAddress.toString(), boxPort());
    const int before = PanelProbe::ReadNotices::count();
    replyFrom(*box, "1.1.0.0.0.0.0.0.0.0.FF");
    replyFrom(*box, "4.5.0.0.0.0.0.0.0.0.FF");
    QTRY_COMPARE(PanelProbe::ReadNotices::count() - before, 2);
    QCOMPARE(int(window->deviceState().antenna[1]), 4);
    QCOMPARE(int(window->deviceState().antenna[2]), 5);
}

void tst_LanPath::pressesSendFramesNoneSuperseded()
{
    makeWindow(BoxAddress.toString(), boxPort());
    connectLan();
    replyFrom(*box, "1.15.0.0.0.0.0.0.0.0.FF");
    QTRY_COMPARE(int(window->deviceState().antenna[1]), 1);
    QTest::mouseClick(button("botaoTecla2C1"), Qt::LeftButton); // position 1
    QTest::mouseClick(button("botaoTecla3C2"), Qt::LeftButton); // position 2
    QTest::mouseClick(button("botaoSplitC1"), Qt::LeftButton);
    QTest::mouseClick(button("botaoTecla4C1"), Qt::LeftButton); // split on: TX 3, RX 1
    QTest::mouseClick(button("botaoRelease2"), Qt::LeftButton);
    QMetaObject::invokeMethod(window.get(), "callEnviar", Qt::DirectConnection); // a poll after them all
    QCOMPARE(int(window->deviceState().antenna[1]), 1); // the box decides, not the panel
    QCOMPARE(int(window->deviceState().splitActive[1]), 0);
    QCOMPARE(status(), QStringLiteral("Split configured succesfuly!"));
    const QList<Received> got = receive(5, 3000);
    QStringList frames;
    for (const Received &r : got)
        frames << QString::fromLatin1(r.payload.toHex());
    QCOMPARE(frames, (QStringList{"fe0201fd", "fe0302fd", "fe04010301fd", "fe030ffd", "fe01fd"}));
}

void tst_LanPath::nothingQueuedWhileLinkDown()
{
    makeWindow(BoxAddress.toString(), boxPort());
    QTest::mouseClick(button("botaoTecla2C1"), Qt::LeftButton);
    QMetaObject::invokeMethod(window.get(), "callEnviar", Qt::DirectConnection);
    QCOMPARE(window->lanLink()->pendingDatagrams(), 0);
    QVERIFY(receive(1, 400).isEmpty());
}

void tst_LanPath::heldWhileHostUnresolvedThenDelivered()
{
    makeWindow(QString(), boxPort());
    QCOMPARE(window->boxHostAddress(), QStringLiteral("error"));
    QCOMPARE(status(), QStringLiteral("HOST error: check LAN Settings!"));
    connectLan();
    QTest::mouseClick(button("botaoTecla5C1"), Qt::LeftButton);
    QTest::mouseClick(button("botaoTecla6C2"), Qt::LeftButton);
    QVERIFY(receive(1, 500).isEmpty());
    QCOMPARE(window->lanLink()->pendingDatagrams(), 2);

    QSettings(window->settingsFilePath(), QSettings::IniFormat).setValue(QStringLiteral("IP"), BoxAddress.toString());
    window->loadSettings();
    QCOMPARE(window->boxHostAddress(), BoxAddress.toString());
    const QList<Received> got = receive(2, 2000);
    QCOMPARE(got.size(), 2);
    QCOMPARE(got[0].payload.toHex(), QByteArray("fe0204fd"));
    QCOMPARE(got[1].payload.toHex(), QByteArray("fe0305fd"));
}

void tst_LanPath::invalidPortSendsNothing_data()
{
    QTest::addColumn<int>("offset"); // added to the box's port
    QTest::addColumn<QString>("text");
    QTest::newRow("wraps to the box's port") << 65536 << QString();
    QTest::newRow("not a number") << 0 << "box";
    QTest::newRow("empty") << 0 << "";
}

void tst_LanPath::invalidPortSendsNothing()
{
    QFETCH(int, offset);
    QFETCH(QString, text);
    const QString port = offset != 0 ? QString::number(box->localPort() + offset) : text;
    makeWindow(BoxAddress.toString(), port);
    connectLan();
    QMetaObject::invokeMethod(window.get(), "callEnviar", Qt::DirectConnection);
    QTest::mouseClick(button("botaoTecla1C2"), Qt::LeftButton);
    QVERIFY(receive(1, 600).isEmpty());
    QTRY_COMPARE(window->lanLink()->pendingDatagrams(), 0);
}

void tst_LanPath::lookupResultPrefersIPv4()
{
    makeWindow(BoxAddress.toString(), boxPort());
    QHostInfo info;
    info.setAddresses({QHostAddress(QStringLiteral("::1")), QHostAddress(QStringLiteral("127.0.0.2"))});
    window->hostInfoResults(info);
    QCOMPARE(window->boxHostAddress(), QStringLiteral("127.0.0.2"));

    QHostInfo failed;
    failed.setError(QHostInfo::HostNotFound);
    window->statusBar()->clearMessage();
    window->hostInfoResults(failed);
    QCOMPARE(window->boxHostAddress(), QStringLiteral("error"));
    QCOMPARE(status(), QStringLiteral("HOST error: check LAN Settings!"));

    window->hostInfoResults(info); // a later good result recovers; the message stays
    QCOMPARE(window->boxHostAddress(), QStringLiteral("127.0.0.2"));
    QCOMPARE(status(), QStringLiteral("HOST error: check LAN Settings!"));
}

void tst_LanPath::directIpUsesNameAsAddress()
{
    makeWindow(QStringLiteral("localhost"), boxPort(), true);
    QCOMPARE(window->boxHostAddress(), QStringLiteral("127.0.0.1")); // the load still looks it up
    connectLan();
    QMetaObject::invokeMethod(window.get(), "callEnviar", Qt::DirectConnection);
    QCOMPARE(window->boxHostAddress(), QStringLiteral("localhost"));
    QVERIFY(receive(1, 500).isEmpty()); // a name is no address: nothing goes out
}

void tst_LanPath::settingsDialogFieldsAndOk()
{
    makeWindow(QString(), QStringLiteral("4001"));
    action("actionLAN_Settings")->trigger();
    QDialog *dialog = window->findChild<QDialog *>(QStringLiteral("formLanCFG"));
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(dialog->size(), QSize(400, 221));
    auto *ip = dialog->findChild<QLineEdit *>(QStringLiteral("lineEditIP"));
    auto *port = dialog->findChild<QLineEdit *>(QStringLiteral("lineEditPort"));
    QVERIFY(ip->text().isEmpty());
    QCOMPARE(port->text(), QStringLiteral("4001"));
    QVERIFY(!dialog->findChild<QRadioButton *>(QStringLiteral("radioButton"))->isChecked());

    ip->setText(BoxAddress.toString());
    port->setText(boxPort());
    auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QCOMPARE(window->boxHostAddress(), BoxAddress.toString());
    QCOMPARE(window->boxPortText(), boxPort());
    QTRY_VERIFY(!window->findChild<QDialog *>(QStringLiteral("formLanCFG")));
    QSettings settings(window->settingsFilePath(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("IP")).toString(), BoxAddress.toString());

    connectLan(); // the next frames go to the new host and port
    QMetaObject::invokeMethod(window.get(), "callEnviar", Qt::DirectConnection);
    QCOMPARE(receive(1, 1000).size(), 1);
}

void tst_LanPath::settingsDialogRadioStoresAtOnce()
{
    makeWindow(BoxAddress.toString(), boxPort());
    action("actionLAN_Settings")->trigger();
    QDialog *dialog = window->findChild<QDialog *>(QStringLiteral("formLanCFG"));
    auto *radio = dialog->findChild<QRadioButton *>(QStringLiteral("radioButton"));
    QTest::mouseClick(radio, Qt::LeftButton);
    QVERIFY(window->directIpEnabled());
    QCOMPARE(QSettings(window->settingsFilePath(), QSettings::IniFormat).value(QStringLiteral("IPdir")).toBool(), true);
    // A second click turns direct mode off again and stores that at once.
    QTest::mouseClick(radio, Qt::LeftButton);
    QVERIFY(!window->directIpEnabled());
    QCOMPARE(QSettings(window->settingsFilePath(), QSettings::IniFormat).value(QStringLiteral("IPdir")).toBool(),
             false);
    QTest::mouseClick(radio, Qt::LeftButton);
    dialog->findChild<QLineEdit *>(QStringLiteral("lineEditIP"))->setText(QStringLiteral("10.9.9.9"));
    auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    QSettings settings(window->settingsFilePath(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("IPdir")).toBool(), true);
    QCOMPARE(settings.value(QStringLiteral("IP")).toString(), BoxAddress.toString());
}

QTEST_MAIN(tst_LanPath)
#include "tst_lanpath.moc"

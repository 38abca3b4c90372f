// Trouble on the serial line, end to end: the real window and polling thread against the
// talmek-sim process over a pseudo-terminal, with random bytes on the line, replies torn
// into pieces and replies glued together. The panel must not crash or spin, and must go on
// following the box: presses reach it and its state shows on the panel.

#include "app/mainwindow.h"
#include "engine/threadleitura.h"
#include "talmeksimprocess.h"

#include "panelprobe.h"

#include <QAction>
#include <QFileInfo>
#include <QPushButton>
#include <QSerialPort>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace PanelProbe;

namespace {
// Noise goes out in pieces the pseudo-terminal's buffer takes whole while the panel reads.
constexpr int NoiseChunk = 8192;
// How long the box's state may take to show on the panel: a few polls of about 160 ms.
constexpr int FewPollsMs = 2500;

const QString SendC1 = QStringLiteral("botaoSendC1");
const QString SendC2 = QStringLiteral("botaoSendC2");
const QString Power = QStringLiteral("botaoPower");

// Waits up to `ms` for `condition` while the event loop runs. Unlike QTRY_*, a failure costs
// only the bound itself, which matters while the panel still fails these checks.
template<typename Condition> bool waitUntil(Condition condition, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms)
            return false;
        QTest::qWait(10);
    }
    return true;
}
} // namespace

class tst_FaultsSerial : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void noiseOnTheLine_data();
    void noiseOnTheLine();
    void tornAndGluedReplies_data();
    void tornAndGluedReplies();

private:
    QPushButton *button(const QString &name) { return window->findChild<QPushButton *>(name); }
    QAction *action(const char *name) { return window->findChild<QAction *>(QLatin1String(name)); }
    Look lookOf(const QString &name) { return PanelProbe::lookOf(button(name)); }
    QString panel() const { return panelMarks(window.get()); }
    static QString panelOf(QStringList marks) { return sortedMarks(std::move(marks)); }
    qint64 waitingOnPort();
    void startSimulator(const QStringList &arguments);
    void startPanel();

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TalmekSimProcess> sim;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ThreadLeitura> polling;
};

void tst_FaultsSerial::initTestCase()
{
    QVERIFY2(QFileInfo(TalmekSimProcess::program()).isExecutable(), qPrintable(TalmekSimProcess::program()));
    qRegisterMetaType<MainWindow *>("MainWindow*");
}

void tst_FaultsSerial::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    sim = std::make_unique<TalmekSimProcess>();
}

void tst_FaultsSerial::cleanup()
{
    // The thread posts to the window, so it goes first; the window closes its port.
    polling.reset();
    window.reset();
    sim.reset();
    dir.reset();
}

// Bytes the panel's port holds unread; only for the messages of failed checks.
qint64 tst_FaultsSerial::waitingOnPort()
{
    const QSerialPort *port = window->findChild<QSerialPort *>();
    return port ? port->bytesAvailable() : -1;
}

void tst_FaultsSerial::startSimulator(const QStringList &arguments)
{
    QVERIFY2(sim->start(QStringList{QStringLiteral("--pty")} + arguments), "talmek-sim did not start");
}

void tst_FaultsSerial::startPanel()
{
    const QString ini = dir->filePath(QStringLiteral("settings.ini"));
    QSettings(ini, QSettings::IniFormat).setValue(QStringLiteral("serialMode"), 2);
    SerialPortDescription port;
    port.portName = sim->ptyPath();
    window = std::make_unique<MainWindow>(ini, QList<SerialPortDescription>{port});
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    polling = std::make_unique<ThreadLeitura>(window.get());
    action("actionConnect_to_Brisel")->trigger();
    QVERIFY(window->linkFlags().serialOpen);
    QTRY_COMPARE_WITH_TIMEOUT(lookOf(Power), Look::Green, 3000);
}

void tst_FaultsSerial::noiseOnTheLine_data()
{
    QTest::addColumn<int>("noiseBytes");
    QTest::newRow("a burst of 16 bytes") << 16;
    QTest::newRow("200 KB") << 200 * 1000;
}

void tst_FaultsSerial::noiseOnTheLine()
{
    QFETCH(int, noiseBytes);

    startSimulator({});
    startPanel();
    QTRY_COMPARE_WITH_TIMEOUT(window->statusBar()->currentMessage(),
                              QStringLiteral("Connected! Firmware Revision: 1 . 7"), 2000);
    QTest::mouseClick(button(QStringLiteral("botaoTecla2C1")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna1")), 1, 3000);

    LookHistory held(button(QStringLiteral("botaoTecla2C1")));
    for (int left = noiseBytes; left > 0; left -= NoiseChunk)
        QVERIFY(sim->control(QStringLiteral("noise %1").arg(qMin(left, NoiseChunk))));
    QVERIFY(sim->isRunning());

    // Random bytes are no reason to work harder: the GUI thread must stay idle between ticks.
    QElapsedTimer wall;
    wall.start();
    const qint64 cpuBefore = cpuTimeMs();
    QTest::qWait(1000);
    const qint64 cpu = cpuTimeMs() - cpuBefore;
    QVERIFY2(cpu * 10 < wall.elapsed() * 3,
             qPrintable(QStringLiteral("%1 ms of CPU in %2 ms").arg(cpu).arg(wall.elapsed())));

    // Commands still reach the box...
    QTest::mouseClick(button(QStringLiteral("botaoTecla5C2")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna2")), 4, 3000);
    // ...and no noise was taken for a state, not even for a moment.
    QVERIFY2(held.onlyEver(Look::Held), qPrintable(held.names().join(QLatin1Char(' '))));

    // The box's state is back on the panel within a few polls: a change only a status
    // reply can bring.
    QVERIFY(sim->control(QStringLiteral("tx 1 on")));
    QVERIFY2(waitUntil([&] { return lookOf(SendC1) == Look::Red; }, FewPollsMs),
             qPrintable(QStringLiteral("SEND 1 not lit after %1 ms; panel \"%2\", %3 bytes unread on the port")
                            .arg(FewPollsMs)
                            .arg(panel())
                            .arg(waitingOnPort())));
    QCOMPARE(panel(), panelOf({"botaoSendC1:Red", "botaoTecla2C1:Held", "botaoTecla5C2:Held"}));
    QCOMPARE(lookOf(Power), Look::Green);
    QVERIFY(window->linkFlags().serialOpen);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

void tst_FaultsSerial::tornAndGluedReplies_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("torn into pieces") << QStringList{QStringLiteral("--split-replies")};
    QTest::newRow("two glued into one write") << QStringList{QStringLiteral("--glue")};
    QTest::newRow("glued and torn") << QStringList{QStringLiteral("--glue"), QStringLiteral("--split-replies")};
}

void tst_FaultsSerial::tornAndGluedReplies()
{
    QFETCH(QStringList, arguments);

    // Channel 2's radio transmits from the start: only status replies can show that.
    startSimulator(arguments + QStringList{QStringLiteral("--transmit"), QStringLiteral("2")});
    startPanel();
    QVERIFY2(waitUntil([&] { return lookOf(SendC2) == Look::Red; }, FewPollsMs),
             qPrintable(QStringLiteral("SEND 2 not lit; panel \"%1\", %2 bytes unread on the port")
                            .arg(panel())
                            .arg(waitingOnPort())));

    QTest::mouseClick(button(QStringLiteral("botaoTecla3C1")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->stateValue(QStringLiteral("antenna1")), 2, 3000);
    {
        // No torn or glued reply may be taken for a different state, not even for a moment.
        LookHistory held(button(QStringLiteral("botaoTecla3C1")));
        QVERIFY(sim->control(QStringLiteral("tx 1 on")));
        QVERIFY2(waitUntil([&] { return lookOf(SendC1) == Look::Red; }, FewPollsMs),
                 qPrintable(QStringLiteral("SEND 1 not lit; panel \"%1\"").arg(panel())));
        QVERIFY(sim->control(QStringLiteral("tx 2 off")));
        QVERIFY2(waitUntil([&] { return lookOf(SendC2) == Look::Neutral; }, FewPollsMs),
                 qPrintable(QStringLiteral("SEND 2 still lit; panel \"%1\"").arg(panel())));
        QCOMPARE(panel(), panelOf({"botaoSendC1:Red", "botaoTecla3C1:Held"}));
        QVERIFY2(held.onlyEver(Look::Held), qPrintable(held.names().join(QLatin1Char(' '))));
    }
    QCOMPARE(lookOf(Power), Look::Green);

    action("actionDisconnect")->trigger();
    QVERIFY(sim->quit());
}

QTEST_MAIN(tst_FaultsSerial)
#include "tst_faults_serial.moc"

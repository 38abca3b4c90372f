// Trouble on the serial line, end to end: the real window and polling thread against the
// talmek-sim process over a pseudo-terminal, with random bytes on the line, replies torn
// into pieces and replies glued together. The panel must not crash or spin, and must go on
// following the box: presses reach it and its state shows on the panel.

#include "panelbench.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QtTest>

#include <memory>

using namespace PanelProbe;

namespace {
// Noise goes out in pieces the pseudo-terminal's buffer takes whole while the panel reads.
constexpr int NoiseChunk = 8192;
// How long the box's state may take to show on the panel: a few polls of about 160 ms. The
// checks wait with qWaitFor and say what the panel showed instead.
constexpr int FewPollsMs = 2500;

const QString SendC1 = QStringLiteral("botaoSendC1");
const QString SendC2 = QStringLiteral("botaoSendC2");
const QString Power = QStringLiteral("botaoPower");
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
    Look lookOf(const QString &name) { return bench->look(name); }
    QString panel() const { return bench->panel(); }
    static QString panelOf(QStringList marks) { return PanelBench::panelOf(std::move(marks)); }
    qint64 waitingOnPort();
    // The box with `arguments` on a pseudo-terminal, the window on it, connected.
    bool startConnected(const QStringList &arguments);
    TalmekSimProcess &sim() const { return *bench->sim; }

    std::unique_ptr<PanelBench> bench;
};

void tst_FaultsSerial::initTestCase()
{
    QVERIFY2(QFileInfo(TalmekSimProcess::program()).isExecutable(), qPrintable(TalmekSimProcess::program()));
}

void tst_FaultsSerial::init()
{
    bench = std::make_unique<PanelBench>();
    QVERIFY(bench->isValid());
}

void tst_FaultsSerial::cleanup() { bench.reset(); }

// Bytes the panel's port holds unread; only for the messages of failed checks.
qint64 tst_FaultsSerial::waitingOnPort()
{
    const QSerialPort *port = bench->window->findChild<QSerialPort *>();
    return port ? port->bytesAvailable() : -1;
}

bool tst_FaultsSerial::startConnected(const QStringList &arguments)
{
    if (!bench->startBox(Link::Serial, arguments) || !bench->openOnBox())
        return false;
    bench->connectToBox();
    return bench->window->linkFlags().serialOpen
        && QTest::qWaitFor([this] { return lookOf(Power) == Look::Green; }, 3000);
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

    QVERIFY(startConnected({}));
    QTRY_COMPARE_WITH_TIMEOUT(bench->status(), QStringLiteral("Connected! Firmware Revision: 1 . 7"), 2000);
    bench->press(QStringLiteral("botaoTecla2C1"));
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(QStringLiteral("antenna1")), 1, 3000);

    LookHistory held(bench->button(QStringLiteral("botaoTecla2C1")));
    for (int left = noiseBytes; left > 0; left -= NoiseChunk)
        QVERIFY(sim().control(QStringLiteral("noise %1").arg(qMin(left, NoiseChunk))));
    QVERIFY(sim().isRunning());

    // Random bytes are no reason to work harder: the GUI thread must stay idle between ticks,
    // a dozen of them (about a second) with the noise on the line.
    QElapsedTimer wall;
    wall.start();
    const qint64 cpuBefore = cpuTimeMs();
    QVERIFY(bench->waitForTicks(12));
    const qint64 cpu = cpuTimeMs() - cpuBefore;
    QVERIFY2(cpu * 10 < wall.elapsed() * 3,
             qPrintable(QStringLiteral("%1 ms of CPU in %2 ms").arg(cpu).arg(wall.elapsed())));

    // Commands still reach the box...
    bench->press(QStringLiteral("botaoTecla5C2"));
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(QStringLiteral("antenna2")), 4, 3000);
    // ...and no noise was taken for a state, not even for a moment.
    QVERIFY2(held.onlyEver(Look::Held), qPrintable(held.names().join(QLatin1Char(' '))));

    // The box's state is back on the panel within a few polls: a change only a status
    // reply can bring.
    QVERIFY(sim().control(QStringLiteral("tx 1 on")));
    QVERIFY2(QTest::qWaitFor([&] { return lookOf(SendC1) == Look::Red; }, FewPollsMs),
             qPrintable(QStringLiteral("SEND 1 not lit after %1 ms; panel \"%2\", %3 bytes unread on the port")
                            .arg(FewPollsMs)
                            .arg(panel())
                            .arg(waitingOnPort())));
    QCOMPARE(panel(), panelOf({"botaoSendC1:Red", "botaoTecla2C1:Held", "botaoTecla5C2:Held"}));
    QCOMPARE(lookOf(Power), Look::Green);
    QVERIFY(bench->window->linkFlags().serialOpen);

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
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
    QVERIFY(startConnected(arguments + QStringList{QStringLiteral("--transmit"), QStringLiteral("2")}));
    QVERIFY2(QTest::qWaitFor([&] { return lookOf(SendC2) == Look::Red; }, FewPollsMs),
             qPrintable(QStringLiteral("SEND 2 not lit; panel \"%1\", %2 bytes unread on the port")
                            .arg(panel())
                            .arg(waitingOnPort())));

    bench->press(QStringLiteral("botaoTecla3C1"));
    QTRY_COMPARE_WITH_TIMEOUT(sim().stateValue(QStringLiteral("antenna1")), 2, 3000);
    {
        // No torn or glued reply may be taken for a different state, not even for a moment.
        LookHistory held(bench->button(QStringLiteral("botaoTecla3C1")));
        QVERIFY(sim().control(QStringLiteral("tx 1 on")));
        QVERIFY2(QTest::qWaitFor([&] { return lookOf(SendC1) == Look::Red; }, FewPollsMs),
                 qPrintable(QStringLiteral("SEND 1 not lit; panel \"%1\"").arg(panel())));
        QVERIFY(sim().control(QStringLiteral("tx 2 off")));
        QVERIFY2(QTest::qWaitFor([&] { return lookOf(SendC2) == Look::Neutral; }, FewPollsMs),
                 qPrintable(QStringLiteral("SEND 2 still lit; panel \"%1\"").arg(panel())));
        QCOMPARE(panel(), panelOf({"botaoSendC1:Red", "botaoTecla3C1:Held"}));
        QVERIFY2(held.onlyEver(Look::Held), qPrintable(held.names().join(QLatin1Char(' '))));
    }
    QCOMPARE(lookOf(Power), Look::Green);

    bench->disconnectFromBox();
    QVERIFY(sim().quit());
}

QTEST_MAIN(tst_FaultsSerial)
#include "tst_faults_serial.moc"

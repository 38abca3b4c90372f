// Band follow end to end: the real window, polling thread and links, talmek-sim as the box
// (over the LAN on 127.0.0.2 or over a pseudo-terminal), and Hamlib's own rigctld with its
// dummy radio for each radio, its frequency moved with rigctl.

#include "lan/threadcom.h"
#include "panelbench.h"
#include "rig/bandfollowservice.h"
#include "rig/rigctldclient.h"
#include "rigctldprocess.h"

#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using PanelLook::Look;

namespace {
constexpr qint64 On20m = 14'074'000;
constexpr qint64 On40m = 7'074'000;
} // namespace

class tst_E2eBandFollow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void bothRadiosFollowTheirBands_data() { addLinkRows(); }
    void bothRadiosFollowTheirBands();
    void transmitAndTheOperatorHoldSwitchesBack_data() { addLinkRows(); }
    void transmitAndTheOperatorHoldSwitchesBack();
    void restartedRigctldIsPickedUpAndDisconnectStopsReading_data() { addLinkRows(); }
    void restartedRigctldIsPickedUpAndDisconnectStopsReading();

private:
    void startPanel(int radios);
    // Moves the radio and waits until the panel has read it, and then twice more.
    void tune(int channel, qint64 hz);
    void waitForReadings(int channel, int count);
    int antenna(int channel) { return bench->sim->stateValue(QStringLiteral("antenna%1").arg(channel)); }
    void transmit(bool on);
    template<typename T = QPushButton> T *child(QObject *parent, const char *name)
    {
        return parent->findChild<T *>(QLatin1String(name));
    }
    bool shown(const QString &message) const { return messages.contains(message); }
    // What the status bar's corner shows for one radio now.
    QString onScreen(int radio)
    {
        const auto *label = bench->window->findChild<QLabel *>(QStringLiteral("bandFollowStatus%1").arg(radio));
        return label && label->isVisible() ? label->text() : QString();
    }
    // Every switch band follow made says so.
    int switchesShown() const { return messages.filter(QStringLiteral(" m \u2192 ")).size(); }

    std::unique_ptr<PanelBench> bench;
    std::unique_ptr<RigctldProcess> rig[3];
    std::unique_ptr<QSignalSpy> readings;
    QStringList messages;
};

void tst_E2eBandFollow::initTestCase()
{
    QVERIFY2(QFileInfo(TalmekSimProcess::program()).isExecutable(), qPrintable(TalmekSimProcess::program()));
    QVERIFY2(RigctldProcess::available(), "rigctld and rigctl (Debian's libhamlib-utils) are needed");
    PanelProbe::silenceReadNotices();
}

void tst_E2eBandFollow::init()
{
    bench = std::make_unique<PanelBench>();
    QVERIFY(bench->isValid());
    messages.clear();
}

void tst_E2eBandFollow::cleanup()
{
    readings.reset();
    bench.reset();
    for (auto &process : rig)
        process.reset();
}

// Radio 1 (and 2) on rigctld. Channel 1: 20 m Ant 3 ("Beam"), 40 m Ant 2; channel 2:
// 20 m Ant 5, 40 m Ant 6.
void tst_E2eBandFollow::startPanel(int radios)
{
    QFETCH(Link, link);
    QVERIFY(bench->startBox(link));
    QVariantMap settings = bench->linkSettings();
    settings.insert(QStringLiteral("K3_1"), QStringLiteral("Beam"));
    for (int c = 1; c <= radios; ++c) {
        rig[c] = std::make_unique<RigctldProcess>();
        QVERIFY2(rig[c]->start(), "rigctld did not start");
        settings.insert(QStringLiteral("RIG%1").arg(c), rig[c]->address());
    }
    const QString bands[] = {"BAND1_20=3", "BAND1_40=2", "BAND2_20=5", "BAND2_40=6"};
    for (const QString &band : bands)
        settings.insert(band.section('=', 0, 0), band.section('=', 1));
    bench->store(settings);
    bench->build(bench->linkPorts());
    const auto *service = bench->window->findChild<BandFollowService *>();
    connect(service, &BandFollowService::message, this, [this](int, const QString &text) { messages << text; });
    readings = std::make_unique<QSignalSpy>(service, &BandFollowService::frequencyRead);
    bench->window->show();
    bench->startPolling();

    bench->connectToBox();
    QTRY_COMPARE_WITH_TIMEOUT(bench->lamp(), Look::Green, 3000);
    for (int c = 1; c <= radios; ++c)
        QTRY_VERIFY_WITH_TIMEOUT(shown(QStringLiteral("Radio %1: rigctld connected").arg(c)), 3000);
    // The dummy radio starts on 145 MHz, outside every band: nothing switches.
    waitForReadings(1, 2);
    QCOMPARE(antenna(1), 15);
}

void tst_E2eBandFollow::waitForReadings(int channel, int count)
{
    const int from = readings->count();
    const auto seen = [&] {
        int n = 0;
        for (int i = from; i < readings->count(); ++i)
            n += readings->at(i).at(0).toInt() == channel ? 1 : 0;
        return n;
    };
    QTRY_VERIFY_WITH_TIMEOUT(seen() >= count, 3000);
}

void tst_E2eBandFollow::tune(int channel, qint64 hz)
{
    const int from = readings->count();
    QVERIFY(rig[channel]->setFrequency(hz));
    // The channel's own readings since the move, not the newest of all: both radios are read
    // at the same pace, and the other one's reading can land just after this one's every time.
    const QList<QVariant> moved{channel, hz};
    const auto read = [&] {
        for (int i = from; i < readings->count(); ++i) {
            if (readings->at(i) == moved)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(read(), 3000);
    waitForReadings(channel, 2);
}

void tst_E2eBandFollow::transmit(bool on)
{
    QVERIFY(bench->sim->control(QStringLiteral("tx 1 ") + (on ? "on" : "off")));
    QTRY_COMPARE_WITH_TIMEOUT(bench->look(QStringLiteral("botaoSendC1")), on ? Look::Red : Look::Neutral, 2000);
}

void tst_E2eBandFollow::bothRadiosFollowTheirBands()
{
    QFETCH(Link, link);
    startPanel(2);
    QVERIFY(rig[1]->setFrequency(On20m));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 2, 1000);
    QVERIFY(shown(QStringLiteral("Radio 1: 20 m \u2192 Beam")));
    QVERIFY(rig[2]->setFrequency(On20m));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(2), 4, 1000);
    QVERIFY(shown(QStringLiteral("Radio 2: 20 m \u2192 Ant 5")));
    // Each radio's news stays in view, also while the LAN's ping figures come and go.
    if (link == Link::Lan) {
        // Two more replies, each with its figure (a figure equal to the last changes nothing
        // on screen, so the replies are counted, not the bar's changes).
        const quint64 read = bench->window->lanLink()->datagramsRead();
        QTRY_VERIFY_WITH_TIMEOUT(bench->window->lanLink()->datagramsRead() >= read + 2, 2000);
        QVERIFY(bench->window->statusBar()->currentMessage().startsWith(QLatin1String("Ping: ")));
    }
    QCOMPARE(onScreen(1), QStringLiteral("Radio 1: 20 m \u2192 Beam"));
    QCOMPARE(onScreen(2), QStringLiteral("Radio 2: 20 m \u2192 Ant 5"));
    QVERIFY(rig[1]->setFrequency(On40m));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 1, 1000);
    QVERIFY(rig[2]->setFrequency(On40m));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(2), 5, 1000);
    // The panel shows what the box reports.
    QTRY_COMPARE_WITH_TIMEOUT(bench->panel(), QStringLiteral("botaoTecla2C1:Held botaoTecla6C2:Held"), 1000);

    // Within a band, and outside every band, nothing more is sent.
    const int switches = switchesShown();
    tune(1, 7'100'000);
    tune(2, 15'000'000);
    QCOMPARE(switchesShown(), switches);

    // The dialog refuses an address that is no address, and applies a changed table at once.
    bench->trigger(QStringLiteral("actionBand_Follow"));
    auto *dialog = child<QDialog>(bench->window.get(), "bandFollowDialog");
    child<QLineEdit>(dialog, "rigAddress2")->setText(QStringLiteral("localhost"));
    QTest::mouseClick(child(dialog, "botaoOK"), Qt::LeftButton);
    QVERIFY(dialog->isVisible());
    child<QLineEdit>(dialog, "rigAddress2")->setText(rig[2]->address());
    QTest::mouseClick(child<QRadioButton>(dialog, "band1_15_4"), Qt::LeftButton);
    QTest::mouseClick(child(dialog, "botaoOK"), Qt::LeftButton);
    QVERIFY(rig[1]->setFrequency(21'074'000));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 3, 1000);
}

void tst_E2eBandFollow::transmitAndTheOperatorHoldSwitchesBack()
{
    startPanel(1);
    tune(1, On20m);
    QCOMPARE(antenna(1), 2);

    // Moved to 40 m under transmit: held until the box reports the end of it.
    transmit(true);
    tune(1, On40m);
    QCOMPARE(antenna(1), 2);
    transmit(false);
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 1, 1000);

    // To 20 m and back to 40 m before the transmission ends: nothing is sent.
    transmit(true);
    const int switches = switchesShown();
    tune(1, On20m);
    tune(1, On40m);
    transmit(false);
    waitForReadings(1, 3);
    QCOMPARE(switchesShown(), switches);
    QCOMPARE(antenna(1), 1);

    // To 20 m under transmit, then the operator's own choice: it stands after the
    // transmission, until the radio's next band change.
    transmit(true);
    tune(1, On20m);
    bench->press(QStringLiteral("botaoTecla6C1"));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 5, 2000);
    transmit(false);
    tune(1, 14'200'000);
    QCOMPARE(antenna(1), 5);
    QVERIFY(rig[1]->setFrequency(On40m));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 1, 1000);
}

void tst_E2eBandFollow::restartedRigctldIsPickedUpAndDisconnectStopsReading()
{
    startPanel(1);
    tune(1, On20m);
    const quint16 port = rig[1]->port();
    rig[1]->kill();
    const QString outage = QStringLiteral("Radio 1: rigctld at 127.0.0.1:%1 not reachable").arg(port);
    QTRY_COMPARE_WITH_TIMEOUT(onScreen(1), outage, 3000);
    QVERIFY(rig[1]->start(port));
    QTRY_VERIFY_WITH_TIMEOUT(messages.count(QStringLiteral("Radio 1: rigctld connected")) == 2, 5000);
    QCOMPARE(messages.filter(QStringLiteral("not reachable")).size(), 1);
    QVERIFY(rig[1]->setFrequency(On40m));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 1, 1000);

    bench->trigger(QStringLiteral("actionDisconnect"));
    QCOMPARE(onScreen(1), QString());
    readings->clear();
    QVERIFY(!readings->wait(3 * RigctldClient::PollIntervalMs));
}

QTEST_MAIN(tst_E2eBandFollow)
#include "tst_e2e_bandfollow.moc"

// Band follow end to end: the real window, polling thread and links, talmek-sim as the box
// (over the LAN on 127.0.0.2 or over a pseudo-terminal), and Hamlib's own rigctld with its
// dummy radio for each radio, its frequency moved with rigctl.

#include "app/mainwindow.h"
#include "app/panellook.h"
#include "engine/threadleitura.h"
#include "rig/bandfollowservice.h"
#include "rig/rigctldclient.h"
#include "rigctldprocess.h"
#include "talmeksimprocess.h"

#include "panelprobe.h"

#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using PanelLook::Look;
using namespace PanelProbe;

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

    void bothRadiosDriveTheirChannels_data() { links(); }
    void bothRadiosDriveTheirChannels();
    void transmitHoldsTheSwitchUntilItEnds_data() { links(); }
    void transmitHoldsTheSwitchUntilItEnds();
    void manualPressStandsUntilTheNextBand_data() { links(); }
    void manualPressStandsUntilTheNextBand();
    void restartedRigctldIsPickedUpAndDisconnectStopsReading_data() { links(); }
    void restartedRigctldIsPickedUpAndDisconnectStopsReading();

private:
    static void links();
    void startPanel(int radios);
    // Moves radio `channel` to `hz` and waits until the panel has read it and then read the
    // radio twice more, so that whatever it decided on it is done.
    void tune(int channel, qint64 hz);
    void waitForReadings(int channel, int count);
    int antenna(int channel) { return sim->stateValue(QStringLiteral("antenna%1").arg(channel)); }
    Look lookOf(const char *name) { return ::lookOf(window->findChild<QPushButton *>(QLatin1String(name))); }
    bool shown(const QString &message) const { return messages.contains(message); }
    // Antenna selections the box received from line `from` of the simulator's output on.
    int selectionsReceived(int channel, int from) const;

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TalmekSimProcess> sim;
    std::unique_ptr<RigctldProcess> rig[3];
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ThreadLeitura> polling;
    std::unique_ptr<QSignalSpy> readings;
    QStringList messages;
    bool serial = false;
};

void tst_E2eBandFollow::initTestCase()
{
    QVERIFY2(QFileInfo(TalmekSimProcess::program()).isExecutable(), qPrintable(TalmekSimProcess::program()));
    QVERIFY2(RigctldProcess::available(), "rigctld and rigctl (Debian's libhamlib-utils) are needed");
    qRegisterMetaType<MainWindow *>("MainWindow*");
    ReadNotices::install();
}

void tst_E2eBandFollow::links()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("LAN") << false;
    QTest::newRow("serial") << true;
}

void tst_E2eBandFollow::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    sim = std::make_unique<TalmekSimProcess>();
    QVERIFY(sim->start({QStringLiteral("--hex"), QStringLiteral("--pty"), QStringLiteral("--udp"), QStringLiteral("0"),
                        QStringLiteral("--udp-bind"), QStringLiteral("127.0.0.2")}));
    messages.clear();
}

void tst_E2eBandFollow::cleanup()
{
    readings.reset();
    polling.reset();
    window.reset();
    for (auto &process : rig)
        process.reset();
    sim.reset();
    dir.reset();
}

// Radio 1 (and radio 2 when `radios` is 2) on rigctld. Channel 1: 20 m Ant 3 ("Beam"),
// 40 m Ant 2; channel 2: 20 m Ant 5, 40 m Ant 6.
void tst_E2eBandFollow::startPanel(int radios)
{
    QFETCH(bool, serial);
    this->serial = serial;
    const QString udp = sim->waitForLine(QStringLiteral("UDP "), 0, 5000);
    QVERIFY(!udp.isEmpty());
    for (int c = 1; c <= radios; ++c) {
        rig[c] = std::make_unique<RigctldProcess>();
        QVERIFY2(rig[c]->start(), "rigctld did not start");
    }
    const QString ini = dir->filePath(QStringLiteral("settings.ini"));
    {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setValue(QStringLiteral("serialMode"), serial ? 2 : 1);
        settings.setValue(QStringLiteral("IP"), QStringLiteral("127.0.0.2"));
        settings.setValue(QStringLiteral("PORT"), udp.section(QLatin1Char(':'), 1));
        settings.setValue(QStringLiteral("K3_1"), QStringLiteral("Beam"));
        for (int c = 1; c <= radios; ++c)
            settings.setValue(QStringLiteral("RIG%1").arg(c), rig[c]->address());
        settings.setValue(QStringLiteral("BAND1_20"), 3);
        settings.setValue(QStringLiteral("BAND1_40"), 2);
        settings.setValue(QStringLiteral("BAND2_20"), 5);
        settings.setValue(QStringLiteral("BAND2_40"), 6);
    }
    SerialPortDescription port;
    port.portName = sim->ptyPath();
    window = std::make_unique<MainWindow>(ini, QList<SerialPortDescription>{port});
    connect(window->statusBar(), &QStatusBar::messageChanged, this, [this](const QString &text) {
        if (text.startsWith(QLatin1String("Radio ")))
            messages << text;
    });
    auto *follow = window->findChild<BandFollowService *>();
    QVERIFY(follow);
    readings = std::make_unique<QSignalSpy>(follow, &BandFollowService::frequencyRead);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    polling = std::make_unique<ThreadLeitura>(window.get());

    window->findChild<QAction *>(QStringLiteral("actionConnect_to_Brisel"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(lookOf("botaoPower"), Look::Green, 3000);
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
    QVERIFY(rig[channel]->setFrequency(hz));
    QTRY_VERIFY_WITH_TIMEOUT(readings->count() > 0 && readings->last().at(0).toInt() == channel
                                 && readings->last().at(1).toLongLong() == hz,
                             3000);
    waitForReadings(channel, 2);
}

int tst_E2eBandFollow::selectionsReceived(int channel, int from) const
{
    // Serial: "IG" 01|02 position ";"; LAN: FE 02|03 position FD.
    const QString prefix =
        serial ? QStringLiteral("RX pty 49 47 0%1 ").arg(channel) : QStringLiteral(" FE 0%1 ").arg(channel + 1);
    int n = 0;
    for (int i = from; i < sim->lines().size(); ++i) {
        const QString &line = sim->lines().at(i);
        n += (serial ? line.startsWith(prefix) : line.startsWith(QLatin1String("RX udp")) && line.contains(prefix)) ? 1
                                                                                                                    : 0;
    }
    return n;
}

void tst_E2eBandFollow::bothRadiosDriveTheirChannels()
{
    startPanel(2);
    QElapsedTimer elapsed;
    QVERIFY(rig[1]->setFrequency(On20m));
    elapsed.start();
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 2, 1000);
    QVERIFY(shown(QStringLiteral("Radio 1: 20 m \u2192 Beam")));

    QVERIFY(rig[2]->setFrequency(On20m));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(2), 4, 1000);
    QVERIFY(shown(QStringLiteral("Radio 2: 20 m \u2192 Ant 5")));

    QVERIFY(rig[1]->setFrequency(On40m));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 1, 1000);
    QVERIFY(rig[2]->setFrequency(On40m));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(2), 5, 1000);
    // The panel shows what the box reports.
    QTRY_COMPARE_WITH_TIMEOUT(lookOf("botaoTecla2C1"), Look::Held, 1000);
    QTRY_COMPARE_WITH_TIMEOUT(lookOf("botaoTecla6C2"), Look::Held, 1000);

    // Within a band, and outside every band, nothing more is sent.
    const int from = sim->lineCount();
    tune(1, 7'100'000);
    tune(2, 15'000'000);
    QCOMPARE(selectionsReceived(1, from) + selectionsReceived(2, from), 0);

    // A table changed in the dialog applies at once.
    window->findChild<QAction *>(QStringLiteral("actionBand_Follow"))->trigger();
    auto *dialog = window->findChild<QDialog *>(QStringLiteral("bandFollowDialog"));
    QVERIFY(dialog);
    QTest::mouseClick(dialog->findChild<QRadioButton *>(QStringLiteral("band1_15_4")), Qt::LeftButton);
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("botaoOK")), Qt::LeftButton);
    QVERIFY(rig[1]->setFrequency(21'074'000));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 3, 1000);
}

void tst_E2eBandFollow::transmitHoldsTheSwitchUntilItEnds()
{
    startPanel(1);
    tune(1, On20m);
    QCOMPARE(antenna(1), 2);

    // Moved to 40 m under transmit: held until the box reports the end of it.
    QVERIFY(sim->control(QStringLiteral("tx 1 on")));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf("botaoSendC1"), Look::Red, 2000);
    tune(1, On40m);
    QCOMPARE(antenna(1), 2);
    QVERIFY(sim->control(QStringLiteral("tx 1 off")));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 1, 1500);

    // Back to 20 m and to 40 m again before the transmission ends: nothing is sent.
    QVERIFY(sim->control(QStringLiteral("tx 1 on")));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf("botaoSendC1"), Look::Red, 2000);
    const int from = sim->lineCount();
    tune(1, On20m);
    tune(1, On40m);
    QVERIFY(sim->control(QStringLiteral("tx 1 off")));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf("botaoSendC1"), Look::Neutral, 2000);
    waitForReadings(1, 3);
    QCOMPARE(selectionsReceived(1, from), 0);
    QCOMPARE(antenna(1), 1);
}

void tst_E2eBandFollow::manualPressStandsUntilTheNextBand()
{
    startPanel(1);
    tune(1, On20m);
    QCOMPARE(antenna(1), 2);

    // A switch held back by transmit, then the operator's own choice: the choice stands
    // when the transmission ends.
    QVERIFY(sim->control(QStringLiteral("tx 1 on")));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf("botaoSendC1"), Look::Red, 2000);
    tune(1, On40m);
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("botaoTecla6C1")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 5, 2000);
    QVERIFY(sim->control(QStringLiteral("tx 1 off")));
    QTRY_COMPARE_WITH_TIMEOUT(lookOf("botaoSendC1"), Look::Neutral, 2000);
    tune(1, 7'100'000);
    QCOMPARE(antenna(1), 5);

    // Until the radio's next band change.
    QVERIFY(rig[1]->setFrequency(On20m));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 2, 1000);
}

void tst_E2eBandFollow::restartedRigctldIsPickedUpAndDisconnectStopsReading()
{
    startPanel(1);
    tune(1, On20m);
    const quint16 port = rig[1]->port();

    messages.clear();
    rig[1]->kill();
    QTRY_VERIFY_WITH_TIMEOUT(shown(QStringLiteral("Radio 1: rigctld at 127.0.0.1:%1 not reachable").arg(port)), 3000);
    QVERIFY(rig[1]->start(port));
    QTRY_VERIFY_WITH_TIMEOUT(shown(QStringLiteral("Radio 1: rigctld connected")), 5000);
    QCOMPARE(messages.filter(QStringLiteral("not reachable")).size(), 1);
    QVERIFY(rig[1]->setFrequency(On40m));
    QTRY_COMPARE_WITH_TIMEOUT(antenna(1), 1, 1000);

    window->findChild<QAction *>(QStringLiteral("actionDisconnect"))->trigger();
    readings->clear();
    QVERIFY(!readings->wait(3 * RigctldClient::PollIntervalMs));
}

QTEST_MAIN(tst_E2eBandFollow)
#include "tst_e2e_bandfollow.moc"

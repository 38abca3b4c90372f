// Closing the panel at any moment, in the order main() uses: the window is built and shown,
// "MainWindow*" registered, the polling thread started on it; at the end the window closes,
// the polling thread goes first, then the window. Whatever is going on at that moment (a
// link up with replies flowing, dialogs open, host look-ups under way, a datagram flood,
// commands still queued), the teardown must return promptly, leave no thread running and
// no call queued for the window that is gone, and release the serial port and the socket.
//
// LAN rows use 127.0.0.1 for the box: the panel looks its configured address up, and Qt's
// look-up of an IP literal that /etc/hosts does not name asks DNS for its name.

#include "loopbackpeer.h"
#include "panelbench.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QPointer>
#include <QSerialPort>
#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

using namespace PanelProbe;

namespace {
const char *const BoxAddress = "127.0.0.1";
const char *const StrangerAddress = "127.0.0.3";
const QByteArray BoxStatus = "1.2.0.0.F.F.0.0.0.0.FF";
// What the teardown may take: one polling tick and one worker pass, with room to spare for
// a loaded machine and sanitizer builds.
constexpr qint64 TeardownBoundMs = 3000;
// Past this the teardown is taken for hung and the process is stopped with a message.
constexpr int WatchdogMs = 15000;

enum class Situation {
    Idle,
    SerialRepliesFlowing,
    SerialCommandsQueued,
    LanRepliesFlowing,
    LanCommandsQueued,
    LookupsInFlight,
    FailingLookupsInFlight,
    DatagramFlood,
    LabelsDialogOpen,
    LanSettingsDialogOpen,
    SerialSettingsDialogOpen,
    AboutDialogOpen,
};

bool isSerial(Situation s) { return s == Situation::SerialRepliesFlowing || s == Situation::SerialCommandsQueued; }

// Each frame starts an asynchronous look-up in Qt's resolver threads: "localhost" resolves
// from /etc/hosts, a name with a space fails there without asking DNS.
QString boxHostFor(Situation s)
{
    if (s == Situation::LookupsInFlight)
        return QStringLiteral("localhost");
    if (s == Situation::FailingLookupsInFlight)
        return QStringLiteral("talmek box");
    return QString::fromLatin1(BoxAddress);
}

bool linksLan(Situation s)
{
    return s == Situation::LanRepliesFlowing || s == Situation::LanCommandsQueued || s == Situation::LookupsInFlight
        || s == Situation::FailingLookupsInFlight || s == Situation::DatagramFlood;
}

// Stops the process with a message when a teardown does not return: a hang must not wait
// for ctest's time-out to be noticed.
class Watchdog
{
public:
    Watchdog(int ms, const char *what)
        : thread([this, ms, what] {
            std::unique_lock<std::mutex> lock(mutex);
            if (!done.wait_for(lock, std::chrono::milliseconds(ms), [this] { return finished; })) {
                std::fprintf(stderr, "FATAL: %s did not return within %d ms\n", what, ms);
                std::abort();
            }
        })
    {}
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            finished = true;
        }
        done.notify_all();
        thread.join();
    }

private:
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread thread;
};

// Catches queued calls delivered after the teardown to the window's address or to its LAN
// worker's: a worker or thread left alive past the window would post there. It compares
// addresses only and swallows what it catches, so such a call is reported instead of run.
// (A post into freed memory itself is what the sanitizer build reports.)
class LateCalls : public QObject
{
public:
    explicit LateCalls(QList<const void *> addresses)
        : gone(std::move(addresses))
    {
        qApp->installEventFilter(this);
    }
    ~LateCalls() override { qApp->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall && gone.contains(receiver)) {
            ++count;
            return true;
        }
        return false;
    }

private:
    QList<const void *> gone;
};

// Open descriptors of this process that lead to `path`.
int descriptorsTo(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int n = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::NoDotAndDotDot | QDir::System | QDir::AllEntries))
        n += QFileInfo(fds.filePath(fd)).symLinkTarget() == target ? 1 : 0;
    return n;
}

// Random datagrams from the box's address and a stranger's until stopped.
class Flood
{
public:
    Flood(LoopbackPeer &box, LoopbackPeer &stranger, quint16 port)
        : thread([this, &box, &stranger, port] {
            QRandomGenerator random(7);
            while (!stop) {
                for (int i = 0; i < 20; ++i) {
                    LoopbackPeer &from = random.bounded(2) == 0 ? box : stranger;
                    from.sendTo(port, random.bounded(4) == 0 ? BoxStatus : randomDatagram(random, 2000));
                    ++sent;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        })
    {}
    ~Flood()
    {
        stop = true;
        thread.join();
    }
    std::atomic<int> sent{0};

private:
    std::atomic<bool> stop{false};
    std::thread thread;
};
} // namespace

Q_DECLARE_METATYPE(Situation)

class tst_Shutdown : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void closeAtAnyMoment_data();
    void closeAtAnyMoment();
    void closingTheWindowEndsTheEventLoop_data();
    void closingTheWindowEndsTheEventLoop();

private:
    QString status() const { return bench->status(); }
    void startAsMainDoes(Situation situation);
    void bringAbout(Situation situation);
    void pressAntennas(int count);

    std::unique_ptr<PanelBench> bench;
    std::unique_ptr<LoopbackPeer> box;
    std::unique_ptr<LoopbackPeer> stranger;
    std::unique_ptr<Flood> flood;
    QPointer<QWidget> dialog;
};

void tst_Shutdown::initTestCase()
{
    QVERIFY2(QFileInfo(TalmekSimProcess::program()).isExecutable(), qPrintable(TalmekSimProcess::program()));
    silenceReadNotices();
}

void tst_Shutdown::init()
{
    dialog.clear();
    bench = std::make_unique<PanelBench>();
    QVERIFY(bench->isValid());
    box = std::make_unique<LoopbackPeer>(BoxAddress);
    stranger = std::make_unique<LoopbackPeer>(StrangerAddress);
    QVERIFY(box->isValid());
    QVERIFY(stranger->isValid());
}

void tst_Shutdown::cleanup()
{
    // After a failed check: the same order as main().
    flood.reset();
    bench.reset();
    box.reset();
    stranger.reset();
}

void tst_Shutdown::startAsMainDoes(Situation situation)
{
    if (isSerial(situation))
        QVERIFY(bench->startBox(Link::Serial));
    bench->store({{QStringLiteral("serialMode"), isSerial(situation) ? 2 : 1},
                  {QStringLiteral("IP"), boxHostFor(situation)},
                  {QStringLiteral("PORT"), box->port()}});
    QVERIFY(bench->open(isSerial(situation) ? bench->linkPorts() : QList<SerialPortDescription>{}));
    bench->startPolling();
}

void tst_Shutdown::pressAntennas(int count)
{
    for (int i = 0; i < count; ++i)
        bench->press(QStringLiteral("botaoTecla%1C%2").arg(i % 6 + 1).arg(i % 2 + 1));
}

// Puts the panel into `situation` and checks that it is really there.
void tst_Shutdown::bringAbout(Situation situation)
{
    if (isSerial(situation)) {
        bench->action("actionConnect_to_Brisel")->trigger();
        QVERIFY(bench->window->linkFlags().serialOpen);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Connected! Firmware Revision: 1 . 7"), 3000);
        const int from = bench->sim->lineCount();
        QTRY_VERIFY_WITH_TIMEOUT(bench->sim->count(QStringLiteral("TX pty 49 47 05 "), from) >= 2, 3000);
        QCOMPARE(bench->lamp(), Look::Green);
        if (situation == Situation::SerialCommandsQueued) {
            pressAntennas(6);
            QVERIFY(!bench->window->isCommandQueueEmpty());
        }
        return;
    }
    if (situation == Situation::FailingLookupsInFlight) {
        bench->action("actionConnect_to_Brisel")->trigger();
        QVERIFY(bench->window->linkFlags().lanLinkEnabled);
        pressAntennas(12);
        QCOMPARE(bench->window->boxHostAddress(), QStringLiteral("error"));
        QVERIFY(bench->window->lanLink()->pendingDatagrams() > 0); // held while the name fails
        return;
    }
    if (linksLan(situation)) {
        box->answerStateRequests(BoxStatus);
        bench->action("actionConnect_to_Brisel")->trigger();
        QVERIFY(bench->window->linkFlags().lanLinkEnabled);
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QLatin1String("Ping: ")), 3000);
        QCOMPARE(int(bench->window->deviceState().antenna[2]), 2);
        if (situation == Situation::LanCommandsQueued) {
            pressAntennas(6);
            QVERIFY(bench->window->lanLink()->pendingDatagrams() > 0);
        } else if (situation == Situation::LookupsInFlight) {
            pressAntennas(12);
        } else if (situation == Situation::DatagramFlood) {
            const quint64 before = bench->window->lanLink()->datagramsRead();
            flood = std::make_unique<Flood>(*box, *stranger, bench->window->lanLink()->localPort());
            QTRY_VERIFY_WITH_TIMEOUT(bench->window->lanLink()->datagramsRead() - before >= 500, 3000);
        }
        return;
    }
    const char *actionName = nullptr;
    const char *dialogName = nullptr;
    switch (situation) {
    case Situation::LabelsDialogOpen:
        actionName = "actionLabels";
        dialogName = "labels";
        break;
    case Situation::LanSettingsDialogOpen:
        actionName = "actionLAN_Settings";
        dialogName = "formLanCFG";
        break;
    case Situation::AboutDialogOpen:
        actionName = "actionAbout_Norvale";
        dialogName = "about";
        break;
    case Situation::SerialSettingsDialogOpen:
        actionName = "actionConfigure";
        break;
    default:
        return;
    }
    bench->action(actionName)->trigger();
    if (dialogName) {
        dialog = bench->window->findChild<QDialog *>(QLatin1String(dialogName));
    } else {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget != bench->window.get() && qobject_cast<QDialog *>(widget) && widget->isVisible())
                dialog = widget;
        }
    }
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
}

void tst_Shutdown::closeAtAnyMoment_data()
{
    QTest::addColumn<Situation>("situation");
    QTest::newRow("idle") << Situation::Idle;
    QTest::newRow("serial link up, replies flowing") << Situation::SerialRepliesFlowing;
    QTest::newRow("serial link up, commands queued") << Situation::SerialCommandsQueued;
    QTest::newRow("LAN link up, replies flowing") << Situation::LanRepliesFlowing;
    QTest::newRow("LAN link up, commands queued") << Situation::LanCommandsQueued;
    QTest::newRow("LAN link up, host look-ups under way") << Situation::LookupsInFlight;
    QTest::newRow("LAN link up, failing look-ups under way") << Situation::FailingLookupsInFlight;
    QTest::newRow("LAN link up, datagram flood") << Situation::DatagramFlood;
    QTest::newRow("labels dialog open") << Situation::LabelsDialogOpen;
    QTest::newRow("LAN settings dialog open") << Situation::LanSettingsDialogOpen;
    QTest::newRow("serial settings dialog open") << Situation::SerialSettingsDialogOpen;
    QTest::newRow("about dialog open") << Situation::AboutDialogOpen;
}

void tst_Shutdown::closeAtAnyMoment()
{
    QFETCH(Situation, situation);

    startAsMainDoes(situation);
    if (QTest::currentTestFailed())
        return;
    bringAbout(situation);
    if (QTest::currentTestFailed())
        return;

    QVERIFY(bench->polling->isRunning());
    QVERIFY(bench->window->lanLink()->isRunning());
    // Counted with atomics: the signal comes from the ending thread, and the join that
    // orders it before the checks below happens inside Qt, out of the race detector's view.
    std::atomic<int> pollingFinished{0};
    std::atomic<int> workerFinished{0};
    connect(
        bench->polling.get(), &QThread::finished, this, [&] { ++pollingFinished; }, Qt::DirectConnection);
    connect(
        bench->window->lanLink(), &QThread::finished, this, [&] { ++workerFinished; }, Qt::DirectConnection);
    const QList<const void *> gone{bench->window.get(), bench->window->lanLink()};
    const quint16 panelPort = bench->window->lanLink()->localPort();
    const bool childDialog = dialog && dialog->parent() == bench->window.get();
    // What is released below is held now.
    {
        QUdpSocket taken;
        QVERIFY(!taken.bind(QHostAddress::AnyIPv4, panelPort, QAbstractSocket::DontShareAddress));
    }
    if (isSerial(situation))
        QCOMPARE(descriptorsTo(bench->sim->ptyPath()), 1);

    qint64 teardownMs = 0;
    {
        Watchdog watchdog(WatchdogMs, "the teardown");
        QElapsedTimer clock;
        clock.start();
        bench->window->close();
        bench->polling.reset();
        bench->window.reset();
        teardownMs = clock.elapsed();
    }
    flood.reset(); // the flood went on through the teardown

    QVERIFY2(teardownMs < TeardownBoundMs, qPrintable(QStringLiteral("the teardown took %1 ms").arg(teardownMs)));
    QCOMPARE(pollingFinished.load(), 1);
    QCOMPARE(workerFinished.load(), 1);

    // Whatever was still queued (ticks, sends, datagrams) runs before a call queued now: the
    // threads that queued them are joined. Look-up results come from the resolver's own
    // threads, whenever it answers, so those rows give it time as well.
    LateCalls late(gone);
    bool drained = false;
    QMetaObject::invokeMethod(
        this, [&drained] { drained = true; }, Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(drained, 2000);
    if (situation == Situation::LookupsInFlight || situation == Situation::FailingLookupsInFlight) {
        // Qt looks one name up at a time, in the order asked (or answers from its cache,
        // filled as each look-up ends): once a look-up of the same name asked now has
        // answered, every one the window started has answered and posted its result.
        const auto answered = std::make_shared<bool>(false);
        QHostInfo::lookupHost(boxHostFor(situation), this, [answered](const QHostInfo &) { *answered = true; });
        QTRY_VERIFY_WITH_TIMEOUT(*answered, 10000);
        QVERIFY(PanelBench::drainEvents());
    }
    QCOMPARE(late.count, 0);
    if (childDialog)
        QVERIFY2(dialog.isNull(), "a dialog of the window outlived it");

    // The panel's socket is released: its port can be bound again.
    QUdpSocket again;
    QVERIFY2(again.bind(QHostAddress::AnyIPv4, panelPort, QAbstractSocket::DontShareAddress),
             qPrintable(again.errorString()));

    if (isSerial(situation)) {
        // The port is closed, and the line works for whoever opens it next.
        QCOMPARE(descriptorsTo(bench->sim->ptyPath()), 0);
        QSerialPort port(bench->sim->ptyPath());
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        const int from = bench->sim->lineCount();
        QVERIFY(port.write(QByteArray("IG\x05"
                                      "3;",
                                      5))
                == 5);
        QVERIFY(!bench->sim->waitForLine(QStringLiteral("RX pty 49 47 05 33 3B"), from).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(port.bytesAvailable() >= 14, 2000);
        port.close();
        QVERIFY(bench->sim->quit());
    }
}

void tst_Shutdown::closingTheWindowEndsTheEventLoop_data()
{
    QTest::addColumn<Situation>("situation");
    QTest::newRow("nothing else open") << Situation::Idle;
    QTest::newRow("labels dialog open") << Situation::LabelsDialogOpen;
    QTest::newRow("LAN settings dialog open") << Situation::LanSettingsDialogOpen;
    QTest::newRow("serial settings dialog open") << Situation::SerialSettingsDialogOpen;
    QTest::newRow("about dialog open") << Situation::AboutDialogOpen;
}

// main() runs the event loop until the last window closes; the operator closing the panel
// must end it, whatever dialog is still open.
void tst_Shutdown::closingTheWindowEndsTheEventLoop()
{
    QFETCH(Situation, situation);

    startAsMainDoes(situation);
    if (QTest::currentTestFailed())
        return;
    bringAbout(situation);
    if (QTest::currentTestFailed())
        return;

    MainWindow *shown = bench->window.get();
    QTimer::singleShot(100, shown, [shown] { shown->close(); });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    bool gaveUp = false;
    connect(&giveUp, &QTimer::timeout, qApp, [&gaveUp] {
        gaveUp = true;
        QCoreApplication::quit();
    });
    giveUp.start(3000);
    QElapsedTimer clock;
    clock.start();
    const int code = QApplication::exec();
    giveUp.stop();
    QVERIFY2(!gaveUp,
             qPrintable(QStringLiteral("the event loop still ran %1 ms after the window closed; open: %2")
                            .arg(clock.elapsed() - 100)
                            .arg(dialog ? dialog->windowTitle() : QStringLiteral("nothing"))));
    QCOMPARE(code, 0);
    QVERIFY(!bench->window->isVisible());

    Watchdog watchdog(WatchdogMs, "the teardown");
    bench->polling.reset();
    bench->window.reset();
}

QTEST_MAIN(tst_Shutdown)
#include "tst_shutdown.moc"

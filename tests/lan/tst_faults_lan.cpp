// The panel's LAN link under a flood: 10,000 random datagrams (0 to 2,000 bytes, zero bytes
// and bytes above 0x7F included) from the box's address and from a stranger's, with valid
// statuses and operator presses in between. The flood comes from a thread of its own, in
// bursts the panel's socket buffer can hold; each burst waits until the panel has read it,
// so what the panel shows after a burst can be checked against what the box sent in it.
//
// The box is on 127.0.0.1, which /etc/hosts names: the panel looks its
// configured address up, and Qt's look-up of any other IP literal asks DNS for its name.

#include "loopbackpeer.h"
#include "panelbench.h"

#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

#include <array>
#include <atomic>
#include <chrono>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

using namespace PanelProbe;

namespace {
const char *const BoxAddress = "127.0.0.1";
const char *const StrangerAddress = "127.0.0.3";
constexpr int Datagrams = 10000;
constexpr int StrangerOnlyDatagrams = 1000; // first, before the box has ever answered
constexpr int BurstSize = 16;
constexpr int MaxDatagramSize = 2000;
constexpr int PressEveryMs = 250;
// The panel reads the whole flood in well under a second; spread over this long, presses
// and polls have time to happen in the middle of it.
constexpr int FloodMs = 3000;

// The eight state fields of a status, in the order of the text: antenna 1 and 2, split
// 1 and 2, split TX antenna 1 and 2, transmitting 1 and 2.
using Status = std::array<quint8, 8>;

QByteArray statusText(const Status &s)
{
    const auto hex = [](quint8 v) { return QByteArray::number(v, 16).toUpper(); };
    const auto dec = [](quint8 v) { return QByteArray::number(v); };
    return hex(s[0]) + '.' + hex(s[1]) + '.' + dec(s[2]) + '.' + dec(s[3]) + '.' + hex(s[4]) + '.' + hex(s[5]) + '.'
        + dec(s[6]) + '.' + dec(s[7]) + ".0.0.FF";
}

Status statusOf(const DeviceState &state)
{
    return {state.antenna[1],        state.antenna[2],        state.splitActive[1],  state.splitActive[2],
            state.splitTxAntenna[1], state.splitTxAntenna[2], state.transmitting[1], state.transmitting[2]};
}

QString describe(const Status &s)
{
    QStringList values;
    for (quint8 v : s)
        values << QString::number(v);
    return values.join(QLatin1Char(','));
}

// Any byte value in any field: the panel stores what comes. A split flag is never 1, as
// pressing the receive antenna of an active split would send "split off" instead of the
// selection the press list expects.
Status randomStatus(QRandomGenerator &random)
{
    Status s;
    for (quint8 &v : s)
        v = quint8(random.bounded(256));
    for (int i : {2, 3}) {
        if (s[i] == 1)
            s[i] = 0;
    }
    return s;
}

// Random bytes that are certainly no valid status: fewer than ten dots before the first
// zero byte, so fewer than eleven fields.
QByteArray junk(QRandomGenerator &random)
{
    QByteArray bytes = randomDatagram(random, MaxDatagramSize);
    int end = bytes.indexOf('\0');
    if (end < 0)
        end = bytes.size();
    if (bytes.left(end).count('.') >= 10) {
        for (int i = 0; i < end; ++i) {
            if (bytes[i] == '.')
                bytes[i] = ',';
        }
    }
    return bytes;
}

// Texts close to a status that are none: field 10 is not 255, or there are too few fields.
const QList<QByteArray> NearMisses = {
    QByteArray(),
    QByteArray("1.2.0.0.3.4.0.0.0.0.FE"),
    QByteArray("1.2.0.0.3.4.0.0.0.0.FG"),
    QByteArray("1.2.0.0.3.4.0.0.0.0."),
    QByteArray("1.2.0.0.3.4.0.0.0.0"),
    QByteArray("FF.FF.FF.FF.FF.FF.FF.FF.FF.FF"),
    QByteArray("1.2.0.0.3.4.0.0.0.0.F\0F", 23),
    QByteArray("1.2\0.0.3.4.0.0.0.0.FF", 21),
    QByteArray(".........."),
    QByteArray("\xFF\xFE.\x80.\x01.\x7F.FF"),
};

struct Outgoing
{
    bool fromBox;
    QByteArray payload;
};
} // namespace

class tst_FaultsLan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void floodFromBoxAndStranger();
};

void tst_FaultsLan::initTestCase() { silenceReadNotices(); }

void tst_FaultsLan::floodFromBoxAndStranger()
{
    LoopbackPeer box(BoxAddress);
    LoopbackPeer stranger(StrangerAddress);
    QVERIFY(box.isValid());
    QVERIFY(stranger.isValid());

    PanelBench bench;
    QVERIFY(bench.isValid());
    bench.store({{QStringLiteral("serialMode"), 1},
                 {QStringLiteral("IP"), QString::fromLatin1(BoxAddress)},
                 {QStringLiteral("PORT"), box.port()}});
    QVERIFY(bench.open());
    bench.startPolling();
    const MainWindow *window = bench.window.get();
    const quint16 panelPort = window->lanLink()->localPort();
    QVERIFY(panelPort != 0);
    bench.connectToBox();
    QCOMPARE(bench.status(), QStringLiteral("LAN enabled"));

    // The flood, composed up front: bursts of the stranger alone, then mixed bursts with
    // one valid status from each of the two. What the panel must show after each burst is
    // the box's status of that burst (nothing at all while only the stranger speaks).
    QRandomGenerator random(20240607);
    std::vector<std::vector<Outgoing>> bursts;
    std::vector<Status> expected;
    int composed = 0;
    while (composed < Datagrams) {
        const int size = qMin(BurstSize, Datagrams - composed);
        std::vector<Outgoing> burst;
        if (composed < StrangerOnlyDatagrams) {
            for (int i = 0; i < size; ++i) {
                const bool valid = random.bounded(8) == 0;
                burst.push_back(
                    {false, valid ? statusText(randomStatus(random)) : randomDatagram(random, MaxDatagramSize)});
            }
            expected.push_back(Status{});
        } else {
            const int boxStatusAt = int(random.bounded(size));
            const int strangerStatusAt = int(random.bounded(size));
            const Status boxStatus = randomStatus(random);
            for (int i = 0; i < size; ++i) {
                if (i == boxStatusAt) {
                    burst.push_back({true, statusText(boxStatus)});
                } else if (i == strangerStatusAt) {
                    burst.push_back({false, statusText(randomStatus(random))});
                } else if (random.bounded(2) == 0) {
                    const bool nearMiss = random.bounded(8) == 0;
                    burst.push_back(
                        {true, nearMiss ? NearMisses.at(int(random.bounded(NearMisses.size()))) : junk(random)});
                } else {
                    burst.push_back({false, randomDatagram(random, MaxDatagramSize)});
                }
            }
            expected.push_back(boxStatus);
        }
        composed += size;
        bursts.push_back(std::move(burst));
    }
    const int strangerOnlyBursts = (StrangerOnlyDatagrams + BurstSize - 1) / BurstSize;

    // Hand-over between the flood thread and the GUI thread, one burst at a time.
    std::atomic<int> burstsSent{0};
    std::atomic<int> burstsChecked{0};
    std::atomic<bool> floodOver{false};
    std::vector<int> sentAfterBurst(bursts.size(), 0);
    int notSent = 0;

    std::thread flood([&] {
        const auto start = std::chrono::steady_clock::now();
        int sent = 0;
        for (size_t k = 0; k < bursts.size(); ++k) {
            std::this_thread::sleep_until(start
                                          + std::chrono::milliseconds(FloodMs * qint64(k) / qint64(bursts.size())));
            for (const Outgoing &datagram : bursts[k]) {
                LoopbackPeer &from = datagram.fromBox ? box : stranger;
                // A full send buffer is waited out briefly rather than counted as sent.
                bool gone = false;
                for (int attempt = 0; attempt < 100 && !gone; ++attempt) {
                    gone = from.sendTo(panelPort, datagram.payload);
                    if (!gone)
                        std::this_thread::sleep_for(std::chrono::microseconds(100));
                }
                if (gone)
                    ++sent;
                else
                    ++notSent;
            }
            sentAfterBurst[k] = sent;
            burstsSent.store(int(k) + 1, std::memory_order_release);
            QElapsedTimer wait;
            wait.start();
            while (burstsChecked.load(std::memory_order_acquire) <= int(k)) {
                if (wait.elapsed() > 3000) {
                    floodOver = true; // the GUI thread has stopped answering
                    return;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        }
        floodOver = true;
    });

    // The GUI thread runs its event loop as the program does; timers check each burst,
    // watch the box's side and press buttons meanwhile.
    const quint64 readBase = bench.datagramsRead();
    int lost = 0;
    int verified = 0;
    int undelivered = 0;
    QStringList mismatches;
    bool waitingForBurst = false;
    QElapsedTimer burstClock;
    QStringList strangerPhaseLamp;
    int strangerPhaseMessages = -1;
    Status afterStrangerPhase{};
    LookHistory lamp(bench.button(QStringLiteral("botaoPower")));
    QSignalSpy messages(window->statusBar(), &QStatusBar::messageChanged);

    QElapsedTimer floodClock;
    floodClock.start();
    qint64 floodEndedAt = -1;
    QList<qint64> pollTimes; // on the flood clock
    QStringList commandsSeen;
    QStringList commandsPressed;
    const char *const presses[][2] = {
        {"botaoTecla1C1", "fe0200fd"}, {"botaoTecla2C2", "fe0301fd"}, {"botaoTecla3C1", "fe0202fd"},
        {"botaoTecla4C2", "fe0303fd"}, {"botaoTecla5C1", "fe0204fd"}, {"botaoTecla6C2", "fe0305fd"},
        {"botaoRelease1", "fe020ffd"}, {"botaoRelease2", "fe030ffd"},
    };
    int pressIndex = 0;
    qint64 lastTick = -1;
    qint64 largestTickGap = 0;

    QEventLoop loop;
    QTimer checker;
    checker.setTimerType(Qt::PreciseTimer);
    checker.setInterval(1);
    QObject::connect(&checker, &QTimer::timeout, [&] {
        const int sent = burstsSent.load(std::memory_order_acquire);
        const int checked = burstsChecked.load(std::memory_order_acquire);
        if (sent > checked) {
            const int k = sent - 1;
            if (!waitingForBurst) {
                waitingForBurst = true;
                burstClock.start();
            }
            const int read = int(bench.datagramsRead() - readBase);
            const int due = sentAfterBurst[size_t(k)] - lost;
            if (read >= due) {
                const Status shown = statusOf(window->deviceState());
                if (shown != expected[size_t(k)] && mismatches.size() < 5)
                    mismatches << QStringLiteral("burst %1: shows %2, box sent %3")
                                      .arg(k)
                                      .arg(describe(shown), describe(expected[size_t(k)]));
                ++verified;
            } else if (burstClock.elapsed() > 500) {
                // Lost on the way (the kernel's buffer): only what arrived is judged.
                ++undelivered;
                lost += due - read;
            } else {
                return;
            }
            waitingForBurst = false;
            if (k + 1 == strangerOnlyBursts) {
                strangerPhaseLamp = lamp.names();
                strangerPhaseMessages = messages.count();
                afterStrangerPhase = statusOf(window->deviceState());
            }
            burstsChecked.store(k + 1, std::memory_order_release);
        }
        if (floodOver && burstsChecked.load() == burstsSent.load()) {
            if (floodEndedAt < 0)
                floodEndedAt = floodClock.elapsed();
            loop.quit();
        }
    });

    QTimer boxSide;
    boxSide.setInterval(5);
    QObject::connect(&boxSide, &QTimer::timeout, [&] {
        for (const LoopbackPeer::Datagram &datagram : box.take()) {
            if (datagram.fromPort != panelPort)
                continue;
            if (datagram.payload == QByteArray::fromHex("fe01fd"))
                pollTimes << floodClock.elapsed();
            else
                commandsSeen << QString::fromLatin1(datagram.payload.toHex());
        }
    });

    QTimer operatorHand;
    operatorHand.setInterval(PressEveryMs);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        if (burstsChecked.load() < strangerOnlyBursts)
            return;
        const auto &press = presses[pressIndex++ % int(std::size(presses))];
        bench.press(QLatin1String(press[0]));
        commandsPressed << QString::fromLatin1(press[1]);
    });

    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(10);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = floodClock.elapsed();
        if (lastTick >= 0)
            largestTickGap = qMax(largestTickGap, now - lastTick);
        lastTick = now;
    });

    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    checker.start();
    boxSide.start();
    operatorHand.start();
    heartbeat.start();
    loop.exec();
    const qint64 floodMs = floodClock.elapsed();
    heartbeat.stop();
    operatorHand.stop();
    checker.stop();
    flood.join();

    QVERIFY2(floodEndedAt >= 0, "the flood did not finish within 30 s");
    QCOMPARE(burstsChecked.load(), int(bursts.size()));
    QCOMPARE(notSent, 0);
    QVERIFY2(verified * 10 >= int(bursts.size()) * 9,
             qPrintable(QStringLiteral("only %1 of %2 bursts arrived whole").arg(verified).arg(bursts.size())));
    QVERIFY2(int(bench.datagramsRead() - readBase) >= Datagrams * 9 / 10,
             qPrintable(QStringLiteral("the panel read %1 datagrams").arg(int(bench.datagramsRead() - readBase))));

    // The stranger alone moves nothing: no state, no lamp, no round-trip figure.
    QCOMPARE(describe(afterStrangerPhase), describe(Status{}));
    QVERIFY2(strangerPhaseLamp.isEmpty() || strangerPhaseLamp == QStringList{QStringLiteral("Neutral")},
             qPrintable(strangerPhaseLamp.join(QLatin1Char(' '))));
    QCOMPARE(strangerPhaseMessages, 0);

    // Every status of the box was applied, and none of the stranger's.
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(QStringLiteral("; "))));
    QCOMPARE(describe(statusOf(window->deviceState())), describe(expected.back()));
    QTRY_COMPARE_WITH_TIMEOUT(bench.lamp(), Look::Green, 1000);
    QVERIFY(bench.status().startsWith(QLatin1String("Ping: ")));

    // The GUI thread kept its timers going.
    QVERIFY2(largestTickGap < 500, qPrintable(QStringLiteral("a 10 ms timer waited %1 ms").arg(largestTickGap)));

    // Polling kept its pace: a state request about every 160 ms, never a long gap.
    int polls = 0;
    qint64 largestPollGap = 0;
    for (int i = 0; i < pollTimes.size() && pollTimes.at(i) <= floodEndedAt; ++i) {
        ++polls;
        if (i > 0)
            largestPollGap = qMax(largestPollGap, pollTimes.at(i) - pollTimes.at(i - 1));
    }
    QVERIFY2(polls * 160 * 2 >= floodEndedAt && largestPollGap < 1000,
             qPrintable(QStringLiteral("%1 state requests in %2 ms of flood, largest gap %3 ms")
                            .arg(polls)
                            .arg(floodEndedAt)
                            .arg(largestPollGap)));

    // Every press reached the box, in order.
    QVERIFY2(commandsPressed.size() >= 4,
             qPrintable(QStringLiteral("%1 presses in %2 ms").arg(commandsPressed.size()).arg(floodMs)));
    QTRY_VERIFY_WITH_TIMEOUT(commandsSeen.size() >= commandsPressed.size(), 2000);
    QCOMPARE(commandsSeen, commandsPressed);
    qInfo(
        "%d datagrams in %d bursts over %lld ms (%d lost on the way); %d presses; %d polls; largest timer gap %lld ms",
        Datagrams, int(bursts.size()), floodEndedAt, lost, int(commandsPressed.size()), polls, largestTickGap);

    bench.disconnectFromBox();
}

QTEST_MAIN(tst_FaultsLan)
#include "tst_faults_lan.moc"

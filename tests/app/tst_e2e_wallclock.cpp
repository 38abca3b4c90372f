// Steps of the wall clock (NTP, a manual set) change nothing the panel times: polling
// keeps its pace, presses go out at once, and a silent box is noticed after the same seven
// seconds. Two panels run at once against their own talmek-sim processes, one over the
// LAN and one over a pseudo-terminal, while libfaketime moves this process's wall clock
// and leaves its monotonic clock alone.
//
// The test starts itself again with libfaketime preloaded (from ZORVIK_LIBFAKETIME or
// where Debian's libfaketime package puts it); the simulator it starts does not get it.
// Without the library every test here is skipped.

#include "engine/monotonicclock.h"
#include "panelbench.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtTest>

#include <memory>

#include <glob.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

using namespace PanelProbe;

namespace {
const char OffsetFileVariable[] = "ZORVIK_WALLCLOCK_OFFSET_FILE";
constexpr qint64 Hour = 3600;
constexpr qint64 Day = 24 * Hour;

// libfaketime's path: ZORVIK_LIBFAKETIME, else the first one installed; empty if none.
std::string findLibfaketime()
{
    if (const char *given = getenv("ZORVIK_LIBFAKETIME"))
        return access(given, R_OK) == 0 ? given : "";
    glob_t found{};
    std::string path;
    for (const char *pattern : {"/usr/lib/*/faketime/libfaketime.so.1", "/usr/lib/faketime/libfaketime.so.1",
                                "/usr/local/lib/faketime/libfaketime.so.1"}) {
        if (glob(pattern, 0, nullptr, &found) == 0 && found.gl_pathc > 0)
            path = found.gl_pathv[0];
        globfree(&found);
        if (!path.empty())
            break;
    }
    return path;
}

// Before anything else runs: unless this process already is the preloaded one, start it
// again with libfaketime reading its offset from a file the test writes. In the preloaded
// process LD_PRELOAD is dropped again, so that the processes it starts run on real time.
void preloadLibfaketime(char **argv)
{
    if (getenv(OffsetFileVariable)) {
        unsetenv("LD_PRELOAD");
        return;
    }
    const std::string library = findLibfaketime();
    if (library.empty())
        return;
    const char *tmp = getenv("TMPDIR");
    char offsetFile[4096];
    snprintf(offsetFile, sizeof offsetFile, "%s/zorvik-wallclock-%ld.offset", tmp && *tmp ? tmp : "/tmp",
             static_cast<long>(getpid()));
    FILE *file = fopen(offsetFile, "w");
    if (!file)
        return;
    fputs("+0\n", file);
    fclose(file);
    std::string preload = library;
    if (const char *earlier = getenv("LD_PRELOAD"); earlier && *earlier)
        preload += std::string(":") + earlier;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    setenv("FAKETIME_TIMESTAMP_FILE", offsetFile, 1);
    setenv("FAKETIME_NO_CACHE", "1", 1);
    setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
    setenv(OffsetFileVariable, offsetFile, 1);
    // AddressSanitizer insists on coming first among the preloaded libraries.
    std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
    setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0").c_str(), 1);
    execv("/proc/self/exe", argv);
    // Could not start again: run on, and skip.
    unlink(offsetFile);
    unsetenv(OffsetFileVariable);
}
} // namespace

// One panel on one link, against its own simulated box.
struct Rig
{
    Link link = Link::Lan;
    QString name;
    std::unique_ptr<PanelBench> bench;

    QPushButton *button(const QString &objectName) const { return bench->button(objectName); }
    Look lamp() const { return bench->lamp(); }
    TalmekSimProcess &sim() const { return *bench->sim; }
    // State requests the box has seen since its log line `from`.
    int stateRequests(int from) const { return bench->stateRequestsReceived(from); }
};

class tst_E2eWallClock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void wallClockStepsAndMonotonicClockDoesNot();
    void panelsKeepTimeAcrossWallClockSteps();

private:
    // Moves the wall clock to `seconds` from the real time.
    void setWallOffset(qint64 seconds);
    // The same, checking that the wall clock moved and the monotonic one did not.
    void stepWallClock(qint64 seconds, const QString &name);
    void startRig(Rig &rig);
    void checkPace(const QString &when);
    void checkPressesArrive(const QString &buttonName, int position, const QString &when);

    QString offsetFile;
    qint64 wallOffset = 0;
    // Both links at once, so that every step of the wall clock is tried on both.
    Rig rigs[2];
};

void tst_E2eWallClock::initTestCase()
{
    offsetFile = qEnvironmentVariable(OffsetFileVariable);
    if (offsetFile.isEmpty())
        QSKIP("libfaketime not found (Debian: apt-get install libfaketime, or set ZORVIK_LIBFAKETIME)");
    QVERIFY2(QFileInfo(TalmekSimProcess::program()).isExecutable(), qPrintable(TalmekSimProcess::program()));
    silenceReadNotices();
}

void tst_E2eWallClock::cleanupTestCase()
{
    if (!offsetFile.isEmpty())
        QFile::remove(offsetFile);
}

void tst_E2eWallClock::init()
{
    setWallOffset(0);
    rigs[0].link = Link::Lan;
    rigs[0].name = QStringLiteral("LAN");
    rigs[1].link = Link::Serial;
    rigs[1].name = QStringLiteral("serial");
    for (Rig &rig : rigs) {
        rig.bench = std::make_unique<PanelBench>();
        QVERIFY(rig.bench->isValid());
    }
}

void tst_E2eWallClock::cleanup()
{
    for (Rig &rig : rigs)
        rig.bench.reset();
    setWallOffset(0);
}

void tst_E2eWallClock::setWallOffset(qint64 seconds)
{
    // Replaced in one step: libfaketime reads the file at every look at the clock.
    QSaveFile file(offsetFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write((seconds < 0 ? QByteArray("-") : QByteArray("+")) + QByteArray::number(qAbs(seconds)) + '\n');
    QVERIFY(file.commit());
    wallOffset = seconds;
}

void tst_E2eWallClock::stepWallClock(qint64 seconds, const QString &name)
{
    const MonotonicClock &steady = steadyClock();
    const qint64 wallBefore = QDateTime::currentMSecsSinceEpoch();
    const qint64 steadyBefore = steady.nowMs();
    const qint64 previous = wallOffset;
    setWallOffset(seconds);
    const qint64 wallStep = QDateTime::currentMSecsSinceEpoch() - wallBefore;
    const qint64 steadyStep = steady.nowMs() - steadyBefore;
    const qint64 expected = (seconds - previous) * 1000;
    QVERIFY2(
        qAbs(wallStep - expected) < 2000,
        qPrintable(QStringLiteral("%1: the wall clock moved %2 ms, not %3 ms").arg(name).arg(wallStep).arg(expected)));
    QVERIFY2(steadyStep >= 0 && steadyStep < 1000,
             qPrintable(QStringLiteral("%1: the monotonic clock moved %2 ms").arg(name).arg(steadyStep)));
}

void tst_E2eWallClock::wallClockStepsAndMonotonicClockDoesNot()
{
    QElapsedTimer elapsed;
    elapsed.start();
    stepWallClock(-Hour, QStringLiteral("back one hour"));
    stepWallClock(-Hour + Day, QStringLiteral("forward one day"));
    stepWallClock(0, QStringLiteral("back to real time"));
    QVERIFY(elapsed.elapsed() < 3000);
}

void tst_E2eWallClock::startRig(Rig &rig)
{
    QVERIFY(rig.bench->startBox(rig.link));
    QVERIFY(rig.bench->openOnBox());
    rig.bench->connectToBox();
}

// About six state requests a second on each link, and the lamps green all the while.
void tst_E2eWallClock::checkPace(const QString &when)
{
    LookHistory lamps[2] = {LookHistory(rigs[0].button(QStringLiteral("botaoPower"))),
                            LookHistory(rigs[1].button(QStringLiteral("botaoPower")))};
    int from[2];
    for (int i = 0; i < 2; ++i)
        from[i] = rigs[i].sim().lineCount();
    QElapsedTimer span;
    span.start();
    // Long enough for six state requests at the pace, and bounded by its own clock.
    QTRY_VERIFY_WITH_TIMEOUT(span.elapsed() >= 1000, 2000);
    for (int i = 0; i < 2; ++i) {
        const Rig &rig = rigs[i];
        const int requests = rig.stateRequests(from[i]);
        const double perSecond = requests * 1000.0 / double(span.elapsed());
        QVERIFY2(perSecond >= 4.0 && perSecond <= 8.0,
                 qPrintable(QStringLiteral("%1, %2: %3 state requests in %4 ms")
                                .arg(rig.name, when)
                                .arg(requests)
                                .arg(span.elapsed())));
        QVERIFY2(lamps[i].onlyEver(Look::Green),
                 qPrintable(rig.name + QStringLiteral(", ") + when + QStringLiteral(": lamp ")
                            + lamps[i].names().join(QLatin1Char(' '))));
        QCOMPARE(rig.lamp(), Look::Green);
    }
}

void tst_E2eWallClock::checkPressesArrive(const QString &buttonName, int position, const QString &when)
{
    QElapsedTimer clock;
    clock.start();
    for (Rig &rig : rigs)
        QTest::mouseClick(rig.button(buttonName), Qt::LeftButton);
    for (Rig &rig : rigs) {
        int antenna = -1;
        const bool there = QTest::qWaitFor(
            [&] {
                antenna = rig.sim().stateValue(QStringLiteral("antenna1"), 500);
                return antenna == position;
            },
            int(qMax(qint64(0), 1000 - clock.elapsed())));
        const qint64 arrived = clock.elapsed();
        QVERIFY2(
            there && arrived <= 1000,
            qPrintable(
                QStringLiteral("%1, %2: the box holds %3 after %4 ms").arg(rig.name, when).arg(antenna).arg(arrived)));
    }
}

void tst_E2eWallClock::panelsKeepTimeAcrossWallClockSteps()
{
    for (Rig &rig : rigs) {
        startRig(rig);
        if (QTest::currentTestFailed())
            return;
    }
    for (const Rig &rig : rigs)
        QTRY_COMPARE_WITH_TIMEOUT(rig.lamp(), Look::Green, 3000);

    stepWallClock(-Hour, QStringLiteral("an hour back"));
    checkPace(QStringLiteral("an hour back"));
    checkPressesArrive(QStringLiteral("botaoTecla3C1"), 2, QStringLiteral("an hour back"));

    stepWallClock(-Hour + Day, QStringLiteral("a day on"));
    checkPace(QStringLiteral("a day on"));
    checkPressesArrive(QStringLiteral("botaoTecla6C1"), 5, QStringLiteral("a day on"));

    // Silence, and an hour back while it lasts: a watchdog on the wall clock would then
    // never fire, one that counts the step as time would fire at once.
    for (Rig &rig : rigs)
        QVERIFY(rig.sim().control(QStringLiteral("silent on")));
    QElapsedTimer silence;
    silence.start();
    QTRY_VERIFY_WITH_TIMEOUT(silence.elapsed() >= 1000, 2000);
    for (const Rig &rig : rigs)
        QCOMPARE(rig.lamp(), Look::Green);
    stepWallClock(-2 * Hour + Day, QStringLiteral("an hour back in the silence"));
    qint64 noticed[2] = {-1, -1};
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 for (int i = 0; i < 2; ++i) {
                                     if (noticed[i] < 0 && rigs[i].lamp() == Look::Neutral)
                                         noticed[i] = silence.elapsed();
                                 }
                                 return noticed[0] >= 0 && noticed[1] >= 0;
                             }()),
                             9500);
    for (int i = 0; i < 2; ++i) {
        // The last reply came at most a polling gap before the silence began.
        QVERIFY2(noticed[i] >= 6700 && noticed[i] <= 9000,
                 qPrintable(QStringLiteral("%1: lamp went out after %2 ms").arg(rigs[i].name).arg(noticed[i])));
        QCOMPARE(panelMarks(rigs[i].bench->window.get()), QString());
    }

    for (Rig &rig : rigs)
        QVERIFY(rig.sim().control(QStringLiteral("silent off")));
    for (Rig &rig : rigs) {
        QTRY_COMPARE_WITH_TIMEOUT(rig.lamp(), Look::Green, 2000);
        rig.bench->disconnectFromBox();
        QVERIFY(rig.sim().quit());
    }
}

int main(int argc, char **argv)
{
    preloadLibfaketime(argv);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    tst_E2eWallClock test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_wallclock.moc"

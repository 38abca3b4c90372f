#include "pollcpubench.h"

#include "benchchild.h"
#include "benchsupport.h"
#include "procthreads.h"
#include "simprocess.h"
#include "xvfbserver.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

namespace PollCpuBench {

namespace {
constexpr double TargetRatio = 1.3;
constexpr int ReadyTimeoutMs = 30000;

enum class Link { Serial, Lan };
enum class Program { Panel, Floor };

// Threads grouped by what they do; the names are the ones Qt gives them (a QThread is named
// after its class).
enum Role { GuiThread, PollingThread, LanWorkerThread, OtherThreads, RoleCount };

const QString RoleNames[RoleCount] = {QStringLiteral("GUI thread"), QStringLiteral("polling thread"),
                                      QStringLiteral("LAN worker thread"), QStringLiteral("others")};

Role roleOf(qint64 tid, qint64 pid, const QString &name)
{
    if (tid == pid)
        return GuiThread;
    if (name == QLatin1String("ThreadLeitura") || name == QLatin1String("FloorTicker"))
        return PollingThread;
    if (name == QLatin1String("ThreadCOM"))
        return LanWorkerThread;
    return OtherThreads;
}

struct RoleUse
{
    bool present = false;
    double msPerSecond = 0;
    double wakeupsPerSecond = 0;
    QStringList names;
};

struct Outcome
{
    bool ok = false;
    QString error;
    double seconds = 0;
    double cpuMsPerSecond = 0;
    double wakeupsPerSecond = 0;
    double requestsPerSecond = -1; // -1: not counted
    double repliesPerSecond = -1;
    RoleUse roles[RoleCount];
};

QString linkName(Link link) { return link == Link::Serial ? QStringLiteral("serial") : QStringLiteral("lan"); }
QString linkTitle(Link link)
{
    return link == Link::Serial ? QStringLiteral("serial (pty)") : QStringLiteral("LAN (loopback)");
}
QString programName(Program program)
{
    return program == Program::Panel ? QStringLiteral("panel") : QStringLiteral("floor");
}

double rate(long long before, long long after, double seconds)
{
    return before < 0 || after < 0 ? -1 : double(after - before) / seconds;
}

QString rateText(double value) { return value < 0 ? QStringLiteral("-") : Report::number(value, 1); }

Outcome measure(Program program, Link link, const QProcessEnvironment &environment, const Options &options)
{
    Outcome out;
    const bool serial = link == Link::Serial;
    SimProcess sim(options.simulator);
    const QString endpoint = serial ? sim.start({QStringLiteral("--pty")}, QStringLiteral("PTY "))
                                    : sim.start({QStringLiteral("--udp"), QStringLiteral("0"),
                                                 QStringLiteral("--udp-bind"), BenchSupport::boxAddress()},
                                                QStringLiteral("UDP "))
                                          .section(QLatin1Char(':'), -1);
    if (endpoint.isEmpty()) {
        out.error = sim.errorText();
        return out;
    }
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    if (!dir.isValid() || !BenchSupport::writeSettings(ini, serial, serial ? QStringLiteral("4001") : endpoint)) {
        out.error = QStringLiteral("cannot write the settings file");
        return out;
    }

    BenchChild child(options.program, environment);
    if (!child.start({QStringLiteral("--child"), QStringLiteral("poll-") + programName(program), linkName(link),
                      QStringLiteral("--endpoint"), endpoint, QStringLiteral("--settings"), ini,
                      QStringLiteral("--cpu-seconds"), QString::number(options.seconds)},
                     ReadyTimeoutMs)) {
        out.error = child.errorText();
        return out;
    }
    const qint64 pid = child.pid();

    BenchChild::Counts countsBefore, countsAfter;
    const bool countedBefore = child.counts(countsBefore);
    const long long commandsBefore = serial ? sim.statsCounter(QStringLiteral("commands=")) : -1;
    const QMap<qint64, ProcThreads::Use> before = ProcThreads::snapshot(pid);
    const qint64 startNs = BenchSupport::monotonicNs();
    BenchSupport::runEventLoop(options.seconds * 1000);
    const QMap<qint64, ProcThreads::Use> after = ProcThreads::snapshot(pid);
    const qint64 endNs = BenchSupport::monotonicNs();
    const long long commandsAfter = serial ? sim.statsCounter(QStringLiteral("commands=")) : -1;
    const bool countedAfter = child.counts(countsAfter);

    if (!child.isRunning() || after.isEmpty()) {
        out.error = QStringLiteral("the child ended during the measurement");
        return out;
    }
    if (!countedBefore || !countedAfter) {
        out.error = QStringLiteral("the child did not answer \"count\"");
        return out;
    }
    if (serial && (commandsBefore < 0 || commandsAfter < 0)) {
        out.error = QStringLiteral("the simulator did not report its counters");
        return out;
    }
    out.seconds = double(endNs - startNs) / 1e9;
    qint64 cpuNs = 0, wakeups = 0;
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        // A thread that began inside the window counts from zero.
        const ProcThreads::Use was = before.value(it.key());
        const qint64 threadNs = it.value().cpuNs - was.cpuNs;
        const qint64 threadWakeups = it.value().wakeups - was.wakeups;
        cpuNs += threadNs;
        wakeups += threadWakeups;
        RoleUse &role = out.roles[roleOf(it.key(), pid, it.value().name)];
        role.present = true;
        role.msPerSecond += double(threadNs) / 1e6 / out.seconds;
        role.wakeupsPerSecond += double(threadWakeups) / out.seconds;
        if (!role.names.contains(it.value().name))
            role.names << it.value().name;
    }
    out.cpuMsPerSecond = double(cpuNs) / 1e6 / out.seconds;
    out.wakeupsPerSecond = double(wakeups) / out.seconds;
    // Requests: the simulator's count on the serial link, the floor's own on LAN.
    out.requestsPerSecond = serial ? rate(commandsBefore, commandsAfter, out.seconds)
                                   : rate(countsBefore.requests, countsAfter.requests, out.seconds);
    out.repliesPerSecond = rate(countsBefore.replies, countsAfter.replies, out.seconds);
    if (!child.stop()) {
        out.error = QStringLiteral("the child did not end cleanly on \"quit\"");
        return out;
    }
    out.ok = true;
    return out;
}

// CPU charged to this process for one wake-up of a thread that only sleeps, as the polling
// and LAN threads do between passes: the floor this machine puts under any timed thread.
double bareWakeupMicros()
{
    constexpr int Wakeups = 100;
    const qint64 before = BenchSupport::processCpuNs();
    std::thread sleeper([] {
        for (int i = 0; i < Wakeups; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    sleeper.join();
    return double(BenchSupport::processCpuNs() - before) / 1000.0 / Wakeups;
}

// Runs both programs on both links on one platform and prints its tables.
QList<Report::Row> measurePlatform(const QString &platform, const QString &note, const QProcessEnvironment &environment,
                                   const Options &options, int &runIndex)
{
    using Report::print;
    QList<Report::Row> rows;
    print(QStringLiteral("### Platform %1").arg(platform));
    print();
    if (!note.isEmpty()) {
        print(note);
        print();
    }
    QStringList summary, threads;
    summary << QStringLiteral("| Link | Program | CPU ms per s | of one core | wake-ups per s | requests per s "
                              "| replies read per s |")
            << QStringLiteral("|---|---|---:|---:|---:|---:|---:|");
    threads << QStringLiteral("| Link | Program | Thread | CPU ms per s | wake-ups per s |")
            << QStringLiteral("|---|---|---|---:|---:|");
    for (const Link link : {Link::Serial, Link::Lan}) {
        // Alternating which goes first, so neither always meets a machine the other warmed.
        const bool panelFirst = runIndex++ % 2 == 0;
        const Program order[2] = {panelFirst ? Program::Panel : Program::Floor,
                                  panelFirst ? Program::Floor : Program::Panel};
        Outcome outcomes[2]; // panel, floor
        for (const Program program : order)
            outcomes[program == Program::Panel ? 0 : 1] = measure(program, link, environment, options);
        const QString measurement = QStringLiteral("Polling CPU, %1, %2").arg(platform, linkTitle(link));
        bool bothOk = true;
        for (int p = 0; p < 2; ++p) {
            const Outcome &o = outcomes[p];
            const QString name = programName(p == 0 ? Program::Panel : Program::Floor);
            if (!o.ok) {
                bothOk = false;
                summary << QStringLiteral("| %1 | %2 | failed: %3 | | | | |").arg(linkTitle(link), name, o.error);
                continue;
            }
            summary << QStringLiteral("| %1 | %2 | %3 | %4 % | %5 | %6 | %7 |")
                           .arg(linkTitle(link), name, Report::number(o.cpuMsPerSecond, 2),
                                Report::number(o.cpuMsPerSecond / 10.0, 2), Report::number(o.wakeupsPerSecond, 1),
                                rateText(o.requestsPerSecond), rateText(o.repliesPerSecond));
            for (int r = 0; r < RoleCount; ++r) {
                const RoleUse &use = o.roles[r];
                const QString thread = r == OtherThreads && use.present
                    ? QStringLiteral("%1 (%2)").arg(RoleNames[r], use.names.join(QStringLiteral(", ")))
                    : RoleNames[r];
                threads << (use.present
                                ? QStringLiteral("| %1 | %2 | %3 | %4 | %5 |")
                                      .arg(linkTitle(link), name, thread, Report::number(use.msPerSecond, 2),
                                           Report::number(use.wakeupsPerSecond, 1))
                                : QStringLiteral("| %1 | %2 | %3 | none | |").arg(linkTitle(link), name, thread));
            }
        }
        if (bothOk && outcomes[1].cpuMsPerSecond <= 0) {
            bothOk = false;
            summary << QStringLiteral("| %1 | floor | failed: no CPU time read | | | | |").arg(linkTitle(link));
        }
        if (!bothOk) {
            rows << Report::Row{measurement + QStringLiteral(", panel ÷ floor"), QStringLiteral("failed"),
                                QStringLiteral("×"), QStringLiteral("≤ %1").arg(TargetRatio), Report::Verdict::Missed};
            continue;
        }
        const double ratio = outcomes[0].cpuMsPerSecond / outcomes[1].cpuMsPerSecond;
        summary << QStringLiteral("| %1 | **panel ÷ floor** | **%2** %3 | target ≤ %4 | %5 | | |")
                       .arg(linkTitle(link), Report::number(ratio, 2),
                            ratio <= TargetRatio ? QStringLiteral("✔") : QStringLiteral("✘"))
                       .arg(TargetRatio)
                       .arg(Report::number(outcomes[0].wakeupsPerSecond / outcomes[1].wakeupsPerSecond, 2));
        rows << Report::Row{measurement + QStringLiteral(", panel / floor"),
                            QStringLiteral("%1 / %2").arg(Report::number(outcomes[0].cpuMsPerSecond, 2),
                                                          Report::number(outcomes[1].cpuMsPerSecond, 2)),
                            QStringLiteral("ms CPU per s"), QString(), Report::Verdict::Info};
        rows << Report::Row{measurement + QStringLiteral(", panel ÷ floor"), Report::number(ratio, 2),
                            QStringLiteral("×"), QStringLiteral("≤ %1").arg(TargetRatio),
                            Report::verdictOf(ratio <= TargetRatio)};
    }
    for (const QString &line : summary)
        print(line);
    print();
    print(QStringLiteral("Requests per s: on the serial link as the simulator counted them, on LAN as the floor "
                         "counted its own (the panel's are not counted there). Replies read per s: LAN datagrams "
                         "the window read; on the serial link only the floor counts them."));
    print();
    for (const QString &line : threads)
        print(line);
    print();
    return rows;
}
} // namespace

QList<Report::Row> run(const Options &options)
{
    using Report::print;
    print(QStringLiteral("## Polling CPU: the panel against a floor (%1 s per child)").arg(options.seconds));
    print(QStringLiteral("Each program a child process on its own talmek-sim, connected, past its first reply and "
                         "1 s of settling; CPU is the sum over its threads of the scheduler's run time "
                         "(/proc/<pid>/task/*/schedstat), wake-ups their voluntary context switches, both read "
                         "by this process over the same window. The floor: the panel's form and style sheet, a "
                         "thread that ticks every 80 ms and posts one call per tick, a state request every other "
                         "tick, each reply shown in the status bar."));
    print();
    QList<Report::Row> rows;
    int runIndex = 0;
    for (const QString &platform : options.platforms) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        if (platform != QLatin1String("xcb")) {
            rows << measurePlatform(platform, QString(), environment, options, runIndex);
            continue;
        }
        XvfbServer xvfb;
        QString display;
        if (options.useExistingDisplay) {
            display = qEnvironmentVariable("DISPLAY");
        } else if (xvfb.start()) {
            display = xvfb.display();
        } else {
            print(QStringLiteral("### Platform xcb"));
            print();
            print(QStringLiteral("The xcb rows were skipped: %1.").arg(xvfb.errorText()));
            print();
            rows << Report::Row{QStringLiteral("Polling CPU, xcb"), QStringLiteral("skipped"), QString(), QString(),
                                Report::Verdict::Info};
            continue;
        }
        environment.insert(QStringLiteral("DISPLAY"), display);
        const QString note = QStringLiteral("X server: %1, display %2.")
                                 .arg(options.useExistingDisplay ? QStringLiteral("the one DISPLAY names")
                                                                 : QStringLiteral("a private Xvfb, 1280x1024x24"),
                                      display);
        rows << measurePlatform(platform, note, environment, options, runIndex);
    }
    const double wakeup = bareWakeupMicros();
    print(QStringLiteral("One wake-up of a thread that only sleeps costs this process %1 µs of CPU on this machine.")
              .arg(Report::number(wakeup, 1)));
    rows << Report::Row{QStringLiteral("CPU of one bare thread wake-up (machine floor)"), Report::number(wakeup, 1),
                        QStringLiteral("µs"), QString(), Report::Verdict::Info};
    return rows;
}

} // namespace PollCpuBench

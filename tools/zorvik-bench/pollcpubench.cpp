#include "pollcpubench.h"

#include "benchchild.h"
#include "benchsupport.h"
#include "procthreads.h"
#include "simprocess.h"
#include "xvfbserver.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <thread>

namespace PollCpuBench {

namespace {
constexpr double TargetRatio = 1.2;
constexpr double InstructionTargetRatio = 1.5;
constexpr int ReadyTimeoutMs = 30000;
// Under callgrind a child starts, answers and ends many times slower.
constexpr int InstrumentedTimeoutMs = 300000;
// One state request and its reply: two ticks of the polling thread.
constexpr int CycleMs = 160;

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
// The links the options ask for, in the order serial, LAN.
QList<Link> chosenLinks(const Options &options)
{
    QList<Link> links;
    for (const Link link : {Link::Serial, Link::Lan})
        if (options.links.contains(linkName(link)))
            links << link;
    return links;
}

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
// Counts per polling cycle are mostly well under one: two places, so that 10 in 120 cycles
// does not read as 0.1 or 0.
QString perCycleText(double value) { return value < 0 ? QStringLiteral("-") : Report::number(value, 2); }

// One child's simulator and the panel's settings file for it.
struct Setup
{
    explicit Setup(const QString &simulator)
        : sim(simulator)
    {}
    SimProcess sim;
    QTemporaryDir dir;
    QString endpoint; // the pty's path, or the simulator's UDP port
    QString ini;
};

// Starts a fresh simulator on `link` and writes the settings; the reason when it cannot.
QString prepare(Setup &setup, Link link)
{
    const bool serial = link == Link::Serial;
    setup.endpoint = serial ? setup.sim.start({QStringLiteral("--pty")}, QStringLiteral("PTY "))
                            : setup.sim
                                  .start({QStringLiteral("--udp"), QStringLiteral("0"), QStringLiteral("--udp-bind"),
                                          BenchSupport::boxAddress()},
                                         QStringLiteral("UDP "))
                                  .section(QLatin1Char(':'), -1);
    if (setup.endpoint.isEmpty())
        return setup.sim.errorText();
    setup.ini = setup.dir.filePath(QStringLiteral("settings.ini"));
    if (!setup.dir.isValid()
        || !BenchSupport::writeSettings(setup.ini, serial, serial ? QStringLiteral("4001") : setup.endpoint))
        return QStringLiteral("cannot write the settings file");
    return QString();
}

QStringList childArguments(Program program, Link link, const Setup &setup, int seconds)
{
    return {QStringLiteral("--child"),
            QStringLiteral("poll-") + programName(program),
            linkName(link),
            QStringLiteral("--endpoint"),
            setup.endpoint,
            QStringLiteral("--settings"),
            setup.ini,
            QStringLiteral("--cpu-seconds"),
            QString::number(seconds)};
}

// One child in the measured window: its simulator and settings, the process, and what was
// read of it as the window opened.
struct Measured
{
    Measured(Program measuredProgram, const Options &options, const QProcessEnvironment &environment)
        : program(measuredProgram)
        , setup(options.simulator)
        , child(options.program, environment)
    {}
    Program program;
    Setup setup;
    BenchChild child;
    BenchChild::Counts countsBefore;
    bool countedBefore = false;
    long long commandsBefore = -1;
    QMap<qint64, ProcThreads::Use> before;
    Outcome out;
};

void finish(Measured &m, Link link, const QMap<qint64, ProcThreads::Use> &after, double seconds)
{
    Outcome &out = m.out;
    const bool serial = link == Link::Serial;
    const long long commandsAfter = serial ? m.setup.sim.statsCounter(QStringLiteral("commands=")) : -1;
    BenchChild::Counts countsAfter;
    const bool countedAfter = m.child.counts(countsAfter);
    if (!m.child.isRunning() || after.isEmpty()) {
        out.error = QStringLiteral("the child ended during the measurement");
        return;
    }
    if (!m.countedBefore || !countedAfter) {
        out.error = QStringLiteral("the child did not answer \"count\"");
        return;
    }
    if (serial && (m.commandsBefore < 0 || commandsAfter < 0)) {
        out.error = QStringLiteral("the simulator did not report its counters");
        return;
    }
    out.seconds = seconds;
    const qint64 pid = m.child.pid();
    qint64 cpuNs = 0, wakeups = 0;
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        // A thread that began inside the window counts from zero.
        const ProcThreads::Use was = m.before.value(it.key());
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
    out.requestsPerSecond = serial ? rate(m.commandsBefore, commandsAfter, out.seconds)
                                   : rate(m.countsBefore.requests, countsAfter.requests, out.seconds);
    out.repliesPerSecond = rate(m.countsBefore.replies, countsAfter.replies, out.seconds);
    if (!m.child.stop()) {
        out.error = QStringLiteral("the child did not end cleanly on \"quit\"");
        return;
    }
    out.ok = true;
}

// Two children, each on its own simulator, measured over the same window: a machine that is
// busier or slower for a while (another program, a neighbour on the host) weighs on both
// alike, where two windows one after the other each met a machine of its own. Each sleeps
// nearly all the time, so on two cores neither waits for the other. `first` starts first;
// the outcomes come back in the order of `programs`.
std::array<Outcome, 2> measurePair(const std::array<Program, 2> &programs, int first, Link link,
                                   const QProcessEnvironment &environment, const Options &options)
{
    std::array<std::unique_ptr<Measured>, 2> measured;
    for (const int p : {first, 1 - first}) {
        auto m = std::make_unique<Measured>(programs[size_t(p)], options, environment);
        m->out.error = prepare(m->setup, link);
        if (m->out.error.isEmpty()
            && !m->child.start(childArguments(programs[size_t(p)], link, m->setup, options.seconds), ReadyTimeoutMs))
            m->out.error = m->child.errorText();
        measured[size_t(p)] = std::move(m);
    }
    const auto running = [&](const std::unique_ptr<Measured> &m) { return m->out.error.isEmpty(); };
    for (auto &m : measured) {
        if (!running(m))
            continue;
        m->countedBefore = m->child.counts(m->countsBefore);
        m->commandsBefore = link == Link::Serial ? m->setup.sim.statsCounter(QStringLiteral("commands=")) : -1;
        m->before = ProcThreads::snapshot(m->child.pid());
    }
    const qint64 startNs = BenchSupport::monotonicNs();
    BenchSupport::runEventLoop(options.seconds * 1000);
    std::array<QMap<qint64, ProcThreads::Use>, 2> after;
    for (size_t p = 0; p < 2; ++p) {
        if (running(measured[p]))
            after[p] = ProcThreads::snapshot(measured[p]->child.pid());
    }
    const double seconds = double(BenchSupport::monotonicNs() - startNs) / 1e9;
    std::array<Outcome, 2> outcomes;
    for (size_t p = 0; p < 2; ++p) {
        if (running(measured[p]))
            finish(*measured[p], link, after[p], seconds);
        outcomes[p] = measured[p]->out;
    }
    return outcomes;
}

struct InstrOutcome
{
    bool ok = false;
    QString error;
    long long cycles = 0;
    double seconds = 0;
    qint64 instructions = 0;
    double perCycle = 0;
    double messagesPerCycle = -1;
    double paintsPerCycle = -1;
};

// The instructions callgrind counted in one dump: its "summary:" (or "totals:") line, whose
// first figure is Ir; -1 when the file has none.
qint64 instructionsIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    qint64 found = -1;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (line.startsWith("summary:") || line.startsWith("totals:")) {
            bool ok = false;
            const qint64 value = line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLongLong(&ok);
            if (ok)
                found = value;
        }
    }
    return found;
}

// Polling cycles so far: state requests the simulator took on the serial link, replies the
// child read on LAN (the simulator does not count its UDP requests); -1 when unknown. And
// the child's own counts: the status bar messages it has shown and the bar's paint events.
long long cyclesSoFar(Link link, Setup &setup, BenchChild &child, BenchChild::Counts &counts)
{
    if (!child.counts(counts, InstrumentedTimeoutMs / 10))
        return -1;
    if (link == Link::Serial)
        return setup.sim.statsCounter(QStringLiteral("commands="), InstrumentedTimeoutMs / 10);
    return counts.replies;
}

// One child under callgrind, instrumentation off until it is polling: switched on, left
// for `cycles` polling cycles of wall time, dumped, and the cycles counted around it.
InstrOutcome measureInstructions(Program program, Link link, const QProcessEnvironment &environment,
                                 const Options &options, const QString &dumpBase)
{
    InstrOutcome out;
    Setup setup(options.simulator);
    out.error = prepare(setup, link);
    if (!out.error.isEmpty())
        return out;
    const int windowMs = options.instructionCycles * CycleMs;
    BenchChild child(options.valgrind, environment);
    // valgrind's own notes (an ioctl of the pty it does not know, say) go to a file beside.
    QStringList arguments = {QStringLiteral("-q"),
                             QStringLiteral("--tool=callgrind"),
                             QStringLiteral("--instr-atstart=no"),
                             QStringLiteral("--callgrind-out-file=") + dumpBase,
                             QStringLiteral("--log-file=") + dumpBase + QStringLiteral(".log"),
                             options.program};
    arguments << childArguments(program, link, setup, windowMs / 1000 + 1);
    if (!child.start(arguments, InstrumentedTimeoutMs)) {
        out.error = child.errorText();
        return out;
    }
    BenchChild::Counts countsBefore, countsAfter;
    const long long before = cyclesSoFar(link, setup, child, countsBefore);
    const QString on = child.request("instr on", QStringLiteral("INSTR "), InstrumentedTimeoutMs);
    if (on != QLatin1String("INSTR on")) {
        out.error = on.isEmpty() ? QStringLiteral("the child did not answer \"instr on\"")
                                 : QStringLiteral("the child is not under callgrind (%1)").arg(on);
        return out;
    }
    const qint64 startNs = BenchSupport::monotonicNs();
    BenchSupport::runEventLoop(windowMs);
    const QString dumped = child.request("instr dump", QStringLiteral("INSTR "), InstrumentedTimeoutMs);
    const qint64 endNs = BenchSupport::monotonicNs();
    const long long after = cyclesSoFar(link, setup, child, countsAfter);
    if (dumped != QLatin1String("INSTR dumped")) {
        out.error = QStringLiteral("the child did not answer \"instr dump\"");
        return out;
    }
    if (!child.stop(InstrumentedTimeoutMs)) {
        out.error = QStringLiteral("the child did not end cleanly on \"quit\"");
        return out;
    }
    if (before < 0 || after <= before) {
        out.error = QStringLiteral("no polling cycle was counted");
        return out;
    }
    // The dump the child asked for is the first; the one at its exit comes after it.
    out.instructions = instructionsIn(dumpBase + QStringLiteral(".1"));
    if (out.instructions < 0) {
        out.error = QStringLiteral("no instruction count in %1.1").arg(dumpBase);
        return out;
    }
    out.cycles = after - before;
    out.seconds = double(endNs - startNs) / 1e9;
    out.perCycle = double(out.instructions) / double(out.cycles);
    const auto perCycle = [&out](long long from, long long to) {
        return from >= 0 && to >= from ? double(to - from) / double(out.cycles) : -1.0;
    };
    out.messagesPerCycle = perCycle(countsBefore.messages, countsAfter.messages);
    out.paintsPerCycle = perCycle(countsBefore.paints, countsAfter.paints);
    out.ok = true;
    return out;
}

// Both programs under callgrind on both links, on one platform: a table and its rows.
QList<Report::Row> measureInstructionsOn(const QString &platform, const QProcessEnvironment &environment,
                                         const Options &options, const QString &dumpDir)
{
    using Report::print;
    QList<Report::Row> rows;
    QStringList table;
    table << QStringLiteral("| Link | Program | polling cycles | in s | instructions | per polling cycle "
                            "| status messages per cycle | status bar paints per cycle |")
          << QStringLiteral("|---|---|---:|---:|---:|---:|---:|---:|");
    for (const Link link : chosenLinks(options)) {
        InstrOutcome outcomes[2]; // panel, floor
        for (const Program program : {Program::Panel, Program::Floor}) {
            const QString base = QDir(dumpDir).filePath(
                QStringLiteral("callgrind.%1.%2.%3").arg(platform, programName(program), linkName(link)));
            outcomes[program == Program::Panel ? 0 : 1] =
                measureInstructions(program, link, environment, options, base);
        }
        const QString measurement =
            QStringLiteral("Instructions per polling cycle, %1, %2").arg(platform, linkTitle(link));
        bool bothOk = true;
        for (int p = 0; p < 2; ++p) {
            const InstrOutcome &o = outcomes[p];
            const QString name = programName(p == 0 ? Program::Panel : Program::Floor);
            if (!o.ok) {
                bothOk = false;
                table << QStringLiteral("| %1 | %2 | failed: %3 | | | | | |").arg(linkTitle(link), name, o.error);
                continue;
            }
            table << QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |")
                         .arg(linkTitle(link), name)
                         .arg(o.cycles)
                         .arg(Report::number(o.seconds, 1))
                         .arg(o.instructions)
                         .arg(Report::number(o.perCycle, 0), perCycleText(o.messagesPerCycle),
                              perCycleText(o.paintsPerCycle));
        }
        if (!bothOk) {
            rows << Report::Row{measurement + QStringLiteral(", panel ÷ floor"), QStringLiteral("failed"),
                                QStringLiteral("×"), QStringLiteral("≤ %1").arg(InstructionTargetRatio),
                                Report::Verdict::Missed};
            continue;
        }
        const double ratio = outcomes[0].perCycle / outcomes[1].perCycle;
        table << QStringLiteral("| %1 | **panel ÷ floor** | | | | **%2** %3 (target ≤ %4) | | |")
                     .arg(linkTitle(link), Report::number(ratio, 2),
                          ratio <= InstructionTargetRatio ? QStringLiteral("✔") : QStringLiteral("✘"))
                     .arg(InstructionTargetRatio);
        rows << Report::Row{measurement + QStringLiteral(", panel / floor"),
                            QStringLiteral("%1 / %2").arg(Report::number(outcomes[0].perCycle, 0),
                                                          Report::number(outcomes[1].perCycle, 0)),
                            QStringLiteral("instructions"), QString(), Report::Verdict::Info};
        rows << Report::Row{measurement + QStringLiteral(", panel ÷ floor"), Report::number(ratio, 2),
                            QStringLiteral("×"), QStringLiteral("≤ %1").arg(InstructionTargetRatio),
                            Report::verdictOf(ratio <= InstructionTargetRatio)};
    }
    print(QStringLiteral("Instructions per polling cycle (callgrind, every thread; a cycle is one state request and "
                         "its reply, 160 ms):"));
    print();
    for (const QString &line : table)
        print(line);
    print();
    return rows;
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

// One pair's lines in the summary and thread tables; false when either child failed.
bool tabulate(const std::array<Outcome, 2> &outcomes, const std::array<QString, 2> &names, const QString &where,
              QStringList &summary, QStringList &threads)
{
    bool bothOk = true;
    for (size_t p = 0; p < 2; ++p) {
        const Outcome &o = outcomes[p];
        if (!o.ok) {
            bothOk = false;
            summary << QStringLiteral("| %1 | %2 | failed: %3 | | | | |").arg(where, names[p], o.error);
            continue;
        }
        summary << QStringLiteral("| %1 | %2 | %3 | %4 % | %5 | %6 | %7 |")
                       .arg(where, names[p], Report::number(o.cpuMsPerSecond, 2),
                            Report::number(o.cpuMsPerSecond / 10.0, 2), Report::number(o.wakeupsPerSecond, 1),
                            rateText(o.requestsPerSecond), rateText(o.repliesPerSecond));
        for (int r = 0; r < RoleCount; ++r) {
            const RoleUse &use = o.roles[r];
            const QString thread = r == OtherThreads && use.present
                ? QStringLiteral("%1 (%2)").arg(RoleNames[r], use.names.join(QStringLiteral(", ")))
                : RoleNames[r];
            threads << (use.present ? QStringLiteral("| %1 | %2 | %3 | %4 | %5 |")
                                          .arg(where, names[p], thread, Report::number(use.msPerSecond, 2),
                                               Report::number(use.wakeupsPerSecond, 1))
                                    : QStringLiteral("| %1 | %2 | %3 | none | |").arg(where, names[p], thread));
        }
    }
    if (bothOk && outcomes[1].cpuMsPerSecond <= 0) {
        summary << QStringLiteral("| %1 | %2 | failed: no CPU time read | | | | |").arg(where, names[1]);
        return false;
    }
    return bothOk;
}

// Every round's ratio, and their median when there is more than one.
QString ratiosText(const QVector<double> &ratios)
{
    QStringList texts;
    for (const double ratio : ratios)
        texts << Report::number(ratio, 2);
    const QString all = texts.join(QStringLiteral(", "));
    return ratios.size() > 1
        ? QStringLiteral("%1 (median %2)").arg(all, Report::number(Report::summarize(ratios).median, 2))
        : all;
}

// Runs the panel against the floor, and the floor against itself, on each link of one
// platform, `options.rounds` times, and prints its tables. The floor against itself is the
// same measurement of two identical programs: how far its ratio strays from 1 is what the
// machine alone does to a ratio.
QList<Report::Row> measureCpuOn(const QString &platform, const QProcessEnvironment &environment, const Options &options,
                                int &runIndex)
{
    using Report::print;
    QList<Report::Row> rows;
    QStringList summary, threads;
    summary << QStringLiteral("| Link, round | Program | CPU ms per s | of one core | wake-ups per s | requests per s "
                              "| replies read per s |")
            << QStringLiteral("|---|---|---:|---:|---:|---:|---:|");
    threads << QStringLiteral("| Link, round | Program | Thread | CPU ms per s | wake-ups per s |")
            << QStringLiteral("|---|---|---|---:|---:|");
    const std::array<QString, 2> panelNames{programName(Program::Panel), programName(Program::Floor)};
    const std::array<QString, 2> floorNames{QStringLiteral("floor A"), QStringLiteral("floor B")};
    for (const Link link : chosenLinks(options)) {
        const QString measurement = QStringLiteral("Polling CPU, %1, %2").arg(platform, linkTitle(link));
        QVector<double> panelRatios, floorRatios;
        bool failed = false;
        for (int round = 1; round <= options.rounds; ++round) {
            const QString where =
                options.rounds > 1 ? QStringLiteral("%1, %2").arg(linkTitle(link)).arg(round) : linkTitle(link);
            // Alternating which starts first, so neither always meets a machine the other warmed.
            const int first = runIndex++ % 2;
            const std::array<Outcome, 2> panel =
                measurePair({Program::Panel, Program::Floor}, first, link, environment, options);
            const std::array<Outcome, 2> floors =
                measurePair({Program::Floor, Program::Floor}, first, link, environment, options);
            if (tabulate(panel, panelNames, where, summary, threads)) {
                const double ratio = panel[0].cpuMsPerSecond / panel[1].cpuMsPerSecond;
                panelRatios << ratio;
                summary << QStringLiteral("| %1 | **panel ÷ floor** | **%2** %3 | target ≤ %4 | %5 | | |")
                               .arg(where, Report::number(ratio, 2),
                                    ratio <= TargetRatio ? QStringLiteral("✔") : QStringLiteral("✘"))
                               .arg(TargetRatio)
                               .arg(Report::number(panel[0].wakeupsPerSecond / panel[1].wakeupsPerSecond, 2));
            } else {
                failed = true;
            }
            if (tabulate(floors, floorNames, where, summary, threads)) {
                const double ratio = floors[0].cpuMsPerSecond / floors[1].cpuMsPerSecond;
                floorRatios << ratio;
                summary << QStringLiteral("| %1 | floor A ÷ floor B | %2 | the machine alone | %3 | | |")
                               .arg(where, Report::number(ratio, 2))
                               .arg(Report::number(floors[0].wakeupsPerSecond / floors[1].wakeupsPerSecond, 2));
            }
        }
        if (failed || panelRatios.isEmpty()) {
            rows << Report::Row{measurement + QStringLiteral(", panel ÷ floor"), QStringLiteral("failed"),
                                QStringLiteral("×"), QStringLiteral("≤ %1").arg(TargetRatio), Report::Verdict::Missed};
        } else {
            const double worst = *std::max_element(panelRatios.cbegin(), panelRatios.cend());
            rows << Report::Row{measurement + QStringLiteral(", panel ÷ floor"), ratiosText(panelRatios),
                                QStringLiteral("×"), QStringLiteral("≤ %1 in every round").arg(TargetRatio),
                                Report::verdictOf(worst <= TargetRatio)};
        }
        if (!floorRatios.isEmpty())
            rows << Report::Row{measurement + QStringLiteral(", floor ÷ floor (the machine alone)"),
                                ratiosText(floorRatios), QStringLiteral("×"), QString(), Report::Verdict::Info};
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

// Prints one platform's tables: CPU, instructions, or both.
QList<Report::Row> measurePlatform(const QString &platform, const QString &note, const QProcessEnvironment &environment,
                                   const Options &options, const QString &dumpDir, int &runIndex)
{
    using Report::print;
    QList<Report::Row> rows;
    print(QStringLiteral("### Platform %1").arg(platform));
    print();
    if (!note.isEmpty()) {
        print(note);
        print();
    }
    if (options.cpu)
        rows << measureCpuOn(platform, environment, options, runIndex);
    if (options.instructionCycles > 0)
        rows << measureInstructionsOn(platform, environment, options, dumpDir);
    return rows;
}
} // namespace

QList<Report::Row> run(const Options &options)
{
    using Report::print;
    if (options.cpu) {
        print(QStringLiteral("## Polling CPU: the panel against a floor (%1 s per child)").arg(options.seconds));
        print(QStringLiteral("The panel and the floor run at the same time, each a child process on its own "
                             "talmek-sim, connected, past its first reply and 1 s of settling; CPU is the sum over "
                             "a child's threads of the scheduler's run time (/proc/<pid>/task/*/schedstat), "
                             "wake-ups their voluntary context switches, both read by this process over one window "
                             "shared by the two, so that the machine's swings weigh on both alike. Each round "
                             "then measures the floor against a second floor in the same way: two identical "
                             "programs, whose ratio shows how far this machine alone moves a ratio."));
    } else {
        print(QStringLiteral("## Polling instructions: the panel against a floor"));
    }
    print(QStringLiteral("The floor: the panel's form and style sheet, a thread that ticks every 80 ms and posts one "
                         "call per tick, a state request every other tick, each reply shown in the status bar."));
    if (options.instructionCycles > 0)
        print(QStringLiteral("Instructions: each program again under `valgrind --tool=callgrind --instr-atstart=no`, "
                             "counting switched on once it has polled for 1 s, dumped after %1 polling cycles "
                             "(%2 s); the cycles are the state requests the simulator took (serial) or the replies "
                             "the program read (LAN) around that window, so the count may be one off.")
                  .arg(options.instructionCycles)
                  .arg(Report::number(options.instructionCycles * CycleMs / 1000.0, 1)));
    print();
    QTemporaryDir temporaryDumps;
    const QString dumpDir = options.callgrindDir.isEmpty() ? temporaryDumps.path() : options.callgrindDir;
    if (options.instructionCycles > 0 && !options.callgrindDir.isEmpty())
        QDir().mkpath(dumpDir);
    QList<Report::Row> rows;
    int runIndex = 0;
    for (const QString &platform : options.platforms) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        if (platform != QLatin1String("xcb")) {
            rows << measurePlatform(platform, QString(), environment, options, dumpDir, runIndex);
            continue;
        }
        XvfbServer xvfb;
        QString display;
        if (options.useExistingDisplay) {
            display = qEnvironmentVariable("DISPLAY");
        } else if (xvfb.start()) {
            display = xvfb.display();
            // Neither child draws with OpenGL. On a private server xcb would still load its GLX
            // integration and whichever Mesa driver this machine has; a desktop's own server
            // (above) keeps what its user gets.
            environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
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
        rows << measurePlatform(platform, note, environment, options, dumpDir, runIndex);
    }
    if (!options.cpu)
        return rows;
    const double wakeup = bareWakeupMicros();
    print(QStringLiteral("One wake-up of a thread that only sleeps costs this process %1 µs of CPU on this machine.")
              .arg(Report::number(wakeup, 1)));
    rows << Report::Row{QStringLiteral("CPU of one bare thread wake-up (machine floor)"), Report::number(wakeup, 1),
                        QStringLiteral("µs"), QString(), Report::Verdict::Info};
    return rows;
}

} // namespace PollCpuBench

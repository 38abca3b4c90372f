// zorvik-bench: the panel's speed and memory figures, printed against their targets.
// Run on demand (not part of the test suite): build/zorvik-bench [options].

#include "benchsupport.h"
#include "lanintakebench.h"
#include "localresolver.h"
#include "pollchild.h"
#include "pollcpubench.h"
#include "readnotices.h"
#include "remotebench.h"
#include "renderbench.h"
#include "report.h"
#include "headlessbench.h"
#include "startupbench.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QStringList AllMeasurements = {QStringLiteral("render"), QStringLiteral("lan"), QStringLiteral("cpu"),
                                     QStringLiteral("instr"), QStringLiteral("startup"),
                                     QStringLiteral("headless"), QStringLiteral("remote"),
                                     QStringLiteral("mqtt")};

bool readBounded(const QCommandLineParser &parser, const QCommandLineOption &option, long long low, long long high,
                 long long &value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const long long v = parser.value(option).toLongLong(&ok);
    if (!ok || v < low || v > high) {
        Report::print(
            QStringLiteral("--%1 takes a whole number from %2 to %3").arg(option.names().first()).arg(low).arg(high));
        return false;
    }
    value = v;
    return true;
}

// QApplication reads "-platform"/"--platform" as its own and would move this process to
// that platform. Here it names the cpu children's platforms, so it is taken out of argv
// before QApplication sees it; null when not given.
QString takePlatformArgument(int &argc, char **argv)
{
    QString value;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if ((arg == "--platform" || arg == "-platform") && i + 1 < argc) {
            value = QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        if (arg.startsWith("--platform=") || arg.startsWith("-platform=")) {
            value = QString::fromLocal8Bit(arg.mid(arg.indexOf('=') + 1));
            continue;
        }
        argv[kept++] = argv[i];
    }
    argv[kept] = nullptr;
    argc = kept;
    return value;
}
} // namespace

int main(int argc, char **argv)
{
    const qint64 mainEntry = BenchSupport::monotonicNs();
    ReadNotices::install();
    // Headless unless a platform is asked for; the children inherit the choice.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString platformArgument = takePlatformArgument(argc, argv);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zorvik-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures the panel's speed and memory and prints each figure next to its target.\n"
        "Measurements: render (one status reply on the shown panel against re-applying every style), "
        "lan (LAN status datagrams absorbed per second and event-loop gaps), cpu (the panel's CPU while polling "
        "talmek-sim on a pty and over UDP, against a floor program of the same design), instr (the same children's "
        "instructions per polling cycle under callgrind), startup (start-up to the "
        "first frame and peak memory against a bare window), headless (zorvik-panel --headless against the panel, "
        "CPU while polling and peak memory), remote (a command through the remote API against a key press, "
        "the state message at 8 WebSocket clients against the panel's repaint, polling CPU with 8 idle clients against "
        "none), mqtt (a command published on a mosquitto broker of its own against a key press, and the box's "
        "change to the state message on the broker). Runs on the offscreen platform unless QT_QPA_PLATFORM "
        "says otherwise."));
    parser.addHelpOption();
    const QCommandLineOption only(
        QStringLiteral("only"),
        QStringLiteral("Comma-separated measurements to run: render, lan, cpu, instr, startup, "
                       "headless, remote, mqtt (default: all)."),
        QStringLiteral("list"));
    const QCommandLineOption iterations(QStringLiteral("iterations"),
                                        QStringLiteral("render: timed replies per case (default 1000)."),
                                        QStringLiteral("n"));
    const QCommandLineOption lanSeconds(QStringLiteral("lan-seconds"),
                                        QStringLiteral("lan: flood duration per variant in seconds (default 5)."),
                                        QStringLiteral("s"));
    const QCommandLineOption lanMax(QStringLiteral("lan-max"),
                                    QStringLiteral("lan: at most this many datagrams per variant (default 1000000)."),
                                    QStringLiteral("n"));
    const QCommandLineOption cpuSeconds(
        QStringLiteral("cpu-seconds"),
        QStringLiteral("cpu: measured window per program, platform and link in seconds (default 20)."),
        QStringLiteral("s"));
    const QCommandLineOption cpuRounds(
        QStringLiteral("cpu-rounds"),
        QStringLiteral("cpu: rounds per platform and link, each the panel against the floor and then the floor "
                       "against a second floor (default 1)."),
        QStringLiteral("n"));
    const QCommandLineOption platforms(
        QStringLiteral("platform"),
        QStringLiteral("cpu: comma-separated platforms for the children: offscreen, xcb (default: both). xcb runs on "
                       "a private Xvfb, or on the X server DISPLAY names when this option asks for xcb."),
        QStringLiteral("list"));
    const QCommandLineOption links(
        QStringLiteral("link"),
        QStringLiteral("cpu, instr: comma-separated links to measure: serial, lan (default: both)."),
        QStringLiteral("list"));
    const QCommandLineOption instrCycles(
        QStringLiteral("instr-cycles"),
        QStringLiteral("instr: polling cycles (160 ms each) counted per program, platform and link (default 100)."),
        QStringLiteral("n"));
    const QCommandLineOption callgrindDir(
        QStringLiteral("callgrind-dir"),
        QStringLiteral("instr: keep the callgrind files in this folder, for callgrind_annotate (default: removed)."),
        QStringLiteral("folder"));
    const QCommandLineOption startupRuns(QStringLiteral("startup-runs"),
                                         QStringLiteral("startup: processes per window kind (default 7)."),
                                         QStringLiteral("n"));
    const QCommandLineOption remoteCommands(
        QStringLiteral("remote-commands"),
        QStringLiteral("remote, mqtt: commands per path, API or broker and key press (default 200)."),
        QStringLiteral("n"));
    const QCommandLineOption remoteChanges(
        QStringLiteral("remote-changes"),
        QStringLiteral("remote, mqtt: changes of the box timed to the WebSocket clients, or to the broker's "
                       "client (default 100)."),
        QStringLiteral("n"));
    const QCommandLineOption remoteSeconds(
        QStringLiteral("remote-seconds"),
        QStringLiteral("remote: CPU window per number of clients in seconds (default 10)."), QStringLiteral("s"));
    const QCommandLineOption simulator(QStringLiteral("sim"),
                                       QStringLiteral("cpu: the talmek-sim executable (default: beside this one)."),
                                       QStringLiteral("path"));
    QCommandLineOption childKind(QStringLiteral("child"),
                                 QStringLiteral("Internal: one start-up run, or one polling child (then the link, "
                                                "serial or lan, follows)."),
                                 QStringLiteral("panel|bare|poll-panel|poll-floor"));
    childKind.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption childSettings(QStringLiteral("settings"), QStringLiteral("Internal: settings file."),
                                     QStringLiteral("file"));
    childSettings.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption childEndpoint(QStringLiteral("endpoint"),
                                     QStringLiteral("Internal: the pty or the UDP port of the simulator."),
                                     QStringLiteral("pty|port"));
    childEndpoint.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({only, iterations, lanSeconds, lanMax, cpuSeconds, cpuRounds, platforms, links, instrCycles,
                       callgrindDir, startupRuns, remoteCommands, remoteChanges, remoteSeconds, simulator, childKind, childSettings, childEndpoint});
    parser.process(application);

    long long nCpuSeconds = 20;
    long long nCpuRounds = 1;
    if (!readBounded(parser, cpuSeconds, 1, 600, nCpuSeconds) || !readBounded(parser, cpuRounds, 1, 50, nCpuRounds))
        return 2;
    if (parser.isSet(childKind) && PollChild::isPollKind(parser.value(childKind))) {
        PollChild::Arguments a;
        a.kind = parser.value(childKind);
        a.link = parser.positionalArguments().value(0);
        a.endpoint = parser.value(childEndpoint);
        a.settingsFile = parser.value(childSettings);
        a.seconds = int(nCpuSeconds);
        return PollChild::run(a);
    }
    if (parser.isSet(childKind))
        return StartupBench::child(parser.value(childKind), parser.value(childSettings), mainEntry);

    QStringList chosen = AllMeasurements;
    if (parser.isSet(only)) {
        chosen = parser.value(only).split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &name : chosen) {
            if (!AllMeasurements.contains(name)) {
                Report::print(
                    QStringLiteral("unknown measurement \"%1\" (render, lan, cpu, instr, startup, headless, remote, "
                                   "mqtt)")
                        .arg(name));
                return 2;
            }
        }
    }
    long long nIterations = 1000, nLanSeconds = 5, nLanMax = 1000000, nRuns = 7, nInstrCycles = 100;
    long long nRemoteCommands = 200, nRemoteChanges = 100, nRemoteSeconds = 10;
    if (!readBounded(parser, iterations, 10, 100000, nIterations)
        || !readBounded(parser, instrCycles, 10, 10000, nInstrCycles)
        || !readBounded(parser, lanSeconds, 1, 120, nLanSeconds)
        || !readBounded(parser, lanMax, 100, 100000000, nLanMax) || !readBounded(parser, startupRuns, 1, 100, nRuns)
        || !readBounded(parser, remoteCommands, 10, 10000, nRemoteCommands)
        || !readBounded(parser, remoteChanges, 10, 10000, nRemoteChanges)
        || !readBounded(parser, remoteSeconds, 1, 600, nRemoteSeconds))
        return 2;
    QStringList cpuPlatforms = {QStringLiteral("offscreen"), QStringLiteral("xcb")};
    const bool platformsGiven = !platformArgument.isNull();
    if (platformsGiven) {
        cpuPlatforms = platformArgument.split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &name : cpuPlatforms) {
            if (name != QLatin1String("offscreen") && name != QLatin1String("xcb")) {
                Report::print(QStringLiteral("unknown platform \"%1\" (offscreen, xcb)").arg(name));
                return 2;
            }
        }
        cpuPlatforms.removeDuplicates();
        if (cpuPlatforms.isEmpty()) {
            Report::print(QStringLiteral("--platform takes offscreen, xcb or both"));
            return 2;
        }
    }
    QStringList pollLinks = {QStringLiteral("serial"), QStringLiteral("lan")};
    if (parser.isSet(links)) {
        pollLinks = parser.value(links).split(QLatin1Char(','), Qt::SkipEmptyParts);
        pollLinks.removeDuplicates();
        for (const QString &name : pollLinks) {
            if (name != QLatin1String("serial") && name != QLatin1String("lan")) {
                Report::print(QStringLiteral("unknown link \"%1\" (serial, lan)").arg(name));
                return 2;
            }
        }
        if (pollLinks.isEmpty()) {
            Report::print(QStringLiteral("--link takes serial, lan or both"));
            return 2;
        }
    }
    const QString simPath = parser.isSet(simulator)
        ? parser.value(simulator)
        : QCoreApplication::applicationDirPath() + QStringLiteral("/talmek-sim");
    const bool polling = chosen.contains(QLatin1String("cpu")) || chosen.contains(QLatin1String("instr"))
        || chosen.contains(QLatin1String("headless"));
    if (polling && !QFileInfo(simPath).isExecutable()) {
        Report::print(QStringLiteral("talmek-sim not found at %1 (build it, or give --sim)").arg(simPath));
        return 2;
    }

    Report::print(QStringLiteral("# zorvik-bench"));
    Report::print();
    for (const QString &line : Report::machineLines())
        Report::print(line);
    Report::print();

    QList<Report::Row> rows;
    if (chosen.contains(QLatin1String("render"))) {
        RenderBench::Options o;
        o.iterations = int(nIterations);
        rows << RenderBench::run(o);
        Report::print();
    }
    if (chosen.contains(QLatin1String("lan"))) {
        LanIntakeBench::Options o;
        o.seconds = int(nLanSeconds);
        o.maxDatagrams = nLanMax;
        rows << LanIntakeBench::run(o);
        Report::print();
    }
    const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    const bool instructions = chosen.contains(QLatin1String("instr")) && !valgrind.isEmpty();
    if (chosen.contains(QLatin1String("instr")) && valgrind.isEmpty()) {
        Report::print(QStringLiteral("instr skipped: no valgrind on the path (Debian package valgrind)."));
        rows << Report::Row{QStringLiteral("Instructions per polling cycle"), QStringLiteral("skipped"), QString(),
                            QString(), Report::Verdict::Info};
    }
    if (chosen.contains(QLatin1String("cpu")) || instructions) {
        PollCpuBench::Options o;
        o.cpu = chosen.contains(QLatin1String("cpu"));
        o.instructionCycles = instructions ? int(nInstrCycles) : 0;
        o.valgrind = valgrind;
        o.callgrindDir = parser.value(callgrindDir);
        o.seconds = int(nCpuSeconds);
        o.rounds = int(nCpuRounds);
        o.simulator = simPath;
        o.program = QCoreApplication::applicationFilePath();
        o.platforms = cpuPlatforms;
        o.links = pollLinks;
        // Asked for xcb by name, with an X server at hand: measure on that one.
        o.useExistingDisplay =
            platformsGiven && cpuPlatforms.contains(QLatin1String("xcb")) && !qEnvironmentVariableIsEmpty("DISPLAY");
        rows << PollCpuBench::run(o);
        Report::print();
    }
    if (chosen.contains(QLatin1String("headless"))) {
        HeadlessBench::Options o;
        o.seconds = int(nCpuSeconds);
        o.panel = QCoreApplication::applicationDirPath() + QStringLiteral("/zorvik-panel");
        o.simulator = simPath;
        o.links = pollLinks;
        rows << HeadlessBench::run(o);
        Report::print();
    }
    if (chosen.contains(QLatin1String("remote"))) {
        RemoteBench::Options o;
        o.commands = int(nRemoteCommands);
        o.changes = int(nRemoteChanges);
        o.seconds = int(nRemoteSeconds);
        rows << RemoteBench::run(o);
        Report::print();
    }
    if (chosen.contains(QLatin1String("mqtt"))) {
        RemoteBench::Options o;
        o.commands = int(nRemoteCommands);
        o.changes = int(nRemoteChanges);
        rows << RemoteBench::runMqtt(o);
        Report::print();
    }
    if (chosen.contains(QLatin1String("startup"))) {
        StartupBench::Options o;
        o.runs = int(nRuns);
        o.program = QCoreApplication::applicationFilePath();
        rows << StartupBench::run(o);
        Report::print();
    }

    Report::print(QStringLiteral("## Summary"));
    Report::print();
    for (const QString &line : Report::table(rows))
        Report::print(line);
    Report::print();
    Report::print(QStringLiteral("Load average (1/5/15 min) at the end: %1").arg(Report::loadAverage()));
    Report::print(QStringLiteral("Name look-ups the panel asked for in this process, answered without a name server: "
                                 "%1 reverse, %2 forward")
                      .arg(LocalResolver::reverseLookups())
                      .arg(LocalResolver::forwardLookups()));
    bool allMet = true;
    for (const Report::Row &row : rows)
        allMet = allMet && row.verdict != Report::Verdict::Missed;
    // The figures are the result; the exit code only says whether every target was met.
    return allMet ? 0 : 1;
}

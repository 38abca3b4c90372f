// zorvik-bench: the panel's speed and memory figures, printed against their targets.
// Run on demand (not part of the test suite): build/zorvik-bench [options].

#include "benchsupport.h"
#include "lanintakebench.h"
#include "localresolver.h"
#include "pollcpubench.h"
#include "readnotices.h"
#include "renderbench.h"
#include "report.h"
#include "startupbench.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

namespace {
const QStringList AllMeasurements = {QStringLiteral("render"), QStringLiteral("lan"), QStringLiteral("cpu"),
                                     QStringLiteral("startup")};

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
} // namespace

int main(int argc, char **argv)
{
    const qint64 mainEntry = BenchSupport::monotonicNs();
    ReadNotices::install();
    // Headless unless a platform is asked for; the children inherit the choice.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zorvik-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures the panel's speed and memory and prints each figure next to its target.\n"
        "Measurements: render (one status reply on the shown panel against re-applying every style), "
        "lan (LAN status datagrams absorbed per second and event-loop gaps), cpu (the panel's CPU while polling "
        "talmek-sim on a pty and over UDP), startup (start-up to the first frame and peak memory against a bare "
        "window). Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise."));
    parser.addHelpOption();
    const QCommandLineOption only(QStringLiteral("only"),
                                  QStringLiteral("Comma-separated measurements to run: render, lan, cpu, startup "
                                                 "(default: all)."),
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
    const QCommandLineOption cpuSeconds(QStringLiteral("cpu-seconds"),
                                        QStringLiteral("cpu: measured polling time per link in seconds (default 30)."),
                                        QStringLiteral("s"));
    const QCommandLineOption startupRuns(QStringLiteral("startup-runs"),
                                         QStringLiteral("startup: processes per window kind (default 7)."),
                                         QStringLiteral("n"));
    const QCommandLineOption simulator(QStringLiteral("sim"),
                                       QStringLiteral("cpu: the talmek-sim executable (default: beside this one)."),
                                       QStringLiteral("path"));
    QCommandLineOption childKind(QStringLiteral("child"), QStringLiteral("Internal: one start-up run."),
                                 QStringLiteral("panel|bare"));
    childKind.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption childSettings(QStringLiteral("settings"), QStringLiteral("Internal: settings file."),
                                     QStringLiteral("file"));
    childSettings.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions(
        {only, iterations, lanSeconds, lanMax, cpuSeconds, startupRuns, simulator, childKind, childSettings});
    parser.process(application);

    if (parser.isSet(childKind))
        return StartupBench::child(parser.value(childKind), parser.value(childSettings), mainEntry);

    QStringList chosen = AllMeasurements;
    if (parser.isSet(only)) {
        chosen = parser.value(only).split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &name : chosen) {
            if (!AllMeasurements.contains(name)) {
                Report::print(QStringLiteral("unknown measurement \"%1\" (render, lan, cpu, startup)").arg(name));
                return 2;
            }
        }
    }
    long long nIterations = 1000, nLanSeconds = 5, nLanMax = 1000000, nCpuSeconds = 30, nRuns = 7;
    if (!readBounded(parser, iterations, 10, 100000, nIterations)
        || !readBounded(parser, lanSeconds, 1, 120, nLanSeconds)
        || !readBounded(parser, lanMax, 100, 100000000, nLanMax)
        || !readBounded(parser, cpuSeconds, 1, 600, nCpuSeconds) || !readBounded(parser, startupRuns, 1, 100, nRuns))
        return 2;
    const QString simPath = parser.isSet(simulator)
        ? parser.value(simulator)
        : QCoreApplication::applicationDirPath() + QStringLiteral("/talmek-sim");
    if (chosen.contains(QLatin1String("cpu")) && !QFileInfo(simPath).isExecutable()) {
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
    if (chosen.contains(QLatin1String("cpu"))) {
        PollCpuBench::Options o;
        o.seconds = int(nCpuSeconds);
        o.simulator = simPath;
        rows << PollCpuBench::run(o);
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

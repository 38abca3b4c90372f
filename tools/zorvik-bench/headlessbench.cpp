#include "headlessbench.h"

#include "benchsupport.h"
#include "procthreads.h"
#include "simprocess.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <array>
#include <memory>

namespace HeadlessBench {

namespace {
constexpr int StartTimeoutMs = 10000;

// One program on its own simulator, in a folder that holds a copy of the panel and its
// settings (the panel reads them beside itself).
struct Run
{
    Run(const Options &options, bool withoutWindow)
        : sim(options.simulator)
        , headless(withoutWindow)
    {}
    SimProcess sim;
    QTemporaryDir dir;
    QProcess process;
    bool headless;
    QString error;
    qint64 cpuBefore = 0;
};

qint64 cpuNs(qint64 pid)
{
    qint64 total = 0;
    const QMap<qint64, ProcThreads::Use> threads = ProcThreads::snapshot(pid);
    for (const ProcThreads::Use &use : threads)
        total += use.cpuNs;
    return threads.isEmpty() ? -1 : total;
}

// "VmHWM" of a child, in KiB; -1 when unreadable.
qint64 peakKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QString start(Run &run, const Options &options, bool serial)
{
    const QString endpoint = serial
        ? run.sim.start({QStringLiteral("--hex"), QStringLiteral("--pty")}, QStringLiteral("PTY "))
        : run.sim
              .start({QStringLiteral("--hex"), QStringLiteral("--udp"), QStringLiteral("0"),
                      QStringLiteral("--udp-bind"), BenchSupport::boxAddress()},
                     QStringLiteral("UDP "))
              .section(QLatin1Char(':'), -1);
    if (endpoint.isEmpty())
        return run.sim.errorText();
    const QString program = run.dir.filePath(QStringLiteral("zorvik-panel"));
    const QString ini = run.dir.filePath(QStringLiteral("settings.ini"));
    if (!QFile::copy(options.panel, program) || !BenchSupport::writeSettings(ini, serial, endpoint))
        return QStringLiteral("cannot prepare %1").arg(run.dir.path());
    if (serial) {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setValue(QStringLiteral("comport"), endpoint);
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    if (run.headless)
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    else
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    run.process.setProcessEnvironment(environment);
    run.process.setStandardOutputFile(QProcess::nullDevice());
    run.process.setStandardErrorFile(QProcess::nullDevice());
    run.process.start(program, {run.headless ? QStringLiteral("--headless") : QStringLiteral("--connect")});
    if (!run.process.waitForStarted(StartTimeoutMs))
        return QStringLiteral("%1 did not start").arg(program);
    // Polling: the box has answered (the simulator prints each frame it sends).
    if (run.sim.waitForLine(QStringLiteral("TX "), 0, StartTimeoutMs).isEmpty())
        return QStringLiteral("the box was not polled");
    return QString();
}

QString ratioText(double part, double whole)
{
    return whole > 0 ? Report::number(part / whole, 2) : QStringLiteral("-");
}
} // namespace

QList<Report::Row> run(const Options &options)
{
    Report::print(QStringLiteral("## The station without a window against the panel"));
    Report::print();
    Report::print(QStringLiteral("zorvik-panel --headless and zorvik-panel --connect (offscreen), each polling its own "
                                 "talmek-sim, measured together over %1 s: CPU of all threads, and peak resident "
                                 "memory (VmHWM). Goal: the headless mode at most half of the panel in each.")
                      .arg(options.seconds));
    Report::print();
    Report::print(QStringLiteral(
        "| Link | Panel CPU ms/s | Headless CPU ms/s | Ratio | Panel peak KiB | Headless peak KiB | Ratio |"));
    Report::print(QStringLiteral("|---|---:|---:|---:|---:|---:|---:|"));
    QList<Report::Row> rows;
    for (const QString &link : options.links) {
        const bool serial = link == QLatin1String("serial");
        std::array<std::unique_ptr<Run>, 2> runs{std::make_unique<Run>(options, false),
                                                 std::make_unique<Run>(options, true)};
        QString error;
        for (auto &r : runs) {
            if (error.isEmpty())
                error = start(*r, options, serial);
        }
        std::array<double, 2> cpu{-1, -1};
        std::array<qint64, 2> peak{-1, -1};
        if (error.isEmpty()) {
            for (auto &r : runs)
                r->cpuBefore = cpuNs(r->process.processId());
            const qint64 startNs = BenchSupport::monotonicNs();
            BenchSupport::runEventLoop(options.seconds * 1000);
            const double seconds = double(BenchSupport::monotonicNs() - startNs) / 1e9;
            for (size_t i = 0; i < 2; ++i) {
                const qint64 pid = runs[i]->process.processId();
                const qint64 after = cpuNs(pid);
                if (after < 0 || runs[i]->cpuBefore < 0)
                    error = QStringLiteral("a program ended during the measurement");
                cpu[i] = double(after - runs[i]->cpuBefore) / 1e6 / seconds;
                peak[i] = peakKiB(pid);
            }
        }
        for (auto &r : runs) {
            r->process.terminate();
            if (!r->process.waitForFinished(StartTimeoutMs))
                r->process.kill();
        }
        const QString title = serial ? QStringLiteral("serial") : QStringLiteral("LAN");
        if (!error.isEmpty()) {
            Report::print(QStringLiteral("| %1 | %2 | | | | | |").arg(title, error));
            rows << Report::Row{QStringLiteral("Headless against panel, %1").arg(title), QStringLiteral("failed"),
                                QString(), QString(), Report::Verdict::Missed};
            continue;
        }
        Report::print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 |")
                          .arg(title, Report::number(cpu[0], 2), Report::number(cpu[1], 2), ratioText(cpu[1], cpu[0]))
                          .arg(peak[0])
                          .arg(peak[1])
                          .arg(ratioText(double(peak[1]), double(peak[0]))));
        const auto verdict = [](double ratio) {
            return ratio >= 0 && ratio <= 0.5 ? Report::Verdict::Met : Report::Verdict::Missed;
        };
        const double cpuRatio = cpu[0] > 0 ? cpu[1] / cpu[0] : -1;
        const double peakRatio = peak[0] > 0 ? double(peak[1]) / double(peak[0]) : -1;
        rows << Report::Row{QStringLiteral("Headless CPU against the panel's, %1").arg(title),
                            ratioText(cpu[1], cpu[0]), QStringLiteral("x"), QStringLiteral("<= 0.5"),
                            verdict(cpuRatio)};
        rows << Report::Row{QStringLiteral("Headless peak memory against the panel's, %1").arg(title),
                            ratioText(double(peak[1]), double(peak[0])), QStringLiteral("x"), QStringLiteral("<= 0.5"),
                            verdict(peakRatio)};
    }
    Report::print();
    return rows;
}

} // namespace HeadlessBench

#include "pollcpubench.h"

#include "app/mainwindow.h"
#include "benchsupport.h"
#include "engine/threadleitura.h"
#include "readnotices.h"
#include "simprocess.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QStatusBar>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <thread>

namespace PollCpuBench {

namespace {
// What each thread of this process has used so far, by "name/tid".
struct ThreadUse
{
    qint64 cpuNs = 0; // time on a CPU (schedstat)
    qint64 switches = 0; // voluntary context switches: how often it went to sleep and woke again
};

QMap<QString, ThreadUse> threadUse()
{
    QMap<QString, ThreadUse> use;
    const QString base = QStringLiteral("/proc/self/task/");
    const QStringList tids = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &tid : tids) {
        QFile comm(base + tid + QStringLiteral("/comm"));
        QFile schedstat(base + tid + QStringLiteral("/schedstat"));
        QFile status(base + tid + QStringLiteral("/status"));
        if (!comm.open(QIODevice::ReadOnly) || !schedstat.open(QIODevice::ReadOnly)
            || !status.open(QIODevice::ReadOnly))
            continue;
        ThreadUse u;
        u.cpuNs = schedstat.readAll().split(' ').value(0).toLongLong();
        const QList<QByteArray> lines = status.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                u.switches = line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
        use.insert(QString::fromLocal8Bit(comm.readAll().trimmed()) + QLatin1Char('/') + tid, u);
    }
    return use;
}

struct Outcome
{
    bool ok = false;
    QString error;
    double cpuMsPerSecond = 0;
    double seconds = 0;
    double repliesPerSecond = 0;
    QStringList threads;
};

enum class Link { Serial, Lan, Idle };

Outcome measure(Link link, const Options &options)
{
    Outcome out;
    const bool serial = link == Link::Serial;
    SimProcess sim(options.simulator);
    QString endpoint;
    if (link == Link::Serial) {
        endpoint = sim.start({QStringLiteral("--pty")}, QStringLiteral("PTY "));
    } else if (link == Link::Lan) {
        endpoint = sim.start(
            {QStringLiteral("--udp"), QStringLiteral("0"), QStringLiteral("--udp-bind"), BenchSupport::boxAddress()},
            QStringLiteral("UDP "));
    }
    if (link != Link::Idle && endpoint.isEmpty()) {
        out.error = sim.errorText();
        return out;
    }
    const QString port = link == Link::Lan ? endpoint.section(QLatin1Char(':'), -1) : QStringLiteral("4001");

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    if (!dir.isValid() || !BenchSupport::writeSettings(ini, serial, port)) {
        out.error = QStringLiteral("cannot write the settings file");
        return out;
    }
    QList<SerialPortDescription> ports;
    if (serial) {
        SerialPortDescription pty;
        pty.portName = endpoint;
        ports << pty;
    }
    auto window = std::make_unique<MainWindow>(ini, ports);
    window->show();
    if (!BenchSupport::waitForFirstFrame(window.get(), 5000)) {
        out.error = QStringLiteral("the window was never exposed");
        return out;
    }
    // Started as the program's main() starts it.
    auto polling = std::make_unique<ThreadLeitura>(window.get());
    if (link != Link::Idle) {
        auto *connectAction = window->findChild<QAction *>(QStringLiteral("actionConnect_to_Brisel"));
        if (!connectAction) {
            out.error = QStringLiteral("no Connect action");
            return out;
        }
        connectAction->trigger();
        const QString expected = serial ? QStringLiteral("Connected! Firmware") : QStringLiteral("Ping: ");
        if (!BenchSupport::waitUntil([&] { return window->statusBar()->currentMessage().startsWith(expected); },
                                     5000)) {
            out.error = QStringLiteral("no reply from the simulator (status \"%1\")")
                            .arg(window->statusBar()->currentMessage());
            return out;
        }
    }
    BenchSupport::runEventLoop(1000); // settled: past the first replies and paints

    const long long commandsBefore = serial ? sim.statsCounter(QStringLiteral("commands=")) : 0;
    const long long readBefore = ReadNotices::count();
    const QMap<QString, ThreadUse> useBefore = threadUse();
    const qint64 wallBefore = BenchSupport::monotonicNs();
    const qint64 cpuBefore = BenchSupport::processCpuNs();
    BenchSupport::runEventLoop(options.seconds * 1000);
    const qint64 cpuAfter = BenchSupport::processCpuNs();
    const qint64 wallAfter = BenchSupport::monotonicNs();
    const QMap<QString, ThreadUse> useAfter = threadUse();
    const long long readAfter = ReadNotices::count();
    const long long commandsAfter = serial ? sim.statsCounter(QStringLiteral("commands=")) : 0;

    out.seconds = double(wallAfter - wallBefore) / 1e9;
    out.cpuMsPerSecond = double(cpuAfter - cpuBefore) / 1e6 / out.seconds;
    const long long replies = serial ? commandsAfter - commandsBefore : readAfter - readBefore;
    out.repliesPerSecond = double(replies) / out.seconds;
    for (auto it = useAfter.constBegin(); it != useAfter.constEnd(); ++it) {
        const ThreadUse before = useBefore.value(it.key());
        const double msPerSecond = double(it.value().cpuNs - before.cpuNs) / 1e6 / out.seconds;
        const double wakeups = double(it.value().switches - before.switches) / out.seconds;
        if (msPerSecond > 0.005)
            out.threads << QStringLiteral("%1: %2 ms/s, %3 wake-ups/s")
                               .arg(it.key().section(QLatin1Char('/'), 0, 0), Report::number(msPerSecond, 2),
                                    Report::number(wakeups, 1));
    }
    out.ok = serial ? commandsBefore >= 0 && commandsAfter >= 0 : true;
    if (!out.ok)
        out.error = QStringLiteral("the simulator did not report its counters");

    polling.reset(); // it posts to the window, so it goes first
    window.reset();
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
} // namespace

QList<Report::Row> run(const Options &options)
{
    using Report::print;
    print(QStringLiteral("## Panel CPU while polling talmek-sim (%1 s per link)").arg(options.seconds));
    print(QStringLiteral("Window shown, ThreadLeitura running, connected; CPU of this whole process "
                         "(CLOCK_PROCESS_CPUTIME_ID) over the window."));
    print();
    print(QStringLiteral("| Link | CPU ms per s | of one core | requests or replies per s "
                         "| per thread: CPU and wake-ups over the window |"));
    print(QStringLiteral("|---|---:|---:|---:|---|"));
    QList<Report::Row> rows;
    const struct
    {
        Link link;
        QString name;
    } links[] = {
        {Link::Serial, QStringLiteral("serial (pty)")},
        {Link::Lan, QStringLiteral("LAN (loopback)")},
        {Link::Idle, QStringLiteral("not connected (for scale)")},
    };
    for (const auto &l : links) {
        const Outcome o = measure(l.link, options);
        const bool target = l.link != Link::Idle;
        if (!o.ok) {
            print(QStringLiteral("| %1 | failed: %2 | | | |").arg(l.name, o.error));
            rows << Report::Row{QStringLiteral("Polling CPU, %1").arg(l.name), QStringLiteral("failed"),
                                QStringLiteral("ms CPU per s"), target ? QStringLiteral("≤ 2") : QString(),
                                target ? Report::Verdict::Missed : Report::Verdict::Info};
            continue;
        }
        print(QStringLiteral("| %1 | %2 | %3 % | %4 | %5 |")
                  .arg(l.name, Report::number(o.cpuMsPerSecond, 2), Report::number(o.cpuMsPerSecond / 10.0, 2),
                       Report::number(o.repliesPerSecond, 1), o.threads.join(QStringLiteral("; "))));
        rows << Report::Row{QStringLiteral("Polling CPU, %1").arg(l.name), Report::number(o.cpuMsPerSecond, 2),
                            QStringLiteral("ms CPU per s"), target ? QStringLiteral("≤ 2") : QString(),
                            target ? Report::verdictOf(o.cpuMsPerSecond <= 2.0) : Report::Verdict::Info};
    }
    const double wakeup = bareWakeupMicros();
    print();
    print(QStringLiteral("One wake-up of a thread that only sleeps costs this process %1 µs of CPU on this machine.")
              .arg(Report::number(wakeup, 1)));
    rows << Report::Row{QStringLiteral("CPU of one bare thread wake-up (machine floor)"), Report::number(wakeup, 1),
                        QStringLiteral("µs"), QString(), Report::Verdict::Info};
    return rows;
}

} // namespace PollCpuBench

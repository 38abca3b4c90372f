#include "lanintakebench.h"

#include "app/mainwindow.h"
#include "benchsupport.h"
#include "lan/threadcom.h"
#include "readnotices.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace LanIntakeBench {

namespace {
const QByteArray Status = QByteArrayLiteral("2.3.1.0.4.5.1.0.0.0.FF");

// Sends status datagrams from the box's address on its own thread, as fast as the panel
// reads them (as its LAN worker counts them), for a bounded time and count.
class Flood
{
public:
    Flood(quint16 panelPort, const Options &floodOptions, const ThreadCOM &worker)
        : options(floodOptions)
        , reader(worker)
        , readBefore(read())
    {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_port = 0;
        inet_pton(AF_INET, BenchSupport::boxAddress().toLatin1().constData(), &from.sin_addr);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(panelPort);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) == 0
            && ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0;
    }
    ~Flood()
    {
        if (thread.joinable())
            thread.join();
        if (fd >= 0)
            ::close(fd);
    }

    bool isOpen() const { return ok; }

    void start()
    {
        thread = std::thread([this] { send(); });
    }

    bool finished() const { return done.load(); }
    long long sentCount() const { return sent.load(); }
    long long readAtStop() const { return readWhenStopped.load(); }
    double seconds() const { return double(elapsedNs.load()) / 1e9; }
    long long sendErrors() const { return errors.load(); }
    // Datagrams the panel has read since this sender was made.
    long long readSince() const { return read() - readBefore; }

private:
    long long read() const { return static_cast<long long>(reader.datagramsRead()); }

    void send()
    {
        const qint64 start = BenchSupport::monotonicNs();
        const qint64 limit = qint64(options.seconds) * 1000000000;
        long long n = 0;
        for (;;) {
            const qint64 now = BenchSupport::monotonicNs() - start;
            if (now >= limit || n >= options.maxDatagrams)
                break;
            if (n - readSince() >= options.window) {
                // The panel is behind: wait for it rather than overrun its socket buffer.
                std::this_thread::sleep_for(std::chrono::microseconds(20));
                continue;
            }
            if (::send(fd, Status.constData(), size_t(Status.size()), 0) == Status.size()) {
                ++n;
                sent.store(n);
            } else {
                errors.fetch_add(1);
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        }
        elapsedNs.store(BenchSupport::monotonicNs() - start);
        readWhenStopped.store(readSince());
        done.store(true);
    }

    Options options;
    const ThreadCOM &reader;
    long long readBefore;
    int fd = -1;
    bool ok = false;
    std::thread thread;
    std::atomic<long long> sent{0};
    std::atomic<long long> readWhenStopped{0};
    std::atomic<long long> errors{0};
    std::atomic<qint64> elapsedNs{0};
    std::atomic<bool> done{false};
};

struct Outcome
{
    bool ok = false;
    long long sent = 0;
    long long readAtStop = 0;
    long long readTotal = 0;
    long long sendErrors = 0;
    double seconds = 0;
    double perSecond = 0;
    double maxGapMs = 0;
    double p99GapMs = 0;
    int timerTicks = 0;
    double guiCpuUsPerDatagram = 0;
    bool stateApplied = false;
};

Outcome flood(const Options &options, ReadNotices::Mode mode)
{
    Outcome out;
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    if (!dir.isValid() || !BenchSupport::writeSettings(ini, false, QStringLiteral("4001")))
        return out;
    auto window = std::make_unique<MainWindow>(ini, QList<SerialPortDescription>{});
    window->show();
    if (!BenchSupport::waitForFirstFrame(window.get(), 5000))
        return out;
    const quint16 port = window->lanLink()->localPort();
    if (port == 0 || window->boxHostAddress() != BenchSupport::boxAddress())
        return out;

    ReadNotices::setMode(mode);
    Flood sender(port, options, *window->lanLink());
    if (!sender.isOpen())
        return out;

    // A 1 ms timer on the GUI thread: the longest gap between its ticks is the longest
    // time the event loop was held up.
    QVector<double> gaps;
    gaps.reserve(options.seconds * 1200 + 100);
    qint64 lastTick = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        const qint64 now = BenchSupport::monotonicNs();
        if (lastTick != 0)
            gaps << double(now - lastTick) / 1e6;
        lastTick = now;
    });

    QEventLoop loop;
    QTimer check;
    check.setInterval(10);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (sender.finished())
            loop.quit();
    });
    QTimer::singleShot((options.seconds + 30) * 1000, &loop, &QEventLoop::quit); // never hangs

    ticker.start();
    check.start();
    const qint64 cpuBefore = BenchSupport::threadCpuNs();
    sender.start();
    loop.exec();
    const qint64 cpuAtStop = BenchSupport::threadCpuNs();
    ticker.stop();
    // What is still in flight arrives now; nothing may be missing at the end.
    BenchSupport::waitUntil([&] { return sender.readSince() >= sender.sentCount(); }, 3000);
    ReadNotices::setMode(ReadNotices::Mode::Discard);

    out.ok = sender.finished();
    out.sent = sender.sentCount();
    out.readAtStop = sender.readAtStop();
    out.readTotal = sender.readSince();
    out.sendErrors = sender.sendErrors();
    out.seconds = sender.seconds();
    out.perSecond = out.seconds > 0 ? double(out.readAtStop) / out.seconds : 0;
    const Report::Summary gapSummary = Report::summarize(gaps);
    out.maxGapMs = gapSummary.max;
    out.p99GapMs = gapSummary.p99;
    out.timerTicks = gaps.size();
    out.guiCpuUsPerDatagram = out.readAtStop > 0 ? double(cpuAtStop - cpuBefore) / 1000.0 / double(out.readAtStop) : 0;
    out.stateApplied = window->deviceState().antenna[1] == 2 && window->deviceState().antenna[2] == 3;
    return out;
}

// Points standard error at /dev/null for as long as it lives.
class StderrToNull
{
public:
    StderrToNull()
    {
        std::fflush(stderr);
        saved = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    }
    ~StderrToNull()
    {
        std::fflush(stderr);
        if (saved >= 0) {
            ::dup2(saved, STDERR_FILENO);
            ::close(saved);
        }
    }

private:
    int saved = -1;
};
} // namespace

QList<Report::Row> run(const Options &options)
{
    using Report::print;
    print(QStringLiteral("## LAN intake over loopback"));
    print(
        QStringLiteral("Sender on %1 (its own thread), at most %2 datagrams ahead of the panel, %3 s or %4 datagrams; "
                       "a 1 ms timer on the GUI thread measures the event loop's gaps.")
            .arg(BenchSupport::boxAddress())
            .arg(options.window)
            .arg(options.seconds)
            .arg(options.maxDatagrams));
    print();
    print(QStringLiteral("| Debug line handling | read/s | sent | read | lost | longest loop gap ms | p99 gap ms "
                         "| 1 ms ticks | GUI CPU µs/datagram |"));
    print(QStringLiteral("|---|---:|---:|---:|---:|---:|---:|---:|---:|"));

    QList<Report::Row> rows;
    struct Variant
    {
        QString name;
        ReadNotices::Mode mode;
    };
    const Variant variants[] = {
        {QStringLiteral("discarded"), ReadNotices::Mode::Discard},
        {QStringLiteral("default handler, stderr to /dev/null"), ReadNotices::Mode::Forward},
    };
    for (const Variant &v : variants) {
        Outcome o;
        if (v.mode == ReadNotices::Mode::Forward) {
            StderrToNull quiet;
            o = flood(options, v.mode);
        } else {
            o = flood(options, v.mode);
        }
        if (!o.ok) {
            print(QStringLiteral("| %1 | failed to run | | | | | | | |").arg(v.name));
            continue;
        }
        print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 |")
                  .arg(v.name, Report::number(o.perSecond, 0))
                  .arg(o.sent)
                  .arg(o.readTotal)
                  .arg(o.sent - o.readTotal)
                  .arg(Report::number(o.maxGapMs), Report::number(o.p99GapMs))
                  .arg(o.timerTicks)
                  .arg(Report::number(o.guiCpuUsPerDatagram, 1)));
        if (o.sendErrors > 0 || !o.stateApplied)
            print(QStringLiteral("(%1 send errors; last status %2)")
                      .arg(o.sendErrors)
                      .arg(o.stateApplied ? QStringLiteral("applied") : QStringLiteral("NOT applied")));
        const bool rateMet = o.perSecond >= 20000;
        const bool gapMet = o.maxGapMs <= 50;
        rows << Report::Row{QStringLiteral("LAN intake, debug line %1").arg(v.name), Report::number(o.perSecond, 0),
                            QStringLiteral("datagrams/s"), QStringLiteral("≥ 20,000"), Report::verdictOf(rateMet)};
        rows << Report::Row{QStringLiteral("LAN intake, longest event-loop gap, debug line %1").arg(v.name),
                            Report::number(o.maxGapMs), QStringLiteral("ms"), QStringLiteral("≤ 50"),
                            Report::verdictOf(gapMet)};
    }
    return rows;
}

} // namespace LanIntakeBench

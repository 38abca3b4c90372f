#include "benchsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <time.h>

namespace BenchSupport {

namespace {
qint64 clockNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Notes the first paint a widget receives.
class PaintSeen : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};
} // namespace

qint64 monotonicNs() { return clockNs(CLOCK_MONOTONIC); }

qint64 processCpuNs() { return clockNs(CLOCK_PROCESS_CPUTIME_ID); }

qint64 threadCpuNs() { return clockNs(CLOCK_THREAD_CPUTIME_ID); }

qint64 statusKiB(const char *key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(prefix)) {
            const QList<QByteArray> fields = line.mid(prefix.size()).simplified().split(' ');
            return fields.isEmpty() ? -1 : fields.first().toLongLong();
        }
    }
    return -1;
}

bool writeSettings(const QString &path, bool serialMode, const QString &port)
{
    QSettings settings(path, QSettings::IniFormat);
    const char *const names[] = {"Dipole 40", "Yagi 20", "Vertical", "Loop 80", "Beam 15", "Dummy"};
    for (int n = 1; n <= 6; ++n)
        settings.setValue(QStringLiteral("K%1_1").arg(n), QLatin1String(names[n - 1]));
    settings.setValue(QStringLiteral("ID"), QStringLiteral("BENCH STATION"));
    settings.setValue(QStringLiteral("IP"), boxAddress());
    settings.setValue(QStringLiteral("PORT"), port);
    settings.setValue(QStringLiteral("IPdir"), false);
    settings.setValue(QStringLiteral("serialMode"), serialMode ? 2 : 1);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    // A real event loop with a polling timer: waiting never spins a core.
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= timeoutMs)
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitForFirstFrame(QWidget *window, int timeoutMs)
{
    PaintSeen seen;
    window->installEventFilter(&seen);
    const bool ok = waitUntil(
        [&] { return seen.painted && window->windowHandle() && window->windowHandle()->isExposed(); }, timeoutMs);
    window->removeEventFilter(&seen);
    return ok;
}

} // namespace BenchSupport

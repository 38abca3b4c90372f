#include "startupbench.h"

#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "benchsupport.h"
#include "engine/threadleitura.h"
#include "localresolver.h"

#include <QApplication>
#include <QEventLoop>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

namespace StartupBench {

namespace {
constexpr int LingerMs = 300; // after the first frame, so the peak includes the running panel

// Quits the event loop once the window's first paint pass is over.
class FirstFrame : public QObject
{
public:
    explicit FirstFrame(QWidget *shown)
        : window(shown)
    {
        window->installEventFilter(this);
    }
    qint64 paintedAt = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == window && event->type() == QEvent::Paint && !armed) {
            armed = true;
            // The children paint in the same pass; a zero timer fires once the pass is done.
            QTimer::singleShot(0, this, [this] { paintedAt = BenchSupport::monotonicNs(); });
        }
        return false;
    }

private:
    QWidget *window;
    bool armed = false;
};

// When each step of a start-up was done, on the monotonic clock.
struct Marks
{
    qint64 mainEntry = 0;
    qint64 appReady = 0; // QApplication built, command line read
    qint64 portsListed = 0; // the panel only: serial ports enumerated
    qint64 windowBuilt = 0;
};

int showAndReport(QWidget *window, const Marks &marks, const QString &kind, const std::function<void()> &afterShow = {})
{
    FirstFrame frame(window);
    window->show();
    if (afterShow)
        afterShow();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    qint64 quitAt = 0;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (frame.paintedAt != 0 && quitAt == 0)
            quitAt = frame.paintedAt + qint64(LingerMs) * 1000000;
        if (quitAt != 0 && BenchSupport::monotonicNs() >= quitAt)
            loop.quit();
    });
    poll.start();
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    if (frame.paintedAt == 0) {
        Report::print(QStringLiteral("CHILD %1 failed: no frame painted").arg(kind));
        return 1;
    }
    Report::print(QStringLiteral("CHILD %1 main_ns=%2 app_ns=%3 ports_ns=%4 built_ns=%5 painted_ns=%6 hwm_kib=%7 "
                                 "rss_kib=%8 reverse_lookups=%9")
                      .arg(kind)
                      .arg(marks.mainEntry)
                      .arg(marks.appReady)
                      .arg(marks.portsListed ? marks.portsListed : marks.appReady)
                      .arg(marks.windowBuilt)
                      .arg(frame.paintedAt)
                      .arg(BenchSupport::statusKiB("VmHWM"))
                      .arg(BenchSupport::statusKiB("VmRSS"))
                      .arg(LocalResolver::reverseLookups()));
    return 0;
}

struct Sample
{
    double spawnToPaintMs = 0;
    double mainToPaintMs = 0;
    double spawnToMainMs = 0;
    double appMs = 0; // main() entry to QApplication ready
    double portsMs = 0; // serial port list
    double buildMs = 0; // window constructed
    double showMs = 0; // show() to the first frame
    double hwmMiB = 0;
    int reverseLookups = 0;
};

bool runChild(const Options &options, const QString &kind, const QString &ini, Sample &sample, QString &error)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 spawned = BenchSupport::monotonicNs();
    process.start(options.program, {QStringLiteral("--child"), kind, QStringLiteral("--settings"), ini});
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(3000);
        error = QStringLiteral("child %1 did not finish").arg(kind);
        return false;
    }
    const QStringList lines = QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (!line.startsWith(QLatin1String("CHILD ")) || line.contains(QLatin1String("failed")))
            continue;
        QMap<QString, qint64> values;
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &field : fields) {
            const int eq = field.indexOf(QLatin1Char('='));
            if (eq > 0)
                values.insert(field.left(eq), field.mid(eq + 1).toLongLong());
        }
        const auto at = [&](const char *key) { return values.value(QLatin1String(key)); };
        sample.spawnToMainMs = double(at("main_ns") - spawned) / 1e6;
        sample.appMs = double(at("app_ns") - at("main_ns")) / 1e6;
        sample.portsMs = double(at("ports_ns") - at("app_ns")) / 1e6;
        sample.buildMs = double(at("built_ns") - at("ports_ns")) / 1e6;
        sample.showMs = double(at("painted_ns") - at("built_ns")) / 1e6;
        sample.spawnToPaintMs = double(values.value(QStringLiteral("painted_ns")) - spawned) / 1e6;
        sample.mainToPaintMs =
            double(values.value(QStringLiteral("painted_ns")) - values.value(QStringLiteral("main_ns"))) / 1e6;
        sample.hwmMiB = double(values.value(QStringLiteral("hwm_kib"))) / 1024.0;
        sample.reverseLookups = int(values.value(QStringLiteral("reverse_lookups")));
        return process.exitCode() == 0;
    }
    error = QStringLiteral("child %1 printed no figures").arg(kind);
    return false;
}
} // namespace

int child(const QString &kind, const QString &settingsFile, qint64 mainEntryNs)
{
    Marks marks;
    marks.mainEntry = mainEntryNs;
    marks.appReady = BenchSupport::monotonicNs();
    if (kind == QLatin1String("panel")) {
        // As the program's main() does it, on the settings file given: the system's serial
        // ports are listed when the serial settings are first needed, not here.
        marks.portsListed = BenchSupport::monotonicNs();
        MainWindow window(MainWindow::Options{settingsFile, &availableSerialPorts});
        marks.windowBuilt = BenchSupport::monotonicNs();
        std::unique_ptr<ThreadLeitura> polling;
        return showAndReport(&window, marks, kind, [&] {
            qRegisterMetaType<MainWindow *>("MainWindow*");
            polling = std::make_unique<ThreadLeitura>(&window);
        });
    }
    if (kind == QLatin1String("bare")) {
        // The panel's form (same widgets, geometries, style sheet and logo) with no logic.
        QMainWindow window;
        Ui::mainWindow form;
        form.setupUi(&window);
        marks.windowBuilt = BenchSupport::monotonicNs();
        return showAndReport(&window, marks, kind);
    }
    Report::print(QStringLiteral("CHILD %1 failed: unknown kind").arg(kind));
    return 2;
}

QList<Report::Row> run(const Options &options)
{
    using Report::print;
    print(QStringLiteral("## Start-up to the first painted window, and peak resident memory"));
    print(QStringLiteral("%1 fresh processes of each kind, alternating; the panel on an IP-literal host; "
                         "VmHWM read %2 ms after the first frame.")
              .arg(options.runs)
              .arg(LingerMs));
    QList<Report::Row> rows;
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    if (!dir.isValid() || !BenchSupport::writeSettings(ini, false, QStringLiteral("4001"))) {
        print(QStringLiteral("cannot write the settings file"));
        return rows;
    }
    QVector<double> spawn[2], fromMain[2], hwm[2];
    QVector<double> phase[2][5];
    int lookups[2] = {0, 0};
    const QString kinds[2] = {QStringLiteral("panel"), QStringLiteral("bare")};
    // One untimed run of each first: the executable and Qt's libraries come into the page cache.
    for (const QString &kind : kinds) {
        Sample ignored;
        QString error;
        if (!runChild(options, kind, ini, ignored, error)) {
            print(error);
            return rows;
        }
    }
    for (int i = 0; i < options.runs; ++i) {
        for (int k = 0; k < 2; ++k) {
            const int which = (i % 2 == 0) ? k : 1 - k;
            Sample sample;
            QString error;
            if (!runChild(options, kinds[which], ini, sample, error)) {
                print(error);
                return rows;
            }
            spawn[which] << sample.spawnToPaintMs;
            fromMain[which] << sample.mainToPaintMs;
            hwm[which] << sample.hwmMiB;
            phase[which][0] << sample.spawnToMainMs;
            phase[which][1] << sample.appMs;
            phase[which][2] << sample.portsMs;
            phase[which][3] << sample.buildMs;
            phase[which][4] << sample.showMs;
            lookups[which] = sample.reverseLookups;
        }
    }
    Report::Summary s[2][3];
    for (int k = 0; k < 2; ++k) {
        s[k][0] = Report::summarize(spawn[k]);
        s[k][1] = Report::summarize(fromMain[k]);
        s[k][2] = Report::summarize(hwm[k]);
    }
    print();
    print(QStringLiteral("| Window | spawn → first frame ms (median, min–max) | main() → first frame ms (median) "
                         "| VmHWM MiB (median, min–max) |"));
    print(QStringLiteral("|---|---:|---:|---:|"));
    for (int k = 0; k < 2; ++k) {
        print(QStringLiteral("| %1 | %2 (%3–%4) | %5 | %6 (%7–%8) |")
                  .arg(kinds[k], Report::number(s[k][0].median), Report::number(s[k][0].min),
                       Report::number(s[k][0].max), Report::number(s[k][1].median), Report::number(s[k][2].median),
                       Report::number(s[k][2].min), Report::number(s[k][2].max)));
    }
    print();
    print(QStringLiteral("Where the time goes (medians, ms):"));
    print();
    print(QStringLiteral("| Window | spawn → main() | QApplication | serial port list | window constructed "
                         "| show() → first frame |"));
    print(QStringLiteral("|---|---:|---:|---:|---:|---:|"));
    for (int k = 0; k < 2; ++k) {
        QStringList cells;
        for (const QVector<double> &p : phase[k])
            cells << Report::number(Report::summarize(p).median, 1);
        print(QStringLiteral("| %1 | %2 |").arg(kinds[k], cells.join(QStringLiteral(" | "))));
    }
    print(
        QStringLiteral("Reverse look-ups of the box's address per start (answered numerically here): panel %1, bare %2")
            .arg(lookups[0])
            .arg(lookups[1]));
    const double timeRatio = s[0][0].median / s[1][0].median;
    const double mainRatio = s[0][1].median / s[1][1].median;
    const double memoryRatio = s[0][2].median / s[1][2].median;
    print(QStringLiteral("panel ÷ bare: %1 (spawn → frame), %2 (main() → frame), %3 (VmHWM); "
                         "fastest runs only: %4 (spawn → frame), %5 (main() → frame)")
              .arg(Report::number(timeRatio, 2), Report::number(mainRatio, 2), Report::number(memoryRatio, 2),
                   Report::number(s[0][0].min / s[1][0].min, 2), Report::number(s[0][1].min / s[1][1].min, 2)));

    rows << Report::Row{QStringLiteral("Start-up, spawn → first frame, panel / bare"),
                        QStringLiteral("%1 / %2").arg(Report::number(s[0][0].median), Report::number(s[1][0].median)),
                        QStringLiteral("ms, median"), QString(), Report::Verdict::Info};
    rows << Report::Row{QStringLiteral("Start-up, spawn → first frame, panel ÷ bare"), Report::number(timeRatio, 2),
                        QStringLiteral("×"), QStringLiteral("≤ 1.25"), Report::verdictOf(timeRatio <= 1.25)};
    rows << Report::Row{QStringLiteral("Start-up, main() → first frame, panel / bare"),
                        QStringLiteral("%1 / %2").arg(Report::number(s[0][1].median), Report::number(s[1][1].median)),
                        QStringLiteral("ms, median"), QString(), Report::Verdict::Info};
    rows << Report::Row{QStringLiteral("Start-up, main() → first frame, panel ÷ bare"), Report::number(mainRatio, 2),
                        QStringLiteral("×"), QStringLiteral("≤ 1.25"), Report::verdictOf(mainRatio <= 1.25)};
    rows << Report::Row{QStringLiteral("Peak RSS (VmHWM), panel / bare"),
                        QStringLiteral("%1 / %2").arg(Report::number(s[0][2].median), Report::number(s[1][2].median)),
                        QStringLiteral("MiB, median"), QString(), Report::Verdict::Info};
    rows << Report::Row{QStringLiteral("Peak RSS, panel ÷ bare"), Report::number(memoryRatio, 2), QStringLiteral("×"),
                        QStringLiteral("≤ 1.25"), Report::verdictOf(memoryRatio <= 1.25)};
    return rows;
}

} // namespace StartupBench

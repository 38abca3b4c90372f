#include "renderbench.h"

#include "app/mainwindow.h"
#include "app/panellook.h"
#include "benchsupport.h"

#include <QApplication>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>

#include <memory>

using PanelLook::Look;

namespace RenderBench {

namespace {
// Channel 1 in split and transmitting, channel 2 on antenna 4; the moving reply takes
// channel 2 to antenna 5 and back, so two buttons change look on every reply.
const QString Steady = QStringLiteral("2.3.1.0.4.5.1.0.0.0.FF");
const QString Moved = QStringLiteral("2.4.1.0.4.5.1.0.0.0.FF");

enum class Apply { Panel, Naive };
enum class Repaint {
    EventLoop, // what the event loop paints after the reply: the dirty regions
    Window, // QWidget::repaint() of the whole window after every reply
};

struct Case
{
    QString name;
    bool moving;
    Apply apply;
    QVector<double> micros;
    double paintsPerReply = 0;
};

// Counts the paint events of the window and its children.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

class Bench
{
public:
    explicit Bench(MainWindow *panel)
        : window(panel)
    {
        for (int c = 1; c <= 2; ++c) {
            for (int a = 1; a <= 6; ++a)
                buttons[c][a - 1] = button(QStringLiteral("botaoTecla%1C%2").arg(a).arg(c));
            buttons[c][6] = button(QStringLiteral("botaoSplitC%1").arg(c));
            buttons[c][7] = button(QStringLiteral("botaoSendC%1").arg(c));
        }
        statusBar = window->statusBar();
    }

    bool valid() const
    {
        for (int c = 1; c <= 2; ++c) {
            for (QPushButton *b : buttons[c]) {
                if (!b)
                    return false;
            }
        }
        return statusBar != nullptr;
    }

    // One reply, timed in microseconds from the slot call to the end of its repaint.
    double reply(const Case &c, Repaint repaint)
    {
        // A moving reply always differs from the state shown.
        const QString &text = c.moving && window->deviceState().antenna[2] == 3 ? Moved : Steady;
        // Every real reply shows a new "Ping:" figure; within one millisecond the figure
        // would repeat and the status bar skip its repaint, so start from an empty one.
        statusBar->clearMessage();
        QCoreApplication::sendPostedEvents();

        const qint64 start = BenchSupport::monotonicNs();
        window->processaPDRLan(window, text);
        if (c.apply == Apply::Naive)
            restyleAll();
        if (repaint == Repaint::Window)
            window->repaint();
        QCoreApplication::sendPostedEvents();
        return double(BenchSupport::monotonicNs() - start) / 1000.0;
    }

    // Back to the steady state, untimed, so every block starts alike.
    void prime()
    {
        window->processaPDRLan(window, Steady);
        QCoreApplication::sendPostedEvents();
    }

private:
    QPushButton *button(const QString &name) { return window->findChild<QPushButton *>(name); }

    // The way without the change check: every one of the 16 buttons gets its sheet again.
    void restyleAll()
    {
        const PanelLook::Looks looks = PanelLook::forState(window->deviceState());
        for (int c = 1; c <= 2; ++c) {
            for (int a = 0; a < 6; ++a)
                buttons[c][a]->setStyleSheet(PanelLook::styleSheet(looks.antenna[c][a]));
            if (looks.split[c] != Look::Keep)
                buttons[c][6]->setStyleSheet(PanelLook::styleSheet(looks.split[c]));
            buttons[c][7]->setStyleSheet(PanelLook::styleSheet(looks.send[c]));
        }
    }

    MainWindow *window;
    QPushButton *buttons[3][8] = {};
    QStatusBar *statusBar = nullptr;
};

} // namespace

QList<Report::Row> run(const Options &options)
{
    using Report::print;
    print(QStringLiteral("## Status reply on the shown panel"));
    QList<Report::Row> rows;

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    if (!dir.isValid() || !BenchSupport::writeSettings(ini, false, QStringLiteral("4001"))) {
        print(QStringLiteral("cannot write the settings file"));
        return rows;
    }
    auto window = std::make_unique<MainWindow>(ini, QList<SerialPortDescription>{});
    window->show();
    if (!BenchSupport::waitForFirstFrame(window.get(), 5000)) {
        print(QStringLiteral("the window was never exposed"));
        return rows;
    }
    BenchSupport::runEventLoop(200);
    Bench bench(window.get());
    if (!bench.valid()) {
        print(QStringLiteral("panel buttons not found"));
        return rows;
    }

    for (Repaint repaint : {Repaint::EventLoop, Repaint::Window}) {
        QVector<Case> cases = {
            {QStringLiteral("unchanged reply, panel"), false, Apply::Panel, {}, 0},
            {QStringLiteral("unchanged reply, naive (16 x setStyleSheet)"), false, Apply::Naive, {}, 0},
            {QStringLiteral("antenna moves, panel"), true, Apply::Panel, {}, 0},
            {QStringLiteral("antenna moves, naive (16 x setStyleSheet)"), true, Apply::Naive, {}, 0},
        };
        // How much each reply paints, counted apart from the timed runs.
        for (Case &c : cases) {
            PaintCounter counter;
            bench.prime();
            qApp->installEventFilter(&counter);
            constexpr int Counted = 20;
            for (int i = 0; i < Counted; ++i)
                bench.reply(c, repaint);
            qApp->removeEventFilter(&counter);
            c.paintsPerReply = double(counter.paints) / Counted;
        }
        // Interleaved blocks, so a busy moment of the shared machine hits every case alike.
        constexpr int Block = 25;
        const int warmup = qMin(100, options.iterations / 5 + 1);
        for (Case &c : cases) {
            bench.prime();
            for (int i = 0; i < warmup; ++i)
                bench.reply(c, repaint);
        }
        for (int done = 0; done < options.iterations; done += Block) {
            for (Case &c : cases) {
                bench.prime();
                for (int i = 0; i < Block && done + i < options.iterations; ++i)
                    c.micros << bench.reply(c, repaint);
            }
            QCoreApplication::processEvents();
        }

        print();
        print(QStringLiteral("%1:").arg(repaint == Repaint::EventLoop
                                            ? QStringLiteral("Repaint as the event loop does it (dirty regions only)")
                                            : QStringLiteral("Forced QWidget::repaint() of the whole window")));
        print(QStringLiteral("| Case | median µs | p95 µs | min µs | widgets painted per reply |"));
        print(QStringLiteral("|---|---:|---:|---:|---:|"));
        QVector<Report::Summary> summaries;
        for (const Case &c : cases) {
            const Report::Summary s = Report::summarize(c.micros);
            summaries << s;
            print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 |")
                      .arg(c.name, Report::number(s.median), Report::number(s.p95), Report::number(s.min),
                           Report::number(c.paintsPerReply)));
        }
        const double ratio = summaries[0].median / summaries[1].median;
        const double ratio95 = summaries[0].p95 / summaries[1].p95;
        print(QStringLiteral("unchanged / naive: %1 (median), %2 (p95); %3 iterations per case")
                  .arg(Report::number(ratio, 3), Report::number(ratio95, 3))
                  .arg(options.iterations));

        const QString suffix = repaint == Repaint::Window ? QStringLiteral(", full window repaint") : QString();
        for (int i = 0; i < cases.size(); ++i) {
            rows << Report::Row{
                QStringLiteral("Reply: %1%2").arg(cases[i].name, suffix),
                QStringLiteral("%1 / %2").arg(Report::number(summaries[i].median), Report::number(summaries[i].p95)),
                QStringLiteral("µs median / p95"), QString(), Report::Verdict::Info};
        }
        Report::Row target{QStringLiteral("Reply: unchanged ÷ naive%1").arg(suffix),
                           QStringLiteral("1/%1").arg(Report::number(1.0 / ratio)), QStringLiteral("ratio of medians"),
                           QStringLiteral("≤ 1/20"), Report::verdictOf(ratio <= 0.05)};
        // The target is set for the panel as it runs; the forced full repaint is shown for scale.
        if (repaint == Repaint::Window)
            target.verdict = Report::Verdict::Info;
        rows << target;
    }
    window.reset();
    return rows;
}

} // namespace RenderBench

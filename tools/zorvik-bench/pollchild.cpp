#include "pollchild.h"

#include "app/mainwindow.h"
#include "benchsupport.h"
#include "childconsole.h"
#include "engine/threadleitura.h"
#include "floorticker.h"
#include "floorwindow.h"
#include "lan/threadcom.h"
#include "report.h"

#include <QAction>
#include <QEvent>
#include <QStatusBar>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define ZORVIK_BENCH_CALLGRIND 1
#endif

namespace PollChild {

namespace {
constexpr int ReplyWaitMs = 10000;
constexpr int SettleMs = 1000;
// How long after its window a child waits for "quit" before it stops by itself.
constexpr int GraceMs = 60000;

// Under valgrind everything runs many times slower, the first reply included.
int slowedMs(int ms)
{
#ifdef ZORVIK_BENCH_CALLGRIND
    if (RUNNING_ON_VALGRIND)
        return ms * 10;
#endif
    return ms;
}

// "instr on" and "instr dump": callgrind counts from the first to the second, on every
// thread; outside callgrind both only answer, with "INSTR none".
void addInstructionCommands(ChildConsole &console)
{
#ifdef ZORVIK_BENCH_CALLGRIND
    if (RUNNING_ON_VALGRIND) {
        console.addCommand("instr on", [] {
            CALLGRIND_START_INSTRUMENTATION;
            CALLGRIND_ZERO_STATS;
            Report::print(QStringLiteral("INSTR on"));
        });
        console.addCommand("instr dump", [] {
            CALLGRIND_DUMP_STATS_AT("polling cycles");
            CALLGRIND_STOP_INSTRUMENTATION;
            Report::print(QStringLiteral("INSTR dumped"));
        });
        return;
    }
#endif
    for (const char *command : {"instr on", "instr dump"})
        console.addCommand(command, [] { Report::print(QStringLiteral("INSTR none")); });
}

int fail(const QString &why)
{
    Report::print(QStringLiteral("CHILD failed: %1").arg(why));
    return 1;
}

// The messages a status bar shows (each new one asks for a repaint of its message area) and
// the paint events it is sent, whoever asked for them. Installed last, it sees each paint
// before any filter of the program's own. Owned by the bar, which may still show messages
// while the window is taken down.
class StatusBarCounter : public QObject
{
public:
    explicit StatusBarCounter(QStatusBar *bar)
        : QObject(bar)
    {
        connect(bar, &QStatusBar::messageChanged, this, [this] { ++messageCount; });
        bar->installEventFilter(this);
    }
    long long messages() const { return messageCount; }
    long long paints() const { return paintCount; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paintCount;
        return false;
    }

private:
    long long messageCount = 0;
    long long paintCount = 0;
};

int measured(const Arguments &a, QStatusBar *bar, const std::function<ChildConsole::Counts()> &counts)
{
    const auto *barCounts = new StatusBarCounter(bar);
    BenchSupport::runEventLoop(SettleMs); // past the first replies and paints
    ChildConsole console([&] {
        ChildConsole::Counts c = counts();
        c.messages = barCounts->messages();
        c.paints = barCounts->paints();
        return c;
    });
    addInstructionCommands(console);
    Report::print(QStringLiteral("READY"));
    return console.exec(slowedMs(a.seconds * 1000 + GraceMs));
}

int runPanel(const Arguments &a, bool serial)
{
    QList<SerialPortDescription> ports;
    if (serial) {
        SerialPortDescription pty;
        pty.portName = a.endpoint;
        ports << pty;
    }
    // As the program's main() starts it, on the bench's settings and port list.
    MainWindow window(a.settingsFile, ports);
    window.show();
    qRegisterMetaType<MainWindow *>("MainWindow*");
    ThreadLeitura polling(&window);

    auto *connectAction = window.findChild<QAction *>(QStringLiteral("actionConnect_to_Brisel"));
    if (!connectAction)
        return fail(QStringLiteral("no Connect action"));
    connectAction->trigger();
    const QString expected = serial ? QStringLiteral("Connected! Firmware") : QStringLiteral("Ping: ");
    // On the serial line a slow start (valgrind) can find the firmware reply and the first
    // status reply waiting together, and only the newer is read: a status reply applied
    // counts too (the simulator starts with channel 1 on no antenna, the window with 0).
    const auto replied = [&] {
        return window.statusBar()->currentMessage().startsWith(expected)
            || (serial && window.deviceState().antenna[1] == AntennaPosition::None);
    };
    if (!BenchSupport::waitUntil(replied, slowedMs(ReplyWaitMs)))
        return fail(
            QStringLiteral("no reply from the simulator (status \"%1\")").arg(window.statusBar()->currentMessage()));
    // The datagrams the LAN worker read are the panel's replies. On the serial link the
    // simulator counts the requests instead.
    const ThreadCOM *lanWorker = window.lanLink();
    return measured(a, window.statusBar(), [serial, lanWorker] {
        ChildConsole::Counts c;
        if (!serial)
            c.replies = static_cast<long long>(lanWorker->datagramsRead());
        return c;
    });
}

int runFloor(const Arguments &a, bool serial)
{
    FloorWindow window(serial ? FloorWindow::Link::Serial : FloorWindow::Link::Lan, a.endpoint);
    window.show();
    if (!window.openLink())
        return fail(window.errorText());
    FloorTicker ticker;
    QObject::connect(&ticker, &FloorTicker::ticked, &window, &FloorWindow::tick, Qt::QueuedConnection);
    ticker.start();
    if (!BenchSupport::waitUntil([&] { return window.repliesRead() > 0; }, slowedMs(ReplyWaitMs)))
        return fail(QStringLiteral("no reply from the simulator"));
    return measured(a, window.statusBar(), [&window] {
        ChildConsole::Counts c;
        c.requests = window.requestsSent();
        c.replies = window.repliesRead();
        return c;
    });
}
} // namespace

bool isPollKind(const QString &kind)
{
    return kind == QLatin1String("poll-panel") || kind == QLatin1String("poll-floor");
}

int run(const Arguments &a)
{
    const bool serial = a.link == QLatin1String("serial");
    if (!serial && a.link != QLatin1String("lan"))
        return fail(QStringLiteral("the link is \"serial\" or \"lan\", not \"%1\"").arg(a.link));
    if (a.endpoint.isEmpty())
        return fail(QStringLiteral("no --endpoint"));
    if (a.seconds <= 0)
        return fail(QStringLiteral("no --cpu-seconds"));
    return a.kind == QLatin1String("poll-panel") ? runPanel(a, serial) : runFloor(a, serial);
}

} // namespace PollChild

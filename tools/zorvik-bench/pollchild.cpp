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
#include <QStatusBar>

namespace PollChild {

namespace {
constexpr int ReplyWaitMs = 10000;
constexpr int SettleMs = 1000;
// How long after its window a child waits for "quit" before it stops by itself.
constexpr int GraceMs = 60000;

int fail(const QString &why)
{
    Report::print(QStringLiteral("CHILD failed: %1").arg(why));
    return 1;
}

int measured(const Arguments &a, const std::function<ChildConsole::Counts()> &counts)
{
    BenchSupport::runEventLoop(SettleMs); // past the first replies and paints
    ChildConsole console(counts);
    Report::print(QStringLiteral("READY"));
    return console.exec(a.seconds * 1000 + GraceMs);
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
    if (!BenchSupport::waitUntil([&] { return window.statusBar()->currentMessage().startsWith(expected); },
                                 ReplyWaitMs))
        return fail(
            QStringLiteral("no reply from the simulator (status \"%1\")").arg(window.statusBar()->currentMessage()));
    // The datagrams the LAN worker read are the panel's replies. On the serial link the
    // simulator counts the requests instead.
    const ThreadCOM *lanWorker = window.lanLink();
    return measured(a, [serial, lanWorker] {
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
    if (!BenchSupport::waitUntil([&] { return window.repliesRead() > 0; }, ReplyWaitMs))
        return fail(QStringLiteral("no reply from the simulator"));
    return measured(a, [&window] {
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

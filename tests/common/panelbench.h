#pragma once

// One panel under test, as the suites that drive the real window build it: a settings file
// in a folder of its own, the window on it (with the serial ports and the clock the test
// gives), the polling thread main() starts, and the talmek-sim process as the box on either
// link: a pseudo-terminal, or UDP on the box's loopback address. Everything is found by the
// form's object names and read through the window's public interface.
//
// Helpers that can fail return false after a qWarning() that says why, so a test reads
// QVERIFY(bench.open(...)). Every wait is bounded and ends as soon as its condition holds.

#include "app/mainwindow.h"
#include "app/panellook.h"
#include "engine/threadleitura.h"
#include "lan/threadcom.h"
#include "loopbackaddress.h"
#include "panelprobe.h"
#include "talmeksimprocess.h"

#include <QAction>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

// How the panel reaches the box.
enum class Link { Serial, Lan };
Q_DECLARE_METATYPE(Link)

// The link as a data column: one row a link, for scenarios both links share.
inline void addLinkRows()
{
    QTest::addColumn<Link>("link");
    QTest::newRow("serial") << Link::Serial;
    QTest::newRow("LAN") << Link::Lan;
}

class PanelBench
{
public:
    PanelBench() { qRegisterMetaType<MainWindow *>("MainWindow*"); }
    // The order main() uses: the polling thread posts to the window, so it goes first; the
    // window closes its port and socket before the box goes.
    ~PanelBench()
    {
        polling.reset();
        window.reset();
        sim.reset();
    }
    PanelBench(const PanelBench &) = delete;
    PanelBench &operator=(const PanelBench &) = delete;

    bool isValid() const { return dir.isValid(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }
    QString iniPath() const { return settingsFile; }
    // Where the window's settings file is, settings.ini in the bench's folder unless set.
    void setIniPath(const QString &path) { settingsFile = path; }

    // Stores `keys` in the settings file (next to what it already holds).
    void store(const QVariantMap &keys) const
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }

    // A serial port the window lists.
    static SerialPortDescription port(const QString &name)
    {
        SerialPortDescription description;
        description.portName = name;
        return description;
    }

    // Builds the window on the settings file (build) and shows it (open).
    void build(const QList<SerialPortDescription> &ports = {}, const MonotonicClock *clock = nullptr)
    {
        window = std::make_unique<MainWindow>(
            MainWindow::Options{iniPath(), [ports] { return ports; }, clock ? clock : &steadyClock()});
    }
    bool show()
    {
        window->show();
        return check(QTest::qWaitForWindowExposed(window.get()), "the window was not shown");
    }
    bool open(const QList<SerialPortDescription> &ports = {}, const MonotonicClock *clock = nullptr)
    {
        build(ports, clock);
        return show();
    }

    // Starts the polling thread on the window, as main() does, and counts its ticks.
    void startPolling()
    {
        polling = std::make_unique<ThreadLeitura>(window.get());
        // Queued to this thread: counted when the window could have carried the tick out.
        QObject::connect(polling.get(), &ThreadLeitura::tickDue, window.get(), [this] { ++ticks; });
        // Direct: the time the thread asked, however late the window gets round to it.
        QObject::connect(
            polling.get(), &ThreadLeitura::tickDue, polling.get(),
            [this] {
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                std::lock_guard<std::mutex> lock(askedMutex);
                askedAt.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
            },
            Qt::DirectConnection);
        // The thread runs already. It takes the clock's lock before every tick, so taking it
        // here orders the connections above before its next tick in the race detector's
        // view; Qt's own lock on its connection lists is out of that view.
        window->monotonicClock().wake();
    }
    // Waits until the polling thread has ticked `count` more times.
    bool waitForTicks(int count)
    {
        const int target = ticks + count;
        return check(QTest::qWaitFor([&] { return ticks >= target; }, 80 * count + 3000), "the polling stalled");
    }
    // How many ticks the polling thread has asked for, and when (steady ms).
    std::size_t ticksAskedFor() const
    {
        std::lock_guard<std::mutex> lock(askedMutex);
        return askedAt.size();
    }
    std::vector<qint64> ticksAskedForSince(std::size_t from) const
    {
        std::lock_guard<std::mutex> lock(askedMutex);
        return {askedAt.begin() + std::min(from, askedAt.size()), askedAt.end()};
    }

    // The form, by object name.
    QPushButton *button(const QString &name) const { return child<QPushButton>(name); }
    QAction *action(const QString &name) const { return child<QAction>(name); }
    QString status() const { return window->statusBar()->currentMessage(); }
    PanelLook::Look look(const QString &buttonName) const { return PanelProbe::lookOf(button(buttonName)); }
    PanelLook::Look lamp() const { return look(QStringLiteral("botaoPower")); }
    // The antenna, SPLIT and SEND buttons that are not plain grey (PanelProbe::panelMarks).
    QString panel() const { return PanelProbe::panelMarks(window.get()); }
    static QString panelOf(QStringList marks) { return PanelProbe::sortedMarks(std::move(marks)); }

    void press(const QString &buttonName) const { QTest::mouseClick(button(buttonName), Qt::LeftButton); }
    void trigger(const QString &actionName) const { action(actionName)->trigger(); }
    void connectToBox() const { trigger(QStringLiteral("actionConnect_to_Brisel")); }
    void disconnectFromBox() const { trigger(QStringLiteral("actionDisconnect")); }
    // The link the window holds open or enabled.
    bool linkUp() const { return window->linkFlags().serialOpen || window->linkFlags().lanLinkEnabled; }

    // Waits until everything posted to this thread so far has been handled, and then what
    // that posted in turn: a call queued behind them has run, twice.
    static bool drainEvents()
    {
        for (int round = 0; round < 2; ++round) {
            bool ran = false;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [&ran] { ran = true; }, Qt::QueuedConnection);
            if (!check(QTest::qWaitFor([&ran] { return ran; }, 3000), "the event loop did not come round"))
                return false;
        }
        return true;
    }

    // Datagrams the window's LAN worker has read so far.
    quint64 datagramsRead() const { return window->lanLink()->datagramsRead(); }

    // --- The box: talmek-sim with --hex on `link` ---

    static QHostAddress boxAddress() { return LoopbackAddress::box(); }

    // Starts the simulator for `link`: on a pseudo-terminal (at `ptyLink` when given, a
    // fixed name that each new box puts its own line behind), or on UDP `port` of the box's
    // address (0: any free port).
    bool startBox(Link link, const QStringList &arguments = {}, const QString &ptyLink = {}, quint16 port = 0)
    {
        boxLink = link;
        sim = std::make_unique<TalmekSimProcess>();
        QStringList all{QStringLiteral("--hex")};
        if (link == Link::Serial) {
            all << QStringLiteral("--pty");
            if (!ptyLink.isEmpty())
                all << ptyLink;
        } else {
            all << QStringLiteral("--udp") << QString::number(port) << QStringLiteral("--udp-bind")
                << boxAddress().toString();
        }
        if (!check(sim->start(all + arguments), "talmek-sim did not start"))
            return false;
        if (link == Link::Serial) {
            boxPort = ptyLink.isEmpty() ? sim->ptyPath() : ptyLink;
            return true;
        }
        const QString line = sim->waitForLine(QStringLiteral("UDP "), 0, 5000);
        if (!check(line.startsWith(QStringLiteral("UDP ") + boxAddress().toString() + QLatin1Char(':')),
                   qPrintable(QStringLiteral("talmek-sim said \"%1\"").arg(line))))
            return false;
        boxPort = line.section(QLatin1Char(':'), 1);
        return check(boxPort.toUShort() != 0 && (port == 0 || boxPort.toUShort() == port), "no UDP port");
    }

    // The settings and port list that point a window at the box started last.
    QVariantMap linkSettings() const
    {
        if (boxLink == Link::Serial)
            return {{QStringLiteral("serialMode"), 2}};
        return {{QStringLiteral("serialMode"), 1},
                {QStringLiteral("IP"), boxAddress().toString()},
                {QStringLiteral("PORT"), boxPort}};
    }
    QList<SerialPortDescription> linkPorts() const
    {
        return boxLink == Link::Serial ? QList<SerialPortDescription>{port(boxPort)} : QList<SerialPortDescription>{};
    }
    // The serial port's name, or the box's UDP port.
    QString boxPortName() const { return boxPort; }

    // The window on the box started last, polling.
    bool openOnBox(const MonotonicClock *clock = nullptr)
    {
        store(linkSettings());
        if (!open(linkPorts(), clock))
            return false;
        startPolling();
        return true;
    }

    // Connect, then the green lamp; on the serial link also the box's firmware text (the
    // simulator's default 1.7 unless given), on the LAN the first "Ping: " figure.
    bool connectAndWait(const QString &firmware = QStringLiteral("1 . 7"))
    {
        connectToBox();
        if (!check(linkUp(), "Connect did not open the link"))
            return false;
        if (boxLink == Link::Serial) {
            const QString shown = QStringLiteral("Connected! Firmware Revision: ") + firmware;
            if (!check(QTest::qWaitFor([&] { return status() == shown; }, 3000),
                       qPrintable(QStringLiteral("status \"%1\", not \"%2\"").arg(status(), shown))))
                return false;
        }
        if (!check(QTest::qWaitFor([&] { return lamp() == PanelLook::Look::Green; }, 3000), "the lamp is not green"))
            return false;
        if (boxLink == Link::Lan)
            return check(QTest::qWaitFor([&] { return status().startsWith(QLatin1String("Ping: ")); }, 3000),
                         qPrintable(QStringLiteral("status \"%1\", no ping").arg(status())));
        return true;
    }

    // The payloads (hex, as the simulator prints them) of what the box received from the
    // panel, from the simulator's console line `from` on.
    QStringList received(int from) const
    {
        QStringList payloads;
        for (int i = qMax(0, from); i < sim->lines().size(); ++i) {
            const QStringList words = sim->lines().at(i).split(QLatin1Char(' '));
            if (words.size() < 3 || words.at(0) != QLatin1String("RX"))
                continue;
            // Bytes the box skipped between frames (the serial link pads its frames) are
            // no payload.
            if (boxLink == Link::Serial && words.at(1) == QLatin1String("pty")
                && words.at(2) != QLatin1String("skipped"))
                payloads << words.mid(2).join(QLatin1Char(' '));
            else if (boxLink == Link::Lan && words.size() > 3 && words.at(1) == QLatin1String("udp")
                     && fromPanel(words.at(2)))
                payloads << words.mid(3).join(QLatin1Char(' '));
        }
        return payloads;
    }
    // The same without the state requests of the polling.
    QStringList commandsReceived(int from) const
    {
        QStringList commands = received(from);
        commands.removeAll(stateRequest());
        return commands;
    }
    int stateRequestsReceived(int from = 0) const { return received(from).count(stateRequest()); }

    // Status replies the box sent to the panel from console line `from` on.
    int repliesSent(int from) const
    {
        int n = 0;
        for (int i = qMax(0, from); i < sim->lines().size(); ++i) {
            const QString &line = sim->lines().at(i);
            if (boxLink == Link::Serial)
                n += line.startsWith(QLatin1String("TX pty 49 47 05 "))
                    || line.startsWith(QLatin1String("TX pty 49 47 54 "));
            else
                n += line.startsWith(QLatin1String("TX udp ")) && fromPanel(line.section(QLatin1Char(' '), 2, 2));
        }
        return n;
    }

    // Waits until the panel has read `count` more status replies. On the LAN the worker
    // counts what it reads. On the serial line the panel reads a reply on the tick after its
    // request and sends the next request a tick later, so one more reply than asked for
    // means the last one asked for has been read.
    bool waitForReplies(int count)
    {
        if (boxLink == Link::Lan) {
            const quint64 target = datagramsRead() + quint64(count);
            return check(QTest::qWaitFor([&] { return datagramsRead() >= target; }, 3000), "too few replies read");
        }
        const int from = sim->lineCount();
        return check(QTest::qWaitFor([&] { return repliesSent(from) >= count + 1; }, 3000), "too few replies sent");
    }

    // What the polling asks the box.
    QString stateRequest() const
    {
        return boxLink == Link::Serial ? QStringLiteral("49 47 05 33 3B") : QStringLiteral("FE 01 FD");
    }

    QTemporaryDir dir;
    std::unique_ptr<TalmekSimProcess> sim;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ThreadLeitura> polling;

private:
    template<typename T> T *child(const QString &name) const
    {
        T *found = window->findChild<T *>(name);
        if (!found)
            qFatal("the window has no %s named %s", T::staticMetaObject.className(), qPrintable(name));
        return found;
    }
    static bool check(bool ok, const char *why)
    {
        if (!ok)
            qWarning("%s", why);
        return ok;
    }
    // A simulator's "address:port" names the panel's socket.
    bool fromPanel(const QString &peer) const
    {
        return peer.endsWith(QLatin1Char(':') + QString::number(window->lanLink()->localPort()));
    }

    QString settingsFile = dir.filePath(QStringLiteral("settings.ini"));
    Link boxLink = Link::Serial;
    QString boxPort;
    int ticks = 0;
    mutable std::mutex askedMutex;
    std::vector<qint64> askedAt; // written by the polling thread
};

#pragma once

// One panel under test, as the suites that drive the real window build it: a settings file
// in a folder of its own, the window on it (with the serial ports and the clock the test
// gives), the polling thread main() starts, and the talmek-sim process as the box on either
// link (SimBox). Everything is found by the form's object names and read through the
// window's public interface.
//
// Helpers that can fail return false after a qWarning() that says why, so a test reads
// QVERIFY(bench.open(...)). Every wait is bounded and ends as soon as its condition holds.

#include "app/mainwindow.h"
#include "app/panellook.h"
#include "engine/threadleitura.h"
#include "lan/threadcom.h"
#include "panelprobe.h"
#include "simbox.h"

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

class PanelBench : public SimBox
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
    quint64 datagramsRead() const override { return window->lanLink()->datagramsRead(); }

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

    QTemporaryDir dir;
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
    quint16 panelLanPort() const override { return window->lanLink()->localPort(); }

    QString settingsFile = dir.filePath(QStringLiteral("settings.ini"));
    int ticks = 0;
    mutable std::mutex askedMutex;
    std::vector<qint64> askedAt; // written by the polling thread
};

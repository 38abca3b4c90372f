#pragma once

#include <QThread>

#include <atomic>

class MainWindow;

// Paces the exchange with the box. Every 80 ms it decides what the GUI thread should do
// next and posts it as a queued invocation of a window slot by name; it never touches
// the port, the panel or the device state itself, and never waits for the GUI thread.
//
// Thread contract: constructed and destroyed on the GUI thread; run() reads only the
// window's atomics (link flags, queue count) and its own members. Destroying the object
// raises the stop flag and joins the loop, which ends within one tick.
class ThreadLeitura : public QThread
{
public:
    explicit ThreadLeitura(MainWindow *window);
    ~ThreadLeitura() override;

protected:
    void run() override;

private:
    qint64 lastSendTime = 0;
    qint64 tickTime = 0;
    std::atomic<bool> stopRequested{false};
    MainWindow *window;
};

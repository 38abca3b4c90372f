#pragma once

#include "monotonicclock.h"

#include <QThread>

#include <atomic>
#include <memory>

class MainWindow;
class PollingPeer;

// The polling thread: it paces the exchange with the box. Every 80 ms it decides what the GUI thread should do
// next (PollTick::decide) and asks for it; it never touches the port, the panel or the
// device state itself, and never waits for the GUI thread.
//
// Thread contract: constructed and destroyed on the GUI thread. run() reads only the peer's
// atomics (link flags, queue count) and its own members. A tick's requests are OR-ed into
// an atomic and announced by the queued signal tickDue(), which carries no data; the peer's
// thread takes them all at once, so ticks that pile up behind a busy GUI thread become one.
// Destroying the object raises the stop flag, wakes the sleeping loop and joins it.
class ThreadLeitura : public QThread
{
    Q_OBJECT

public:
    // Polls for the window, as the program does.
    explicit ThreadLeitura(MainWindow *window);
    explicit ThreadLeitura(PollingPeer &peer, const MonotonicClock &clock = steadyClock());
    ~ThreadLeitura() override;

signals:
    void tickDue();

protected:
    void run() override;

private:
    PollingPeer &peer;
    const MonotonicClock &clock;
    qint64 lastSendTime = 0;
    qint64 tickTime = 0;
    std::atomic<bool> stopRequested{false};
    // Shared with the queued call, which may still be waiting in the GUI thread's queue
    // when this object is gone.
    std::shared_ptr<std::atomic<int>> pendingRequests = std::make_shared<std::atomic<int>>(0);
};

#include "threadleitura.h"

#include "pollingpeer.h"
#include "polltick.h"

ThreadLeitura::ThreadLeitura(PollingPeer &pollingPeer, const MonotonicClock &monotonicClock)
    : peer(pollingPeer)
    , clock(monotonicClock)
{
    connect(
        this, &ThreadLeitura::tickDue, peer.pollingContext(),
        [pending = pendingRequests, &pollingPeer] {
            const int requests = pending->exchange(0, std::memory_order_acquire);
            if (requests != 0)
                pollingPeer.carryOutTick(requests);
        },
        Qt::QueuedConnection);
    start(QThread::InheritPriority);
}

ThreadLeitura::~ThreadLeitura()
{
    stopRequested = true;
    clock.wake();
    wait();
}

void ThreadLeitura::run()
{
    lastSendTime = clock.nowMs();
    while (clock.sleepUntil(clock.nowMs() + PollTick::TickMs, stopRequested)) {
        const LinkFlags &flags = peer.linkFlags();
        PollTick::Inputs in;
        in.serialOpen = flags.serialOpen.load();
        in.lanLinkEnabled = flags.lanLinkEnabled.load();
        int requests = PollingPeer::CheckLink; // the watchdog, on every tick, link or not
        if (in.serialOpen || in.lanLinkEnabled) {
            tickTime = clock.nowMs();
            in.queueEmpty = peer.isCommandQueueEmpty();
            in.now = tickTime;
            in.lastSendTime = lastSendTime;
            const PollTick::Decision decision = PollTick::decide(in);
            lastSendTime = decision.lastSendTime;
            if (decision.sendQueuedCommand)
                requests |= PollingPeer::SendQueuedCommand;
            if (decision.sendStateRequest)
                requests |= PollingPeer::SendStateRequest;
            if (decision.readReply)
                requests |= PollingPeer::ReadReply;
        }
        if (stopRequested)
            return;
        // Only the first tick that finds nothing pending needs to wake the GUI thread.
        if (pendingRequests->fetch_or(requests, std::memory_order_release) == 0)
            emit tickDue();
    }
}

#pragma once

#include <QtGlobal>

#include <atomic>

// "Now" for every interval the panel keeps: the polling gaps, the link watchdog, the
// firmware wait and the LAN spacing. A monotonic clock, so that a step of the wall clock
// (NTP, a manual set, a daylight-saving mistake) changes none of them. Code that waits asks
// the clock to sleep, so a test clock can hold the sleeper until the test moves time on.
//
// Thread contract: every member may be called from any thread.
class MonotonicClock
{
public:
    virtual ~MonotonicClock() = default;

    // Milliseconds since an arbitrary start; never goes back.
    virtual qint64 nowMs() const = 0;
    // The same time in microseconds, for a span shorter than a millisecond's steps: two
    // times a fraction of a millisecond apart may still lie on either side of a step.
    virtual qint64 nowUs() const { return nowMs() * 1000; }
    // Blocks the calling thread until nowMs() reaches deadlineMs, or until `cancel` is
    // raised and wake() is called. Returns false when it ended because of `cancel`.
    virtual bool sleepUntil(qint64 deadlineMs, const std::atomic<bool> &cancel) const = 0;
    // Makes every sleeper look at its cancel flag again. Raise the flag first.
    virtual void wake() const = 0;
};

// The system's steady clock.
const MonotonicClock &steadyClock();

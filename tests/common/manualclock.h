#pragma once

// Clocks for tests, behind the panel's MonotonicClock seam.
//
// ManualClock: time stands still until the test advances it, so an interval is checked to
// the millisecond without waiting for it. A thread asleep on the clock stays asleep until
// the time reaches its deadline (or it is cancelled); the test can wait, in bounded real
// time, until a thread is parked on a given deadline, and so knows what it is waiting for.
//
// SteppedClock: the steady clock plus a jump the test adds, so an end-to-end test keeps
// the real pace of its threads yet can skip the 7 s of a watchdog in one step.
//
// Thread contract: every member may be called from any thread.

#include "engine/monotonicclock.h"

#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

class ManualClock final : public MonotonicClock
{
public:
    // Well above 0, so that "0 means never" in the code under test stays distinguishable.
    static constexpr qint64 StartMs = 1'000'000;

    ManualClock() = default;
    ~ManualClock() override
    {
        // The sleepers' last touches were made under the mutex; taking it orders them
        // before the clock goes (the join of their threads happens inside Qt, where the
        // race detector cannot see it).
        std::lock_guard<std::mutex> lock(mutex);
    }
    ManualClock(const ManualClock &) = delete;
    ManualClock &operator=(const ManualClock &) = delete;

    qint64 nowMs() const override { return nowUs() / 1000; }

    qint64 nowUs() const override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return nowUsValue;
    }

    bool sleepUntil(qint64 deadlineMs, const std::atomic<bool> &cancel) const override
    {
        std::unique_lock<std::mutex> lock(mutex);
        sleepers.push_back(deadlineMs);
        changed.notify_all(); // a test may be waiting for this sleeper
        changed.wait(lock, [&] { return cancel.load() || nowUsValue / 1000 >= deadlineMs; });
        sleepers.erase(std::find(sleepers.begin(), sleepers.end(), deadlineMs));
        changed.notify_all();
        return !cancel.load();
    }

    void wake() const override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
        }
        changed.notify_all();
    }

    // Moves time on by `ms` and wakes every sleeper whose deadline it reaches.
    void advance(qint64 ms) { advanceUs(ms * 1000); }

    // The same in microseconds, for spans shorter than a millisecond.
    void advanceUs(qint64 us)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            nowUsValue += us;
        }
        changed.notify_all();
    }

    // Moves time on to `at` (never back).
    void advanceTo(qint64 at)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            nowUsValue = std::max(nowUsValue, at * 1000);
        }
        changed.notify_all();
    }

    // Waits, up to `timeoutMs` of real time, until a thread sleeps on exactly `deadlineMs`.
    bool waitForSleeper(qint64 deadlineMs, int timeoutMs = 5000) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return std::find(sleepers.begin(), sleepers.end(), deadlineMs) != sleepers.end();
        });
    }

    // The deadlines threads sleep on now, earliest first.
    std::vector<qint64> sleeperDeadlines() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<qint64> sorted = sleepers;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

private:
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    qint64 nowUsValue = StartMs * 1000;
    mutable std::vector<qint64> sleepers;
};

class SteppedClock final : public MonotonicClock
{
public:
    qint64 nowMs() const override { return steadyClock().nowMs() + skipped.load(); }

    bool sleepUntil(qint64 deadlineMs, const std::atomic<bool> &cancel) const override
    {
        // A jump while asleep wakes the sleeper early, as the time it waits for has come.
        for (;;) {
            const qint64 jump = skipped.load();
            const qint64 steadyDeadline = std::min(deadlineMs - jump, steadyClock().nowMs() + 20);
            if (!steadyClock().sleepUntil(steadyDeadline, cancel))
                return false;
            if (nowMs() >= deadlineMs)
                return true;
        }
    }

    void wake() const override { steadyClock().wake(); }

    // Moves time on by `ms` at once.
    void skip(qint64 ms) { skipped += ms; }

private:
    std::atomic<qint64> skipped{0};
};

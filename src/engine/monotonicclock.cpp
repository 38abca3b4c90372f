#include "monotonicclock.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

class SteadyClock final : public MonotonicClock
{
public:
    qint64 nowMs() const override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

    qint64 nowUs() const override
    {
        using namespace std::chrono;
        return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    }

    bool sleepUntil(qint64 deadlineMs, const std::atomic<bool> &cancel) const override
    {
        using namespace std::chrono;
        const steady_clock::time_point deadline{milliseconds(deadlineMs)};
        std::unique_lock<std::mutex> lock(mutex);
        // The predicate is checked under the mutex that wake() takes, so a cancel raised
        // just before the wait cannot be missed.
        return !wakeUp.wait_until(lock, deadline, [&] { return cancel.load(); });
    }

    void wake() const override
    {
        // Under the sleepers' mutex: a sleeper is either before its check of the cancel
        // flag (and sees it raised) or already waiting (and is woken).
        std::lock_guard<std::mutex> lock(mutex);
        wakeUp.notify_all();
    }

private:
    mutable std::mutex mutex;
    mutable std::condition_variable wakeUp;
};

} // namespace

const MonotonicClock &steadyClock()
{
    static const SteadyClock clock;
    return clock;
}

#pragma once

#include <QMutex>

#if defined(__SANITIZE_THREAD__)
#define ZORVIK_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZORVIK_TSAN 1
#endif
#endif

#ifdef ZORVIK_TSAN
extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);
#endif

// A non-recursive QMutex whose hand-overs ThreadSanitizer can see. Qt is not built with
// the race detector, so the ordering its lock establishes in its uninstrumented slow path
// is invisible to it; announcing each release and acquire keeps the project's own data
// checked instead of suppressed. Use with std::lock_guard / std::unique_lock.
class QueueMutex
{
public:
    void lock()
    {
        mutex.lock();
#ifdef ZORVIK_TSAN
        __tsan_acquire(this);
#endif
    }
    void unlock()
    {
#ifdef ZORVIK_TSAN
        __tsan_release(this);
#endif
        mutex.unlock();
    }

private:
    QMutex mutex;
};

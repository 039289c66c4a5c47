#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

namespace pavix {

// A plain lock for short critical sections: a Win32 critical section on
// Windows, a mutex elsewhere.
class CriticalSection {
public:
    CriticalSection() {
#if defined(_WIN32)
        InitializeCriticalSection(&section_);
#endif
    }
    ~CriticalSection() {
#if defined(_WIN32)
        DeleteCriticalSection(&section_);
#endif
    }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() {
#if defined(_WIN32)
        EnterCriticalSection(&section_);
#else
        mutex_.lock();
#endif
    }
    void Leave() {
#if defined(_WIN32)
        LeaveCriticalSection(&section_);
#else
        mutex_.unlock();
#endif
    }

private:
#if defined(_WIN32)
    CRITICAL_SECTION section_;
#else
    std::mutex mutex_;
#endif
};

// Holds a lock (anything with Enter and Leave) for the lifetime of the
// scope.
template <typename Lock>
class ScopedLockOf {
public:
    explicit ScopedLockOf(Lock& lock) : lock_(lock) { lock_.Enter(); }
    ~ScopedLockOf() { lock_.Leave(); }
    ScopedLockOf(const ScopedLockOf&) = delete;
    ScopedLockOf& operator=(const ScopedLockOf&) = delete;

private:
    Lock& lock_;
};

using ScopedLock = ScopedLockOf<CriticalSection>;

}  // namespace pavix

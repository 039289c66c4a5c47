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

// Holds a CriticalSection for the lifetime of the scope.
class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~ScopedLock() { section_.Leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection& section_;
};

}  // namespace pavix

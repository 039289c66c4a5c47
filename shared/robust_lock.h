#pragma once

#include "shared/critical_section.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

namespace pavix {

// A lock whose holder may be ended forcibly (a worker's last-resort end)
// without hanging everyone after it: on Windows a mutex object, which the
// system hands on, as abandoned, once the thread that held it is gone; a
// plain mutex elsewhere (nothing is ended forcibly there). The next holder
// finds whatever the ended one left half done, so a lock like this guards
// state its users can put right (a reset). A system call per use: for locks
// taken some hundreds of times a second, not in a tight loop.
class RobustLock {
public:
    RobustLock() {
#if defined(_WIN32)
        mutex_ = CreateMutexW(nullptr, FALSE, nullptr);
#endif
    }
    ~RobustLock() {
#if defined(_WIN32)
        if (mutex_ != nullptr) CloseHandle(mutex_);
#endif
    }
    RobustLock(const RobustLock&) = delete;
    RobustLock& operator=(const RobustLock&) = delete;

    void Enter() {
#if defined(_WIN32)
        // WAIT_ABANDONED owns it as well.
        WaitForSingleObject(mutex_, INFINITE);
#else
        mutex_.lock();
#endif
    }
    void Leave() {
#if defined(_WIN32)
        ReleaseMutex(mutex_);
#else
        mutex_.unlock();
#endif
    }

private:
#if defined(_WIN32)
    HANDLE mutex_ = nullptr;
#else
    std::mutex mutex_;
#endif
};

using ScopedRobustLock = ScopedLockOf<RobustLock>;

}  // namespace pavix

#pragma once

#include <windows.h>

namespace pavix {

// How long a stop request waits for a worker to end by itself.
inline constexpr DWORD kWorkerStopWaitMs = 300;

// One of the engine's worker threads with its run flag and a stop event.
//
// A worker polls IsRunRequested() and sleeps only through Pause(), which
// wakes at once when a stop is requested, so Stop() normally sees the
// thread end by itself well within its wait. While Stop() waits, the calling
// (window) thread keeps handling messages sent to its windows: a worker
// inside SendMessage to the main window finishes that call and ends.
//
// Ending a thread forcibly is the last resort, for a worker that ignores its
// run flag. It never happens inside a CriticalStretch, the marked stretches
// in which a worker holds or waits for a lock that others take afterwards
// (the receive ring's): the stop lets such a stretch finish first.
class CWorkerThread {
public:
    enum class StopOutcome {
        NotRunning,  // there was no thread
        Ended,       // the thread ended by itself
        Forced,      // the thread was ended forcibly
    };

    CWorkerThread() = default;
    // Closes the handles; the thread must have been stopped.
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Sets the run flag and starts `proc(argument)` on a new thread. False
    // when the thread (or its stop event) cannot be created.
    bool Start(LPTHREAD_START_ROUTINE proc, void* argument);

    // Clears the run flag, wakes the thread's pauses and waits up to
    // `waitMs` for the thread to end, handling sent messages meanwhile; ends
    // it forcibly if it is still there. The handle is closed afterwards.
    StopOutcome Stop(DWORD waitMs = kWorkerStopWaitMs);

    // For the worker: whether it should keep running.
    bool IsRunRequested() const { return runFlag_ != 0; }

    // For the worker: sleeps `milliseconds`, or less when a stop is
    // requested. True when the worker should go on.
    bool Pause(DWORD milliseconds) const;
    // Likewise, and wakes as well when `wake` is signalled.
    bool PauseUntil(HANDLE wake, DWORD milliseconds) const;

    bool IsStarted() const { return thread_ != nullptr; }

    // Marks a stretch of the worker's code that must not be cut short by a
    // forced end. Stretches are short and never sleep.
    class CriticalStretch {
    public:
        explicit CriticalStretch(CWorkerThread& thread) : thread_(thread) {
            InterlockedIncrement(&thread_.criticalDepth_);
        }
        ~CriticalStretch() { InterlockedDecrement(&thread_.criticalDepth_); }
        CriticalStretch(const CriticalStretch&) = delete;
        CriticalStretch& operator=(const CriticalStretch&) = delete;

    private:
        CWorkerThread& thread_;
    };

private:
    // Ends the thread outside any critical stretch.
    void EndForcibly();

    volatile LONG runFlag_ = 0;
    volatile LONG criticalDepth_ = 0;
    HANDLE thread_ = nullptr;
    HANDLE stopEvent_ = nullptr;
};

// Waits up to `milliseconds` for `handle`, handling the messages other
// threads send to this thread's windows meanwhile. True when it was
// signalled.
bool WaitHandlingSentMessages(HANDLE handle, DWORD milliseconds);

}  // namespace pavix

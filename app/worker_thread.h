#pragma once

#include <windows.h>

namespace pavix {

// How long a stop request waits for a worker to end by itself.
inline constexpr DWORD kWorkerStopWaitMs = 300;
// How much longer a stop waits for a worker that has not ended by itself
// before it ends it (the last resort).
inline constexpr DWORD kWorkerLastResortMs = 3000;

// One of the engine's worker threads with its run flag and a stop event.
//
// A worker polls IsRunRequested() and sleeps only through Pause() or
// PauseUntil(), which wake at once when a stop is requested, so Stop()
// normally sees the thread end by itself well within its wait. Workers never
// send to the main window (they post), so a stop never waits on one; while
// Stop() waits, the calling thread still handles messages sent to its
// windows.
//
// Ending a thread forcibly is the last resort, for a worker that ignores its
// run flag. A worker's code is guarded from its first instruction: it may
// hold a ring slot, the heap's or GDI+'s locks at almost any moment, and a
// thread ended there would leave them held for good. So a stop that finds
// the worker still running after its wait gives it kWorkerLastResortMs more
// to end by itself; only then is it ended, in one of its pauses if it comes
// to one within a second (it holds nothing of ours there, and a pause
// reached then holds it until it is ended), otherwise wherever it is. Its debug text is written only once the thread is gone (a
// suspended thread may hold the heap's lock that writing it needs). The
// receive ring's lock survives such an end (RobustLock). A thread that can
// be neither awaited nor ended is reported as still running: its handle
// stays, and nothing it uses may be freed.
class CWorkerThread {
public:
    enum class StopOutcome {
        NotRunning,  // there was no thread
        Ended,       // the thread ended by itself within the wait
        EndedLate,   // the thread ended by itself, but only after the wait
        Forced,      // the thread was ended forcibly
        StillRunning,  // it could not be ended: it runs on (IsStarted() stays true)
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
    // it forcibly if it is still there. The handle is closed afterwards,
    // unless the thread still runs.
    StopOutcome Stop(DWORD waitMs = kWorkerStopWaitMs);

    // For the worker: whether it should keep running.
    bool IsRunRequested() const { return runFlag_ != 0; }

    // For the worker: sleeps `milliseconds`, or less when a stop is
    // requested. True when the worker should go on.
    bool Pause(DWORD milliseconds) const;
    // Likewise, and wakes as well when `wake` is signalled. Open to the
    // last resort as Pause is: a worker must hold nothing in either.
    bool PauseUntil(HANDLE wake, DWORD milliseconds) const;

    bool IsStarted() const { return thread_ != nullptr; }

    // Forced ends in this process so far (any worker).
    static long ForcedEnds();

    // Marks a stretch that must not be cut short by a forced end even where
    // the worker would otherwise be open to one. Stretches are short.
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
    // After the stop's wait: waits the last resort's time for the thread
    // to end, then ends it, in a pause if it can.
    StopOutcome EndForcibly();
    // Waits on `handles` (the stop event first) with the guard open.
    bool OpenPause(DWORD count, const HANDLE* handles, DWORD milliseconds) const;

    volatile LONG runFlag_ = 0;
    // Set while the last resort seeks a pause to end the worker in.
    volatile LONG lastResort_ = 0;
    // Above 0 while the worker must not be ended: always, but in its pauses.
    mutable volatile LONG criticalDepth_ = 0;
    HANDLE thread_ = nullptr;
    HANDLE stopEvent_ = nullptr;
};

// Waits up to `milliseconds` for `handle`, handling the messages other
// threads send to this thread's windows meanwhile. True when it was
// signalled.
bool WaitHandlingSentMessages(HANDLE handle, DWORD milliseconds);

}  // namespace pavix

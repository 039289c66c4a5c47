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
// A worker polls IsRunRequested() and sleeps only through Pause(), which
// wakes at once when a stop is requested, so Stop() normally sees the
// thread end by itself well within its wait. While Stop() waits, the calling
// (window) thread keeps handling messages sent to its windows: a worker
// inside SendMessage to the main window finishes that call and ends.
//
// Ending a thread forcibly is the last resort, for a worker that ignores its
// run flag. A worker's code is guarded from its first instruction: it may
// hold the receive ring's lock or a slot, the heap's or GDI+'s locks at
// almost any moment, and a thread ended there would leave them held for
// good. So a stop that finds the worker still running after its wait gives
// it kWorkerLastResortMs more to end by itself; only then is it ended, in
// one of its pauses if it comes to one within a second (it holds nothing
// of ours there), otherwise wherever it is, with a debug text.
class CWorkerThread {
public:
    enum class StopOutcome {
        NotRunning,  // there was no thread
        Ended,       // the thread ended by itself within the wait
        EndedLate,   // the thread ended by itself, but only after the wait
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

    volatile LONG runFlag_ = 0;
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

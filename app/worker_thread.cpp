#include "app/worker_thread.h"

#include "shared/debug_text.h"

namespace pavix {
namespace {

volatile LONG forcedEnds = 0;

// While a forced end waits for a critical stretch to finish, it looks again
// after this long.
constexpr DWORD kStretchRecheckMs = 10;
// How long the last resort looks for a moment in which the worker pauses.
constexpr DWORD kLastResortSeekMs = 1000;
// How long a forced end waits for the system to take the thread down.
constexpr DWORD kTerminationWaitMs = 2000;

}  // namespace

long CWorkerThread::ForcedEnds() { return forcedEnds; }

bool WaitHandlingSentMessages(HANDLE handle, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        const DWORD result = MsgWaitForMultipleObjectsEx(1, &handle, left, QS_SENDMESSAGE, 0);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + 1) {
            // Timed out (or the wait itself failed): one last look.
            return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        }
        // A message sent from another thread: peeking delivers it to its
        // window procedure; posted messages stay queued.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

CWorkerThread::~CWorkerThread() {
    if (thread_ != nullptr) CloseHandle(thread_);
    if (stopEvent_ != nullptr) CloseHandle(stopEvent_);
}

bool CWorkerThread::Start(LPTHREAD_START_ROUTINE proc, void* argument) {
    if (thread_ != nullptr) return false;
    if (stopEvent_ == nullptr) {
        stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (stopEvent_ == nullptr) return false;
    }
    ResetEvent(stopEvent_);
    InterlockedExchange(&lastResort_, 0);
    InterlockedExchange(&runFlag_, 1);
    // Guarded from its first instruction; Pause opens it.
    InterlockedExchange(&criticalDepth_, 1);
    thread_ = CreateThread(nullptr, 0, proc, argument, 0, nullptr);
    if (thread_ == nullptr) {
        InterlockedExchange(&runFlag_, 0);
        return false;
    }
    return true;
}

bool CWorkerThread::OpenPause(DWORD count, const HANDLE* handles, DWORD milliseconds) const {
    if (!IsRunRequested()) {
        // A worker that still comes to its pauses once the last resort is
        // seeking ignores its flag; outside any critical stretch it holds
        // nothing here, so it stays here, open, until it is ended.
        if (lastResort_ != 0 && criticalDepth_ == 1) {
            InterlockedDecrement(&criticalDepth_);
            for (;;) Sleep(INFINITE);
        }
        return false;
    }
    // Waiting here the worker holds nothing of ours: the one place where a
    // last-resort end may take it.
    InterlockedDecrement(&criticalDepth_);
    WaitForMultipleObjects(count, handles, FALSE, milliseconds);
    InterlockedIncrement(&criticalDepth_);
    return IsRunRequested();
}

bool CWorkerThread::Pause(DWORD milliseconds) const {
    return OpenPause(1, &stopEvent_, milliseconds);
}

bool CWorkerThread::PauseUntil(HANDLE wake, DWORD milliseconds) const {
    if (wake == nullptr) return Pause(milliseconds);
    const HANDLE handles[] = {stopEvent_, wake};
    return OpenPause(2, handles, milliseconds);
}

CWorkerThread::StopOutcome CWorkerThread::Stop(DWORD waitMs) {
    if (thread_ == nullptr) return StopOutcome::NotRunning;
    InterlockedExchange(&runFlag_, 0);
    SetEvent(stopEvent_);
    StopOutcome outcome = StopOutcome::Ended;
    if (!WaitHandlingSentMessages(thread_, waitMs)) outcome = EndForcibly();
    // A thread that still runs keeps its handle: it has not stopped.
    if (outcome == StopOutcome::StillRunning) return outcome;
    CloseHandle(thread_);
    thread_ = nullptr;
    return outcome;
}

CWorkerThread::StopOutcome CWorkerThread::EndForcibly() {
    // A worker that has not ended yet is busy (or not even scheduled, on a
    // loaded machine) and will see its flag soon: more time, not force.
    if (WaitHandlingSentMessages(thread_, kWorkerLastResortMs)) return StopOutcome::EndedLate;

    // The last resort. Ended in a pause it holds nothing of ours; give it
    // a short while to come to one, then end it wherever it is.
    const ULONGLONG giveUp = GetTickCount64() + kLastResortSeekMs;
    InterlockedExchange(&lastResort_, 1);
    for (;;) {
        if (WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0) return StopOutcome::EndedLate;
        if (SuspendThread(thread_) == static_cast<DWORD>(-1)) {
            // Neither stopped nor ended: it runs on (unless it ended just now).
            return WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0 ? StopOutcome::EndedLate
                                                                     : StopOutcome::StillRunning;
        }
        // Suspension takes effect asynchronously; reading the context waits
        // until the thread really stands still.
        CONTEXT context = {};
        context.ContextFlags = CONTEXT_CONTROL;
        GetThreadContext(thread_, &context);
        const bool guarded = criticalDepth_ != 0;
        if (!guarded || GetTickCount64() >= giveUp) {
            // Nothing that could need a lock the thread holds (not even a
            // debug text) until it is gone.
            if (!TerminateThread(thread_, 0)) {
                ResumeThread(thread_);
                return StopOutcome::StillRunning;
            }
            if (WaitForSingleObject(thread_, kTerminationWaitMs) != WAIT_OBJECT_0) {
                return StopOutcome::StillRunning;
            }
            InterlockedIncrement(&forcedEnds);
            if (guarded) DebugText("pavix: a worker thread was ended inside a guarded stretch\n");
            return StopOutcome::Forced;
        }
        ResumeThread(thread_);
        if (WaitHandlingSentMessages(thread_, kStretchRecheckMs)) return StopOutcome::EndedLate;
    }
}

}  // namespace pavix

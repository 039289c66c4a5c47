// Stopping the engine's worker threads: within the wait, without a forced
// end, even while a worker waits for the stopping thread's window; a forced
// end never inside a critical stretch, in a pause when the worker comes to
// one, its debug text only once the thread is gone, and the receive ring
// still usable after a worker was ended holding its lock.

#include "app/worker_thread.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

#include "link/recv_ring.h"
#include "shared/debug_text.h"

namespace pavix {

std::ostream& operator<<(std::ostream& out, CWorkerThread::StopOutcome outcome) {
    switch (outcome) {
    case CWorkerThread::StopOutcome::NotRunning:
        return out << "NotRunning";
    case CWorkerThread::StopOutcome::Ended:
        return out << "Ended";
    case CWorkerThread::StopOutcome::EndedLate:
        return out << "EndedLate";
    case CWorkerThread::StopOutcome::Forced:
        return out << "Forced";
    case CWorkerThread::StopOutcome::StillRunning:
        return out << "StillRunning";
    }
    return out << "?";
}

namespace {

constexpr UINT kPing = WM_APP + 7;

DWORD Elapsed(ULONGLONG since) { return static_cast<DWORD>(GetTickCount64() - since); }

// The wait of the stops that must end a worker by itself: a loaded machine
// may be slow to run the thread at all, but a pause that a stop does not
// wake costs 3 s, a worker that cannot end the last resort's 3 s.
constexpr DWORD kEndWaitMs = 2000;

struct Shared {
    CWorkerThread thread;
    HWND window = nullptr;
    HANDLE go = nullptr;
    volatile LONG pingAnswered = 0;
    volatile LONG stretchLeft = 0;
    CRITICAL_SECTION lock;
};

// A window on the test's (stopping) thread that counts the pings it handles.
LRESULT CALLBACK PingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPing) {
        auto* shared = reinterpret_cast<Shared*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        InterlockedIncrement(&shared->pingAnswered);
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreatePingWindow(Shared* shared) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = PingWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PavixWorkerTestWindow";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"PavixWorkerTestWindow", L"", 0, 0, 0, 10, 10,
                                  HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(shared));
    return window;
}

DWORD WINAPI PausingWorker(LPVOID argument) {
    auto* shared = static_cast<Shared*>(argument);
    while (shared->thread.Pause(3000)) {
    }
    return 0;
}

TEST(WorkerThread, APausingWorkerEndsAtOnce) {
    Shared shared;
    ASSERT_TRUE(shared.thread.Start(PausingWorker, &shared));
    Sleep(50);  // well inside its first pause
    // Ended (not EndedLate) means within the stop's wait.
    EXPECT_EQ(shared.thread.Stop(kEndWaitMs), CWorkerThread::StopOutcome::Ended);
    EXPECT_FALSE(shared.thread.IsStarted());
    EXPECT_EQ(shared.thread.Stop(), CWorkerThread::StopOutcome::NotRunning);
}

// Stopped right after its start, a thread that a loaded machine has not
// even run yet may end only after the stop's wait: by itself all the same.
TEST(WorkerThread, CanBeStartedAgainAfterAStop) {
    Shared shared;
    for (int start = 0; start < 2; ++start) {
        ASSERT_TRUE(shared.thread.Start(PausingWorker, &shared));
        EXPECT_TRUE(shared.thread.IsRunRequested());
        const CWorkerThread::StopOutcome outcome = shared.thread.Stop();
        EXPECT_TRUE(outcome == CWorkerThread::StopOutcome::Ended ||
                    outcome == CWorkerThread::StopOutcome::EndedLate)
            << outcome;
        EXPECT_FALSE(shared.thread.IsStarted());
    }
}

// Sends to the test thread's window as soon as it is told to, then runs on
// until stopped.
DWORD WINAPI SendingWorker(LPVOID argument) {
    auto* shared = static_cast<Shared*>(argument);
    WaitForSingleObject(shared->go, INFINITE);
    SendMessageW(shared->window, kPing, 0, 0);
    while (shared->thread.Pause(3000)) {
    }
    return 0;
}

TEST(WorkerThread, AWorkerInsideSendMessageDoesNotBlockTheStop) {
    Shared shared;
    shared.window = CreatePingWindow(&shared);
    ASSERT_NE(shared.window, nullptr);
    shared.go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(shared.thread.Start(SendingWorker, &shared));
    SetEvent(shared.go);
    // The worker now waits in SendMessage for this thread, which does not
    // look at its messages until it stops the worker.
    Sleep(100);
    EXPECT_EQ(shared.pingAnswered, 0);
    EXPECT_EQ(shared.thread.Stop(kEndWaitMs), CWorkerThread::StopOutcome::Ended);
    EXPECT_EQ(shared.pingAnswered, 1);
    DestroyWindow(shared.window);
    CloseHandle(shared.go);
}

// Counts, while it lives, the debug texts of a forced end inside a guarded
// stretch, and those of them written before the worker (which calls
// SetWorker) had ended.
class GuardedEndTexts {
public:
    GuardedEndTexts() {
        previous_ = SetDebugTextSink([this](const char* text) {
            if (std::strstr(text, "ended inside a guarded stretch") == nullptr) return;
            ++count;
            if (worker_ == nullptr || WaitForSingleObject(worker_, 0) != WAIT_OBJECT_0) ++beforeEnd;
        });
    }
    ~GuardedEndTexts() {
        SetDebugTextSink(previous_);
        if (worker_ != nullptr) CloseHandle(worker_);
    }
    GuardedEndTexts(const GuardedEndTexts&) = delete;
    GuardedEndTexts& operator=(const GuardedEndTexts&) = delete;

    void SetWorker() { worker_ = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()); }

    int count = 0;
    int beforeEnd = 0;

private:
    DebugTextSink previous_;
    HANDLE worker_ = nullptr;
};

// The ring's buffers come from the local heap, but giving one back on the
// worker's thread never returns: the worker then sits inside the ring's
// lock for good.
volatile DWORD stuckReleaseThread = 0;
HANDLE insideRelease = nullptr;

void* RingAllocate(std::size_t bytes) { return LocalHeap().allocate(bytes); }
void RingRelease(void* block) {
    if (GetCurrentThreadId() == stuckReleaseThread) {
        SetEvent(insideRelease);
        for (;;) Sleep(10);
    }
    LocalHeap().release(block);
}
const BlockAllocator kStuckAllocator{RingAllocate, RingRelease};

struct RingWorkerArgs {
    CRecvRing* ring;
    GuardedEndTexts* log;
};

// Never looks at its run flag, never pauses, and holds the ring's lock.
DWORD WINAPI DeafRingWorker(LPVOID argument) {
    auto* args = static_cast<RingWorkerArgs*>(argument);
    args->log->SetWorker();
    stuckReleaseThread = GetCurrentThreadId();
    args->ring->Shutdown();  // stuck inside the lock, in the first release
    return 0;
}

// The ring, after its lock's holder was ended: emptied, set up again and a
// slot taken, on a thread of its own. True when all that was done.
DWORD WINAPI UseRingAgain(LPVOID argument) {
    auto* ring = static_cast<CRecvRing*>(argument);
    ring->Shutdown();
    return ring->Init() && ring->AcquireWriteSlot() != nullptr ? 1 : 0;
}

TEST(WorkerThread, AWorkerThatNeverPausesIsEndedOnlyAsTheLastResort) {
    // Leaked when the ring hangs: a thread still waits on it then.
    auto* ring = new CRecvRing(kStuckAllocator, 4096);
    ASSERT_TRUE(ring->Init());
    insideRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    GuardedEndTexts log;
    RingWorkerArgs args{ring, &log};
    CWorkerThread thread;
    const long forcedBefore = CWorkerThread::ForcedEnds();
    ASSERT_TRUE(thread.Start(DeafRingWorker, &args));
    ASSERT_EQ(WaitForSingleObject(insideRelease, 5000), WAIT_OBJECT_0);

    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(thread.Stop(), CWorkerThread::StopOutcome::Forced);
    EXPECT_GE(Elapsed(start), kWorkerStopWaitMs + kWorkerLastResortMs - 50);
    EXPECT_LT(Elapsed(start), kWorkerStopWaitMs + kWorkerLastResortMs + 5000);
    EXPECT_EQ(CWorkerThread::ForcedEnds(), forcedBefore + 1);
    // Ended where it was, and said so, but only once it was gone: writing
    // the text may need a lock the suspended thread holds.
    EXPECT_EQ(log.count, 1);
    EXPECT_EQ(log.beforeEnd, 0) << "the debug text was written while the worker was suspended";

    // The ring's lock did not go down with its holder. Microseconds of
    // work; the bound only tells a hang.
    HANDLE user = CreateThread(nullptr, 0, UseRingAgain, ring, 0, nullptr);
    ASSERT_NE(user, nullptr);
    const bool done = WaitForSingleObject(user, 5000) == WAIT_OBJECT_0;
    EXPECT_TRUE(done) << "the receive ring hangs on the lock its ended holder had";
    if (done) {
        DWORD used = 0;
        GetExitCodeThread(user, &used);
        EXPECT_EQ(used, 1u) << "the ring could not be set up and used again";
        ring->Shutdown();
        delete ring;
    }
    CloseHandle(user);
    CloseHandle(insideRelease);
}

// Ignores its run flag but pauses all the time, through Pause or
// PauseUntil: the last resort ends it in a pause, where it holds nothing.
struct PausingDeafArgs {
    CWorkerThread thread;
    GuardedEndTexts* log = nullptr;
    HANDLE wake = nullptr;  // null: Pause
    HANDLE started = nullptr;
};

DWORD WINAPI PausingDeafWorker(LPVOID argument) {
    auto* args = static_cast<PausingDeafArgs*>(argument);
    args->log->SetWorker();
    SetEvent(args->started);
    for (;;) {
        if (args->wake != nullptr) {
            args->thread.PauseUntil(args->wake, 50);
        } else {
            args->thread.Pause(50);
        }
        Sleep(1);  // busy between its pauses, as a worker is
    }
}

TEST(WorkerThread, TheLastResortEndsAWorkerInItsPauses) {
    HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    for (const bool withWake : {false, true}) {
        SCOPED_TRACE(withWake ? "PauseUntil" : "Pause");
        GuardedEndTexts log;
        PausingDeafArgs args;
        args.log = &log;
        args.wake = withWake ? wake : nullptr;
        args.started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_TRUE(args.thread.Start(PausingDeafWorker, &args));
        ASSERT_EQ(WaitForSingleObject(args.started, 5000), WAIT_OBJECT_0);
        EXPECT_EQ(args.thread.Stop(), CWorkerThread::StopOutcome::Forced);
        EXPECT_EQ(log.count, 0) << "ended outside its pauses, though it paused all the time";
        CloseHandle(args.started);
    }
    CloseHandle(wake);
}

// Busy for 800 ms without a pause (as a worker inside a slow system call),
// then it notices the stop.
DWORD WINAPI SlowWorker(LPVOID argument) {
    auto* shared = static_cast<Shared*>(argument);
    SetEvent(shared->go);
    EnterCriticalSection(&shared->lock);
    Sleep(800);
    LeaveCriticalSection(&shared->lock);
    while (shared->thread.Pause(1000)) {
    }
    return 0;
}

TEST(WorkerThread, AWorkerBusyPastTheWaitIsNotEndedButAwaited) {
    Shared shared;
    InitializeCriticalSection(&shared.lock);
    shared.go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const long forcedBefore = CWorkerThread::ForcedEnds();
    ASSERT_TRUE(shared.thread.Start(SlowWorker, &shared));
    ASSERT_EQ(WaitForSingleObject(shared.go, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(shared.thread.Stop(), CWorkerThread::StopOutcome::EndedLate);
    EXPECT_EQ(CWorkerThread::ForcedEnds(), forcedBefore);
    ASSERT_TRUE(TryEnterCriticalSection(&shared.lock)) << "the lock was left held";
    LeaveCriticalSection(&shared.lock);
    DeleteCriticalSection(&shared.lock);
    CloseHandle(shared.go);
}

// Holds a lock for 600 ms inside a critical stretch, past the stop's wait,
// pausing now and then while it holds it; then pauses forever without ever
// looking at its flag.
DWORD WINAPI LockHoldingWorker(LPVOID argument) {
    auto* shared = static_cast<Shared*>(argument);
    {
        CWorkerThread::CriticalStretch stretch(shared->thread);
        EnterCriticalSection(&shared->lock);
        SetEvent(shared->go);
        for (int i = 0; i < 60; ++i) {
            Sleep(10);
            shared->thread.Pause(0);  // not open to a forced end inside the stretch
        }
        LeaveCriticalSection(&shared->lock);
        InterlockedExchange(&shared->stretchLeft, 1);
    }
    for (;;) shared->thread.Pause(1);
}

TEST(WorkerThread, AForcedEndWaitsForTheCriticalStretch) {
    Shared shared;
    InitializeCriticalSection(&shared.lock);
    shared.go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(shared.thread.Start(LockHoldingWorker, &shared));
    ASSERT_EQ(WaitForSingleObject(shared.go, 5000), WAIT_OBJECT_0);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(shared.thread.Stop(), CWorkerThread::StopOutcome::Forced);
    EXPECT_EQ(shared.stretchLeft, 1);
    EXPECT_GE(Elapsed(start), 400u);
    // The lock is free: the thread was not ended while holding it.
    ASSERT_TRUE(TryEnterCriticalSection(&shared.lock));
    LeaveCriticalSection(&shared.lock);
    DeleteCriticalSection(&shared.lock);
    CloseHandle(shared.go);
}

// The frame thread's pause: a committed slot wakes it long before the
// pause would end, and so does a stop.
DWORD WINAPI WakeableWorker(LPVOID argument) {
    auto* shared = static_cast<Shared*>(argument);
    while (shared->thread.PauseUntil(shared->go, 3000)) InterlockedIncrement(&shared->pingAnswered);
    return 0;
}

TEST(WorkerThread, PauseUntilWakesOnItsEventAndOnTheStop) {
    Shared shared;
    shared.go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(shared.thread.Start(WakeableWorker, &shared));
    const ULONGLONG start = GetTickCount64();
    for (int wake = 1; wake <= 3; ++wake) {
        SetEvent(shared.go);
        while (shared.pingAnswered < wake && Elapsed(start) < 2500) Sleep(1);
    }
    const LONG wakes = shared.pingAnswered;
    EXPECT_EQ(wakes, 3);
    EXPECT_LT(Elapsed(start), 2500u) << "three wakes, no pause ran out";
    const ULONGLONG stop = GetTickCount64();
    EXPECT_EQ(shared.thread.Stop(kEndWaitMs), CWorkerThread::StopOutcome::Ended);
    EXPECT_LT(Elapsed(stop), kEndWaitMs + 500);
    CloseHandle(shared.go);
}

TEST(WorkerThread, WaitHandlingSentMessagesTimesOut) {
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(WaitHandlingSentMessages(never, 100));
    EXPECT_GE(Elapsed(start), 90u);
    SetEvent(never);
    EXPECT_TRUE(WaitHandlingSentMessages(never, 100));
    CloseHandle(never);
}

}  // namespace
}  // namespace pavix

// Stopping the engine's worker threads: within the wait, without a forced
// end, even while a worker waits for the stopping thread's window; and a
// forced end never inside a critical stretch.

#include "app/worker_thread.h"

#include <gtest/gtest.h>

#include <ostream>

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
    }
    return out << "?";
}

namespace {

constexpr UINT kPing = WM_APP + 7;

DWORD Elapsed(ULONGLONG since) { return static_cast<DWORD>(GetTickCount64() - since); }

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
    EXPECT_EQ(shared.thread.Stop(), CWorkerThread::StopOutcome::Ended);
    EXPECT_FALSE(shared.thread.IsStarted());
    EXPECT_EQ(shared.thread.Stop(), CWorkerThread::StopOutcome::NotRunning);
}

TEST(WorkerThread, CanBeStartedAgainAfterAStop) {
    Shared shared;
    ASSERT_TRUE(shared.thread.Start(PausingWorker, &shared));
    EXPECT_EQ(shared.thread.Stop(), CWorkerThread::StopOutcome::Ended);
    ASSERT_TRUE(shared.thread.Start(PausingWorker, &shared));
    EXPECT_TRUE(shared.thread.IsRunRequested());
    EXPECT_EQ(shared.thread.Stop(), CWorkerThread::StopOutcome::Ended);
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
    EXPECT_EQ(shared.thread.Stop(), CWorkerThread::StopOutcome::Ended);
    EXPECT_EQ(shared.pingAnswered, 1);
    DestroyWindow(shared.window);
    CloseHandle(shared.go);
}

DWORD WINAPI DeafWorker(LPVOID) {
    for (;;) Sleep(10);  // never looks at its run flag, never pauses
}

TEST(WorkerThread, AWorkerThatNeverPausesIsEndedOnlyAsTheLastResort) {
    CWorkerThread thread;
    const long forcedBefore = CWorkerThread::ForcedEnds();
    ASSERT_TRUE(thread.Start(DeafWorker, nullptr));
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(thread.Stop(), CWorkerThread::StopOutcome::Forced);
    EXPECT_GE(Elapsed(start), kWorkerStopWaitMs + kWorkerLastResortMs - 50);
    EXPECT_LT(Elapsed(start), kWorkerStopWaitMs + kWorkerLastResortMs + 5000);
    EXPECT_EQ(CWorkerThread::ForcedEnds(), forcedBefore + 1);
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
    EXPECT_EQ(shared.thread.Stop(), CWorkerThread::StopOutcome::Ended);
    EXPECT_LT(Elapsed(stop), kWorkerStopWaitMs);
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

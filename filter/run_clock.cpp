#include "filter/run_clock.h"

namespace {

constexpr LONGLONG kUnitsPerSecond = 10000000;  // 100 ns units
constexpr LONGLONG kUnitsPerMs = 10000;

// CreateWaitableTimerExW's flag for a timer that keeps to its due time to
// well under a millisecond instead of the system tick (up to 15.6 ms);
// Windows 10 version 1803 and later. Older systems refuse the flag.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// A timer should never stay unsignalled past its due time; should it do so
// anyway, the wait ends this long after and the clock is read again.
constexpr DWORD kTimerSlackMs = 50;

}  // namespace

CRunClock::CRunClock() : m_timer(nullptr), m_highResolution(false) {
    QueryPerformanceFrequency(&m_frequency);
    QueryPerformanceCounter(&m_start);
    const DWORD access = TIMER_MODIFY_STATE | SYNCHRONIZE;
    m_timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, access);
    m_highResolution = m_timer != nullptr;
    if (m_timer == nullptr) {
        m_timer = CreateWaitableTimerExW(nullptr, nullptr, 0, access);
    }
}

CRunClock::~CRunClock() {
    if (m_timer != nullptr) {
        CloseHandle(m_timer);
    }
}

void CRunClock::Start() {
    QueryPerformanceCounter(&m_start);
}

REFERENCE_TIME CRunClock::Elapsed() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const LONGLONG ticks = now.QuadPart - m_start.QuadPart;
    const LONGLONG frequency = m_frequency.QuadPart;
    // Whole seconds and the rest apart: ticks x 10^7 alone would overflow
    // after a day or so of counting.
    return ticks / frequency * kUnitsPerSecond + ticks % frequency * kUnitsPerSecond / frequency;
}

void CRunClock::WaitUntil(REFERENCE_TIME due) const {
    for (;;) {
        const REFERENCE_TIME left = due - Elapsed();
        if (left <= 0) {
            return;
        }
        const DWORD leftMs = static_cast<DWORD>((left + kUnitsPerMs - 1) / kUnitsPerMs);
        LARGE_INTEGER relative;
        relative.QuadPart = -left;  // negative: relative to now, in 100 ns units
        if (m_timer != nullptr && SetWaitableTimer(m_timer, &relative, 0, nullptr, nullptr, FALSE)) {
            WaitForSingleObject(m_timer, leftMs + kTimerSlackMs);
        } else {
            Sleep(leftMs);
        }
    }
}

ULONGLONG PreciseTickMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<ULONGLONG>(now.QuadPart / (frequency.QuadPart / 1000));
}

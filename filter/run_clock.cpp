#include "filter/run_clock.h"

namespace {

constexpr LONGLONG kUnitsPerSecond = 10000000;  // 100 ns units
constexpr LONGLONG kUnitsPerMs = 10000;

}  // namespace

CRunClock::CRunClock() {
    QueryPerformanceFrequency(&m_frequency);
    QueryPerformanceCounter(&m_start);
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
        Sleep(static_cast<DWORD>((left + kUnitsPerMs - 1) / kUnitsPerMs));
    }
}

#pragma once

// The time since the start of a stream's run, for pacing samples by
// deadline: the pin starts the clock with the first sample of a run and
// waits until each later sample's stamp is due, so samples go out at the
// rate their stamps claim however long each one took to make. The waits
// run on a high-resolution waitable timer where Windows has one (Windows 10
// version 1803 on), else on a plain waitable timer.

#include <windows.h>
#include <strmif.h>

class CRunClock {
public:
    CRunClock();
    ~CRunClock();
    CRunClock(const CRunClock&) = delete;
    CRunClock& operator=(const CRunClock&) = delete;

    // Now is time 0 of the run.
    void Start();
    // Time since Start, in 100 ns units.
    REFERENCE_TIME Elapsed() const;
    // Returns once `due` (100 ns units since Start) has come; at once when
    // it has passed already.
    void WaitUntil(REFERENCE_TIME due) const;
    // Whether the waits have the high-resolution timer.
    bool HighResolution() const { return m_highResolution; }

private:
    LARGE_INTEGER m_frequency;
    LARGE_INTEGER m_start;
    HANDLE m_timer;  // null: Sleep paces the waits
    bool m_highResolution;
};

// Milliseconds on the performance counter, from an origin of its own: for
// deadlines of a few tens of milliseconds, which GetTickCount64 (its tick
// up to 16 ms) would miss by half.
ULONGLONG PreciseTickMs();

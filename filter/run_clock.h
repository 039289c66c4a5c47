#pragma once

// The time since the start of a stream's run, for pacing samples by
// deadline: the pin starts the clock with the first sample of a run and
// waits until each later sample's stamp is due, so samples go out at the
// rate their stamps claim however long each one took to make.

#include <windows.h>
#include <strmif.h>

class CRunClock {
public:
    CRunClock();

    // Now is time 0 of the run.
    void Start();
    // Time since Start, in 100 ns units.
    REFERENCE_TIME Elapsed() const;
    // Returns once `due` (100 ns units since Start) has come; at once when
    // it has passed already.
    void WaitUntil(REFERENCE_TIME due) const;

private:
    LARGE_INTEGER m_frequency;
    LARGE_INTEGER m_start;
};

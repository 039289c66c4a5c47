#pragma once

// CRovoFilter, the virtual camera "Pavix": a live source filter with one
// output pin, "Capture" (CRovoCapturePin), that hands every capture
// application the shared frame buffer's picture.

#include <windows.h>
#include <strmif.h>

#include "filter/dshow/source.h"

class CRovoFilter : public CSource {
public:
    // The factory's creation function: the new filter, or null. Failures
    // are stored in `phr` (when given); the caller destroys a filter
    // returned with a failure.
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN pUnk, HRESULT* phr);

    // A live source cannot cue: VFW_S_CANT_CUE while paused.
    STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;

private:
    explicit CRovoFilter(LPUNKNOWN pUnk);
};

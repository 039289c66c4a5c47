#include "filter/rovo_filter.h"

#include <vfwmsgs.h>

#include <new>

#include "filter/rovo_capture_pin.h"
#include "shared/rovo_filter_clsid.h"

CRovoFilter::CRovoFilter(LPUNKNOWN pUnk) : CSource(nullptr, pUnk, CLSID_RovoFilter) {}

CUnknown* WINAPI CRovoFilter::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) {
    auto* filter = new (std::nothrow) CRovoFilter(pUnk);
    if (filter == nullptr) {
        if (phr != nullptr) {
            *phr = E_OUTOFMEMORY;
        }
        return nullptr;
    }
    CAutoLock lock(filter->pStateLock());
    // The pin adds itself to the filter's stream array, which owns it.
    auto* pin = new (std::nothrow) CRovoCapturePin(phr, filter, L"Capture");
    if (pin == nullptr && phr != nullptr) {
        *phr = E_OUTOFMEMORY;
    }
    return filter;
}

STDMETHODIMP CRovoFilter::GetState(DWORD /*dwMilliSecsTimeout*/, FILTER_STATE* State) {
    if (State == nullptr) {
        return E_POINTER;
    }
    *State = m_State;
    return *State == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

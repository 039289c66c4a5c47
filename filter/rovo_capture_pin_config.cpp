// The capture pin's configuration interfaces: IAMStreamConfig,
// IKsPropertySet and IAMPushSource.

#include <windows.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>

#include "filter/capture_formats.h"
#include "filter/rovo_capture_pin.h"

// --- IAMStreamConfig ----------------------------------------------------------

STDMETHODIMP CRovoCapturePin::SetFormat(AM_MEDIA_TYPE* pmt) {
    CAutoLock lock(m_pFilter->pStateLock());
    if (pmt == nullptr) {
        return E_POINTER;
    }
    // Stored as the connection type as it is: neither checked nor used to
    // reconnect. A connection replaces it with the type agreed then.
    HRESULT hr = S_OK;
    CMediaType wanted(*pmt, &hr);
    if (FAILED(hr)) {
        return hr;
    }
    return CBasePin::SetMediaType(&wanted);
}

STDMETHODIMP CRovoCapturePin::GetFormat(AM_MEDIA_TYPE** ppmt) {
    if (ppmt == nullptr) {
        return E_POINTER;
    }
    *ppmt = pavix::CreateOfferedMediaType();
    return *ppmt != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CRovoCapturePin::GetNumberOfCapabilities(int* piCount, int* piSize) {
    if (piCount == nullptr || piSize == nullptr) {
        return E_POINTER;
    }
    *piCount = 1;
    *piSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP CRovoCapturePin::GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) {
    if (iIndex < 0) {
        return E_INVALIDARG;
    }
    if (iIndex > 0) {
        return S_FALSE;
    }
    if (pSCC == nullptr || ppmt == nullptr) {
        return E_POINTER;
    }
    *ppmt = pavix::CreateOfferedMediaType();
    if (*ppmt == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(pSCC, &pavix::CaptureCaps(), sizeof(VIDEO_STREAM_CONFIG_CAPS));
    return S_OK;
}

// --- IAMLatency and IAMPushSource: a live source without these controls -------

STDMETHODIMP CRovoCapturePin::GetLatency(REFERENCE_TIME* /*prtLatency*/) {
    return E_NOTIMPL;
}

STDMETHODIMP CRovoCapturePin::GetPushSourceFlags(ULONG* pFlags) {
    // The flags are filled in, yet the answer stays "not implemented": what
    // capture applications have always been given.
    if (pFlags != nullptr) {
        *pFlags = AM_PUSHSOURCECAPS_INTERNAL_RM;
    }
    return E_NOTIMPL;
}

STDMETHODIMP CRovoCapturePin::SetPushSourceFlags(ULONG /*Flags*/) {
    return E_NOTIMPL;
}

STDMETHODIMP CRovoCapturePin::SetStreamOffset(REFERENCE_TIME /*rtOffset*/) {
    return E_NOTIMPL;
}

STDMETHODIMP CRovoCapturePin::GetStreamOffset(REFERENCE_TIME* /*prtOffset*/) {
    return E_NOTIMPL;
}

STDMETHODIMP CRovoCapturePin::GetMaxStreamOffset(REFERENCE_TIME* /*prtMaxOffset*/) {
    return E_NOTIMPL;
}

STDMETHODIMP CRovoCapturePin::SetMaxStreamOffset(REFERENCE_TIME /*rtMaxOffset*/) {
    return E_NOTIMPL;
}

// --- IKsPropertySet: the pin category ------------------------------------------

STDMETHODIMP CRovoCapturePin::Set(REFGUID /*guidPropSet*/, DWORD /*dwPropID*/,
                                  LPVOID /*pInstanceData*/, DWORD /*cbInstanceData*/,
                                  LPVOID /*pPropData*/, DWORD /*cbPropData*/) {
    return E_NOTIMPL;
}

STDMETHODIMP CRovoCapturePin::Get(REFGUID guidPropSet, DWORD dwPropID,
                                  LPVOID /*pInstanceData*/, DWORD /*cbInstanceData*/,
                                  LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) {
    if (guidPropSet != AMPROPSETID_Pin) {
        return E_PROP_SET_UNSUPPORTED;
    }
    if (dwPropID != AMPROPERTY_PIN_CATEGORY) {
        return E_PROP_ID_UNSUPPORTED;
    }
    if (pPropData == nullptr && pcbReturned == nullptr) {
        return E_POINTER;
    }
    if (pcbReturned != nullptr) {
        *pcbReturned = sizeof(GUID);
    }
    if (pPropData == nullptr) {
        return S_OK;  // a size query
    }
    if (cbPropData < sizeof(GUID)) {
        return E_UNEXPECTED;
    }
    std::memcpy(pPropData, &PIN_CATEGORY_CAPTURE, sizeof(GUID));
    return S_OK;
}

STDMETHODIMP CRovoCapturePin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID,
                                             DWORD* pTypeSupport) {
    if (guidPropSet != AMPROPSETID_Pin) {
        return E_PROP_SET_UNSUPPORTED;
    }
    if (dwPropID != AMPROPERTY_PIN_CATEGORY) {
        return E_PROP_ID_UNSUPPORTED;
    }
    if (pTypeSupport != nullptr) {
        *pTypeSupport = KSPROPERTY_SUPPORT_GET;
    }
    return S_OK;
}

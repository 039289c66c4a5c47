// The capture pin's configuration interfaces: IAMStreamConfig,
// IKsPropertySet and IAMPushSource.

#include <windows.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>

#include "filter/capture_formats.h"
#include "filter/dshow/media_type.h"
#include "filter/rovo_capture_pin.h"

// --- IAMStreamConfig ----------------------------------------------------------

namespace {

// Breaks the pin's connection and makes it again through the filter's
// graph, with `type` the only one the pin now offers.
HRESULT ReconnectThroughGraph(IBaseFilter* filter, IPin* pin, const AM_MEDIA_TYPE* type) {
    FILTER_INFO info = {};
    HRESULT hr = filter->QueryFilterInfo(&info);
    if (FAILED(hr)) {
        return hr;
    }
    if (info.pGraph == nullptr) {
        return VFW_E_NOT_IN_GRAPH;
    }
    IFilterGraph2* graph2 = nullptr;
    if (SUCCEEDED(info.pGraph->QueryInterface(IID_IFilterGraph2, reinterpret_cast<void**>(&graph2)))) {
        hr = graph2->ReconnectEx(pin, type);
        graph2->Release();
    } else {
        hr = info.pGraph->Reconnect(pin);
    }
    info.pGraph->Release();
    return hr;
}

}  // namespace

STDMETHODIMP CRovoCapturePin::SetFormat(AM_MEDIA_TYPE* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    pavix::CameraType wantedType;
    if (!pavix::CameraTypeOf(*pmt, &wantedType)) {
        return VFW_E_INVALIDMEDIATYPE;
    }
    HRESULT hr = S_OK;
    CMediaType wanted(*pmt, &hr);
    if (FAILED(hr)) {
        return hr;
    }
    CMediaType previous;
    bool hadPrevious = false;
    {
        CAutoLock lock(m_pFilter->pStateLock());
        if (!IsStopped()) {
            return VFW_E_NOT_STOPPED;
        }
        if (IsConnected()) {
            pavix::CameraType connected;
            const bool same = pavix::CameraTypeOf(m_mt, &connected) &&
                              pavix::SameCameraType(connected, wantedType);
            // The peer is asked first: a type it refuses leaves the
            // connection as it is.
            if (!same && GetConnected()->QueryAccept(&wanted) != S_OK) {
                return VFW_E_INVALIDMEDIATYPE;
            }
        }
        CAutoLock typeLock(&m_typeLock);
        hr = previous.Set(m_mtFormatSet);
        if (FAILED(hr)) {
            return hr;
        }
        hadPrevious = m_bFormatSet;
        hr = m_mtFormatSet.Set(wanted);
        if (FAILED(hr)) {
            return hr;
        }
        m_bFormatSet = true;
        ++m_lTypesVersion;
        pavix::CameraType connected;
        if (!IsConnected() ||
            (pavix::CameraTypeOf(m_mt, &connected) && pavix::SameCameraType(connected, wantedType))) {
            return S_OK;
        }
    }
    // Connected with another type: the graph reconnects both pins, outside
    // the filter lock (it calls back into this pin). The graph restores the
    // old connection where the new one fails.
    hr = ReconnectThroughGraph(m_pFilter, this, &wanted);
    if (FAILED(hr)) {
        CAutoLock typeLock(&m_typeLock);
        if (hadPrevious) {
            m_mtFormatSet.Set(previous);
        }
        m_bFormatSet = hadPrevious;
        ++m_lTypesVersion;
        return hr == VFW_E_NOT_IN_GRAPH ? hr : VFW_E_INVALIDMEDIATYPE;
    }
    return S_OK;
}

STDMETHODIMP CRovoCapturePin::GetFormat(AM_MEDIA_TYPE** ppmt) {
    if (ppmt == nullptr) {
        return E_POINTER;
    }
    // The connection type, else the one SetFormat chose, else the preferred.
    CAutoLock lock(m_pFilter->pStateLock());
    if (IsConnected()) {
        *ppmt = CreateMediaType(&m_mt);
    } else {
        CAutoLock typeLock(&m_typeLock);
        *ppmt = m_bFormatSet ? CreateMediaType(&m_mtFormatSet)
                             : pavix::CreateCaptureMediaType(pavix::PreferredCaptureType());
    }
    return *ppmt != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CRovoCapturePin::GetNumberOfCapabilities(int* piCount, int* piSize) {
    if (piCount == nullptr || piSize == nullptr) {
        return E_POINTER;
    }
    *piCount = pavix::kCaptureTypeCount;
    *piSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP CRovoCapturePin::GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) {
    if (iIndex < 0) {
        return E_INVALIDARG;
    }
    if (iIndex >= pavix::kCaptureTypeCount) {
        return S_FALSE;
    }
    if (pSCC == nullptr || ppmt == nullptr) {
        return E_POINTER;
    }
    const pavix::CameraType type = pavix::CaptureType(iIndex);
    *ppmt = pavix::CreateCaptureMediaType(type);
    if (*ppmt == nullptr) {
        return E_OUTOFMEMORY;
    }
    const VIDEO_STREAM_CONFIG_CAPS caps = pavix::CapsOf(type);
    std::memcpy(pSCC, &caps, sizeof(caps));
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

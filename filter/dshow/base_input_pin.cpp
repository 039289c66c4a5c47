#include "filter/dshow/base_input_pin.h"

#include <uuids.h>
#include <vfwmsgs.h>

CBaseInputPin::CBaseInputPin(const WCHAR* pObjectName, CBaseFilter* pFilter, CCritSec* pLock,
                             HRESULT* phr, LPCWSTR pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_INPUT),
      m_pAllocator(nullptr),
      m_bReadOnly(FALSE),
      m_bFlushing(FALSE),
      m_bAtEndOfStream(FALSE) {}

CBaseInputPin::~CBaseInputPin() {
    if (m_pAllocator != nullptr) {
        m_pAllocator->Release();
    }
}

STDMETHODIMP CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IMemInputPin) {
        return GetInterface(static_cast<IMemInputPin*>(this), ppv);
    }
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** ppAllocator) {
    if (ppAllocator == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    if (m_pAllocator == nullptr) {
        HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IMemAllocator, reinterpret_cast<void**>(&m_pAllocator));
        if (FAILED(hr)) {
            m_pAllocator = nullptr;
            *ppAllocator = nullptr;
            return hr;
        }
    }
    *ppAllocator = m_pAllocator;
    m_pAllocator->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) {
    if (pAllocator == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    pAllocator->AddRef();
    if (m_pAllocator != nullptr) {
        m_pAllocator->Release();
    }
    m_pAllocator = pAllocator;
    m_bReadOnly = bReadOnly;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* /*pProps*/) {
    return E_NOTIMPL;  // no requirements of its own
}

HRESULT CBaseInputPin::CheckStreaming() {
    if (IsStopped()) {
        return VFW_E_WRONG_STATE;
    }
    if (m_bFlushing) {
        return S_FALSE;
    }
    if (m_bAtEndOfStream) {
        return VFW_E_SAMPLE_REJECTED_EOS;
    }
    return S_OK;
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* pSample) {
    if (pSample == nullptr) {
        return E_POINTER;
    }
    return CheckStreaming();
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** pSamples, long nSamples,
                                            long* nSamplesProcessed) {
    if (pSamples == nullptr || nSamplesProcessed == nullptr) {
        return E_POINTER;
    }
    HRESULT hr = S_OK;
    *nSamplesProcessed = 0;
    while (*nSamplesProcessed < nSamples) {
        hr = Receive(pSamples[*nSamplesProcessed]);
        if (hr != S_OK) {
            break;
        }
        ++*nSamplesProcessed;
    }
    return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock() {
    return S_OK;  // a derived pin may do file or device work in Receive
}

STDMETHODIMP CBaseInputPin::EndOfStream() {
    CAutoLock lock(m_pLock);
    HRESULT hr = CheckStreaming();
    if (hr == S_OK) {
        m_bAtEndOfStream = TRUE;
    }
    return hr == VFW_E_SAMPLE_REJECTED_EOS ? S_OK : hr;
}

STDMETHODIMP CBaseInputPin::BeginFlush() {
    CAutoLock lock(m_pLock);
    m_bFlushing = TRUE;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush() {
    CAutoLock lock(m_pLock);
    m_bFlushing = FALSE;
    m_bAtEndOfStream = FALSE;
    return S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
    if (m_pAllocator != nullptr) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    m_bReadOnly = FALSE;
    return S_OK;
}

HRESULT CBaseInputPin::Active() {
    m_bAtEndOfStream = FALSE;
    m_bFlushing = FALSE;
    return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
    m_bAtEndOfStream = FALSE;
    m_bFlushing = FALSE;
    return S_OK;
}

#include "filter/dshow/base_filter.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <cwchar>
#include <new>

#include "filter/dshow/base_pin.h"
#include "filter/dshow/enum_pins.h"

CBaseFilter::CBaseFilter(const WCHAR* pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid)
    : CUnknown(pName, pUnk),
      m_State(State_Stopped),
      m_pClock(nullptr),
      m_tStart(0),
      m_clsid(clsid),
      m_pLock(pLock),
      m_pName(nullptr),
      m_pGraph(nullptr),
      m_pSink(nullptr),
      m_PinVersion(1) {}

CBaseFilter::~CBaseFilter() {
    delete[] m_pName;
    if (m_pClock != nullptr) {
        m_pClock->Release();
    }
}

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IBaseFilter) {
        return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    }
    if (riid == IID_IMediaFilter) {
        return GetInterface(static_cast<IMediaFilter*>(this), ppv);
    }
    if (riid == IID_IPersist) {
        return GetInterface(static_cast<IPersist*>(this), ppv);
    }
    if (riid == IID_IAMovieSetup) {
        return GetInterface(static_cast<IAMovieSetup*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* pClsID) {
    if (pClsID == nullptr) {
        return E_POINTER;
    }
    *pClsID = m_clsid;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Stop() {
    CAutoLock lock(m_pLock);
    HRESULT result = S_OK;
    if (m_State != State_Stopped) {
        int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                HRESULT hr = pin->Inactive();
                if (FAILED(hr) && SUCCEEDED(result)) {
                    result = hr;
                }
            }
        }
    }
    m_State = State_Stopped;
    return result;
}

STDMETHODIMP CBaseFilter::Pause() {
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped) {
        int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                HRESULT hr = pin->Active();
                if (FAILED(hr)) {
                    return hr;
                }
            }
        }
    }
    m_State = State_Paused;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME tStart) {
    CAutoLock lock(m_pLock);
    m_tStart = tStart;
    if (m_State == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (m_State != State_Running) {
        int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            CBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                HRESULT hr = pin->Run(tStart);
                if (FAILED(hr)) {
                    return hr;
                }
            }
        }
    }
    m_State = State_Running;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD /*dwMilliSecsTimeout*/, FILTER_STATE* State) {
    if (State == nullptr) {
        return E_POINTER;
    }
    *State = m_State;
    return S_OK;
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME* now) {
    if (now == nullptr) {
        return E_POINTER;
    }
    IReferenceClock* clock = m_pClock;
    if (clock == nullptr) {
        return VFW_E_NO_CLOCK;
    }
    if (m_State != State_Running) {
        return VFW_E_NOT_RUNNING;
    }
    REFERENCE_TIME time = 0;
    HRESULT hr = clock->GetTime(&time);
    if (FAILED(hr)) {
        return hr;
    }
    *now = time - m_tStart;
    return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* pClock) {
    CAutoLock lock(m_pLock);
    if (pClock != nullptr) {
        pClock->AddRef();
    }
    if (m_pClock != nullptr) {
        m_pClock->Release();
    }
    m_pClock = pClock;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** pClock) {
    if (pClock == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    *pClock = m_pClock;
    if (m_pClock != nullptr) {
        m_pClock->AddRef();
    }
    return S_OK;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    auto* pins = new (std::nothrow) CEnumPins(this, nullptr);
    if (pins == nullptr) {
        *ppEnum = nullptr;
        return E_OUTOFMEMORY;
    }
    return pins->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void**>(ppEnum));
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR Id, IPin** ppPin) {
    if (Id == nullptr || ppPin == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    int count = GetPinCount();
    for (int i = 0; i < count; ++i) {
        CBasePin* pin = GetPin(i);
        if (pin == nullptr) {
            continue;
        }
        LPWSTR pinId = nullptr;
        if (SUCCEEDED(pin->QueryId(&pinId))) {
            bool same = std::wcscmp(pinId, Id) == 0;
            CoTaskMemFree(pinId);
            if (same) {
                *ppPin = pin;
                pin->AddRef();
                return S_OK;
            }
        }
    }
    *ppPin = nullptr;
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* pInfo) {
    if (pInfo == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    pInfo->achName[0] = L'\0';
    if (m_pName != nullptr) {
        wcsncpy(pInfo->achName, m_pName, MAX_FILTER_NAME - 1);
        pInfo->achName[MAX_FILTER_NAME - 1] = L'\0';
    }
    pInfo->pGraph = m_pGraph;
    if (m_pGraph != nullptr) {
        m_pGraph->AddRef();
    }
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) {
    CAutoLock lock(m_pLock);
    WCHAR* name = nullptr;
    if (pName != nullptr) {
        size_t length = std::wcslen(pName);
        name = new (std::nothrow) WCHAR[length + 1];
        if (name == nullptr) {
            return E_OUTOFMEMORY;
        }
        std::wmemcpy(name, pName, length + 1);
    }
    delete[] m_pName;
    m_pName = name;

    m_pGraph = pGraph;
    m_pSink = nullptr;
    if (pGraph != nullptr) {
        IMediaEventSink* sink = nullptr;
        if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink,
                                             reinterpret_cast<void**>(&sink)))) {
            m_pSink = sink;
            sink->Release();  // weak, like the graph itself
        }
    }
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR* pVendorInfo) {
    if (pVendorInfo == nullptr) {
        return E_POINTER;
    }
    *pVendorInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CBaseFilter::Register() {
    return S_FALSE;
}

STDMETHODIMP CBaseFilter::Unregister() {
    return S_FALSE;
}

LONG CBaseFilter::GetPinVersion() {
    return InterlockedCompareExchange(&m_PinVersion, 0, 0);
}

void CBaseFilter::IncrementPinVersion() {
    InterlockedIncrement(&m_PinVersion);
}

HRESULT CBaseFilter::NotifyEvent(long eventCode, LONG_PTR param1, LONG_PTR param2) {
    IMediaEventSink* sink = m_pSink;
    if (sink == nullptr) {
        return E_NOTIMPL;
    }
    if (eventCode == EC_COMPLETE) {
        // EC_COMPLETE names the filter that completed.
        param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    }
    return sink->Notify(eventCode, param1, param2);
}

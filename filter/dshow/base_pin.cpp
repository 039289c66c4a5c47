#include "filter/dshow/base_pin.h"

#include <vfwmsgs.h>

#include <cstring>
#include <cwchar>
#include <new>

#include "filter/dshow/enum_media_types.h"

namespace {

WCHAR* CopyName(LPCWSTR name) {
    if (name == nullptr) {
        return nullptr;
    }
    size_t length = std::wcslen(name);
    auto* copy = new (std::nothrow) WCHAR[length + 1];
    if (copy != nullptr) {
        std::wmemcpy(copy, name, length + 1);
    }
    return copy;
}

}  // namespace

CBasePin::CBasePin(const WCHAR* pObjectName, CBaseFilter* pFilter, CCritSec* pLock,
                   HRESULT* phr, LPCWSTR pName, PIN_DIRECTION dir)
    : CUnknown(pObjectName, nullptr),
      m_pName(CopyName(pName)),
      m_Connected(nullptr),
      m_dir(dir),
      m_pLock(pLock),
      m_pFilter(pFilter),
      m_tStart(0),
      m_tStop(MAXLONGLONG),
      m_dRate(1.0),
      m_pQSink(nullptr) {
    if (pName != nullptr && m_pName == nullptr && phr != nullptr) {
        *phr = E_OUTOFMEMORY;
    }
}

CBasePin::~CBasePin() {
    delete[] m_pName;
}

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IPin) {
        return GetInterface(static_cast<IPin*>(this), ppv);
    }
    if (riid == IID_IQualityControl) {
        return GetInterface(static_cast<IQualityControl*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingAddRef() {
    return m_pFilter->AddRef();
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingRelease() {
    return m_pFilter->Release();
}

STDMETHODIMP CBasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
    if (pReceivePin == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    if (m_Connected != nullptr) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    if (pmt == nullptr) {
        return AgreeMediaType(pReceivePin, nullptr);
    }
    HRESULT hr = S_OK;
    CMediaType wanted(*pmt, &hr);
    if (FAILED(hr)) {
        return hr;
    }
    return AgreeMediaType(pReceivePin, &wanted);
}

HRESULT CBasePin::AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt) {
    if (pmt != nullptr && !pmt->IsPartiallySpecified()) {
        return AttemptConnection(pReceivePin, pmt);
    }
    // Our own types first, then the peer's.
    for (int side = 0; side < 2; ++side) {
        IEnumMediaTypes* types = nullptr;
        HRESULT hr = side == 0 ? EnumMediaTypes(&types) : pReceivePin->EnumMediaTypes(&types);
        if (FAILED(hr) || types == nullptr) {
            continue;
        }
        hr = TryMediaTypes(pReceivePin, pmt, types);
        types->Release();
        if (SUCCEEDED(hr)) {
            return S_OK;
        }
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBasePin::TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt,
                                IEnumMediaTypes* pEnum) {
    if (FAILED(pEnum->Reset())) {
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    for (;;) {
        AM_MEDIA_TYPE* offered = nullptr;
        ULONG fetched = 0;
        if (pEnum->Next(1, &offered, &fetched) != S_OK || fetched != 1 || offered == nullptr) {
            return VFW_E_NO_ACCEPTABLE_TYPES;
        }
        HRESULT hr = S_OK;
        CMediaType candidate(*offered, &hr);
        DeleteMediaType(offered);
        if (FAILED(hr)) {
            continue;
        }
        if (pmt == nullptr || candidate.MatchesPartial(pmt)) {
            if (SUCCEEDED(AttemptConnection(pReceivePin, &candidate))) {
                return S_OK;
            }
        }
    }
}

HRESULT CBasePin::AttemptConnection(IPin* pReceivePin, const CMediaType* pmt) {
    HRESULT hr = CheckConnect(pReceivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    if (CheckMediaType(pmt) != S_OK) {
        BreakConnect();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    hr = SetMediaType(pmt);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    m_Connected = pReceivePin;
    m_Connected->AddRef();
    hr = pReceivePin->ReceiveConnection(this, pmt);
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(pReceivePin);
        if (SUCCEEDED(hr)) {
            return S_OK;
        }
        pReceivePin->Disconnect();
    }
    BreakConnect();
    m_Connected->Release();
    m_Connected = nullptr;
    return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
    if (pConnector == nullptr || pmt == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    if (m_Connected != nullptr) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    HRESULT hr = CheckConnect(pConnector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    CMediaType offered(*pmt, &hr);
    if (FAILED(hr) || CheckMediaType(&offered) != S_OK) {
        BreakConnect();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    hr = SetMediaType(&offered);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    m_Connected = pConnector;
    m_Connected->AddRef();
    hr = CompleteConnect(pConnector);
    if (FAILED(hr)) {
        m_Connected->Release();
        m_Connected = nullptr;
        BreakConnect();
        return hr;
    }
    return S_OK;
}

STDMETHODIMP CBasePin::Disconnect() {
    CAutoLock lock(m_pLock);
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    if (m_Connected == nullptr) {
        return S_FALSE;
    }
    HRESULT hr = BreakConnect();
    if (FAILED(hr)) {
        return hr;
    }
    m_Connected->Release();
    m_Connected = nullptr;
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pPin) {
    if (pPin == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    *pPin = m_Connected;
    if (m_Connected == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    m_Connected->AddRef();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pLock);
    if (m_Connected == nullptr) {
        std::memset(pmt, 0, sizeof(*pmt));
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* pInfo) {
    if (pInfo == nullptr) {
        return E_POINTER;
    }
    pInfo->pFilter = m_pFilter;
    m_pFilter->AddRef();
    pInfo->achName[0] = L'\0';
    if (m_pName != nullptr) {
        wcsncpy(pInfo->achName, m_pName, MAX_PIN_NAME - 1);
        pInfo->achName[MAX_PIN_NAME - 1] = L'\0';
    }
    pInfo->dir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* pPinDir) {
    if (pPinDir == nullptr) {
        return E_POINTER;
    }
    *pPinDir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* Id) {
    if (Id == nullptr) {
        return E_POINTER;
    }
    const WCHAR* name = m_pName != nullptr ? m_pName : L"";
    size_t bytes = (std::wcslen(name) + 1) * sizeof(WCHAR);
    *Id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*Id == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(*Id, name, bytes);
    return S_OK;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    HRESULT hr = S_OK;
    CMediaType proposed(*pmt, &hr);
    if (FAILED(hr)) {
        return hr;
    }
    return CheckMediaType(&proposed) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    auto* types = new (std::nothrow) CEnumMediaTypes(this, nullptr);
    if (types == nullptr) {
        *ppEnum = nullptr;
        return E_OUTOFMEMORY;
    }
    return types->NonDelegatingQueryInterface(IID_IEnumMediaTypes,
                                              reinterpret_cast<void**>(ppEnum));
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin** /*apPin*/, ULONG* /*nPin*/) {
    // Every input connects to every output, which is what E_NOTIMPL tells.
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    m_tStart = tStart;
    m_tStop = tStop;
    m_dRate = dRate;
    return S_OK;
}

STDMETHODIMP CBasePin::Notify(IBaseFilter* /*pSelf*/, Quality /*q*/) {
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::SetSink(IQualityControl* piqc) {
    CAutoLock lock(m_pLock);
    m_pQSink = piqc;
    return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType* pmt) {
    return m_mt.Set(*pmt);
}

HRESULT CBasePin::GetMediaType(int /*iPosition*/, CMediaType* /*pMediaType*/) {
    return E_UNEXPECTED;
}

LONG CBasePin::GetMediaTypeVersion() {
    return 1;  // the base offers a fixed list
}

HRESULT CBasePin::CheckConnect(IPin* pPin) {
    PIN_DIRECTION peer;
    HRESULT hr = pPin->QueryDirection(&peer);
    if (FAILED(hr)) {
        return hr;
    }
    return peer == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect() {
    return S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin* /*pReceivePin*/) {
    return S_OK;
}

HRESULT CBasePin::Active() {
    return S_OK;
}

HRESULT CBasePin::Inactive() {
    return S_OK;
}

HRESULT CBasePin::Run(REFERENCE_TIME /*tStart*/) {
    return S_OK;
}

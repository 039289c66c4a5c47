#include "filter/dshow/enum_pins.h"

#include <vfwmsgs.h>

#include <new>

#include "filter/dshow/base_pin.h"

CEnumPins::CEnumPins(CBaseFilter* pFilter, const CEnumPins* pCopyFrom)
    : CUnknown(L"CEnumPins", nullptr),
      m_pFilter(pFilter),
      m_Position(pCopyFrom != nullptr ? pCopyFrom->m_Position : 0),
      m_Version(pCopyFrom != nullptr ? pCopyFrom->m_Version : pFilter->GetPinVersion()) {
    m_pFilter->AddRef();
}

CEnumPins::~CEnumPins() {
    m_pFilter->Release();
}

STDMETHODIMP CEnumPins::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IEnumPins || riid == IID_IUnknown) {
        return GetInterface(static_cast<IEnumPins*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

BOOL CEnumPins::AreWeOutOfSync() const {
    return m_pFilter->GetPinVersion() != m_Version;
}

STDMETHODIMP CEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) {
    if (ppPins == nullptr || (pcFetched == nullptr && cPins != 1)) {
        return E_POINTER;
    }
    if (pcFetched != nullptr) {
        *pcFetched = 0;
    }
    if (AreWeOutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    ULONG fetched = 0;
    {
        CAutoLock lock(m_pFilter->FilterLock());
        int count = m_pFilter->GetPinCount();
        while (fetched < cPins && m_Position < count) {
            CBasePin* pin = m_pFilter->GetPin(m_Position++);
            if (pin == nullptr) {
                continue;
            }
            ppPins[fetched] = pin;
            pin->AddRef();
            ++fetched;
        }
    }
    if (pcFetched != nullptr) {
        *pcFetched = fetched;
    }
    return fetched == cPins ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG cPins) {
    if (AreWeOutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    CAutoLock lock(m_pFilter->FilterLock());
    ULONG left = static_cast<ULONG>(m_pFilter->GetPinCount() - m_Position);
    if (cPins > left) {
        return S_FALSE;
    }
    m_Position += static_cast<int>(cPins);
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
    m_Version = m_pFilter->GetPinVersion();
    m_Position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    if (AreWeOutOfSync()) {
        *ppEnum = nullptr;
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    auto* copy = new (std::nothrow) CEnumPins(m_pFilter, this);
    if (copy == nullptr) {
        *ppEnum = nullptr;
        return E_OUTOFMEMORY;
    }
    return copy->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void**>(ppEnum));
}

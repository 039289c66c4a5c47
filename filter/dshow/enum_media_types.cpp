#include "filter/dshow/enum_media_types.h"

#include <vfwmsgs.h>

#include <new>

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pPin, const CEnumMediaTypes* pCopyFrom)
    : CUnknown(L"CEnumMediaTypes", nullptr),
      m_pPin(pPin),
      m_Position(pCopyFrom != nullptr ? pCopyFrom->m_Position : 0),
      m_Version(pCopyFrom != nullptr ? pCopyFrom->m_Version : pPin->GetMediaTypeVersion()) {
    m_pPin->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes() {
    m_pPin->Release();
}

STDMETHODIMP CEnumMediaTypes::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IEnumMediaTypes || riid == IID_IUnknown) {
        return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

BOOL CEnumMediaTypes::AreWeOutOfSync() const {
    return m_pPin->GetMediaTypeVersion() != m_Version;
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                   ULONG* pcFetched) {
    if (ppMediaTypes == nullptr || (pcFetched == nullptr && cMediaTypes != 1)) {
        return E_POINTER;
    }
    if (pcFetched != nullptr) {
        *pcFetched = 0;
    }
    if (AreWeOutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    ULONG fetched = 0;
    while (fetched < cMediaTypes) {
        CMediaType type;
        if (m_pPin->GetMediaType(m_Position, &type) != S_OK) {
            break;
        }
        AM_MEDIA_TYPE* copy = CreateMediaType(&type);
        if (copy == nullptr) {
            break;
        }
        ++m_Position;
        ppMediaTypes[fetched++] = copy;
    }
    if (pcFetched != nullptr) {
        *pcFetched = fetched;
    }
    return fetched == cMediaTypes ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG cMediaTypes) {
    if (AreWeOutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    while (cMediaTypes > 0) {
        CMediaType type;
        if (m_pPin->GetMediaType(m_Position, &type) != S_OK) {
            return S_FALSE;
        }
        ++m_Position;
        --cMediaTypes;
    }
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset() {
    m_Version = m_pPin->GetMediaTypeVersion();
    m_Position = 0;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    if (AreWeOutOfSync()) {
        *ppEnum = nullptr;
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    auto* copy = new (std::nothrow) CEnumMediaTypes(m_pPin, this);
    if (copy == nullptr) {
        *ppEnum = nullptr;
        return E_OUTOFMEMORY;
    }
    return copy->NonDelegatingQueryInterface(IID_IEnumMediaTypes,
                                             reinterpret_cast<void**>(ppEnum));
}

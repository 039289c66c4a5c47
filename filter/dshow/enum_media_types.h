#pragma once

// CEnumMediaTypes: IEnumMediaTypes over a CBasePin's preferred types
// (CBasePin::GetMediaType). Each type handed out is a task-allocated copy
// the caller deletes. Holds a reference to the pin (that is, its filter).

#include <windows.h>
#include <strmif.h>

#include "filter/dshow/base_pin.h"
#include "filter/dshow/unknown.h"

class CEnumMediaTypes : public CUnknown, public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin* pPin, const CEnumMediaTypes* pCopyFrom);
    ~CEnumMediaTypes() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    STDMETHODIMP Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                      ULONG* pcFetched) override;
    STDMETHODIMP Skip(ULONG cMediaTypes) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** ppEnum) override;

private:
    BOOL AreWeOutOfSync() const;

    CBasePin* m_pPin;
    int m_Position;
    LONG m_Version;
};

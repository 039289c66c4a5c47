#pragma once

// CEnumPins: IEnumPins over a CBaseFilter's pins. It holds a reference to
// the filter and reports VFW_E_ENUM_OUT_OF_SYNC once the filter's pins
// change, until Reset.

#include <windows.h>
#include <strmif.h>

#include "filter/dshow/base_filter.h"
#include "filter/dshow/unknown.h"

class CEnumPins : public CUnknown, public IEnumPins {
public:
    // A fresh enumerator, or a copy of `pCopyFrom`'s position and version.
    CEnumPins(CBaseFilter* pFilter, const CEnumPins* pCopyFrom);
    ~CEnumPins() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    STDMETHODIMP Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
    STDMETHODIMP Skip(ULONG cPins) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** ppEnum) override;

private:
    BOOL AreWeOutOfSync() const;

    CBaseFilter* m_pFilter;
    int m_Position;
    LONG m_Version;
};

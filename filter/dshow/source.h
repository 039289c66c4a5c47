#pragma once

// CSource: a source filter whose pins are CSourceStream output pins, each
// pushing samples from a thread of its own. The filter owns its state lock
// (also the filter lock of CBaseFilter) and the array of its streams, and
// destroys the streams with itself.

#include <windows.h>
#include <strmif.h>

#include "filter/dshow/base_filter.h"
#include "filter/dshow/crit_sec.h"

class CSourceStream;

class CSource : public CBaseFilter {
public:
    CSource(const WCHAR* pName, LPUNKNOWN lpunk, CLSID clsid);
    ~CSource() override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    CCritSec* pStateLock() { return &m_cStateLock; }

    // Streams add and remove themselves when they are made and destroyed.
    HRESULT AddPin(CSourceStream* pStream);
    HRESULT RemovePin(CSourceStream* pStream);

protected:
    int m_iPins;
    CSourceStream** m_paStreams;
    CCritSec m_cStateLock;
};

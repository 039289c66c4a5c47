#pragma once

// CBaseInputPin: an input pin that takes media samples through
// IMemInputPin.
//
// Allocators: the pin offers the system's memory allocator when asked
// (GetAllocator) and keeps whichever allocator the upstream pin settles on
// (NotifyAllocator). Streaming state: samples are refused while the filter
// is stopped (VFW_E_WRONG_STATE), while a flush is in progress (S_FALSE)
// and after the end of the stream (VFW_E_SAMPLE_REJECTED_EOS), until the
// filter is paused again. A derived pin handles the sample in Receive after
// calling the base, which makes these checks.

#include <windows.h>
#include <strmif.h>

#include "filter/dshow/base_pin.h"

class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(const WCHAR* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                  LPCWSTR pName);
    ~CBaseInputPin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    STDMETHODIMP Receive(IMediaSample* pSample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** pSamples, long nSamples,
                                 long* nSamplesProcessed) override;
    STDMETHODIMP ReceiveCanBlock() override;

    // IPin, the input side.
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // S_OK when a sample may be taken now, else the reason it may not.
    HRESULT CheckStreaming();
    BOOL IsFlushing() const { return m_bFlushing; }
    BOOL IsReadOnly() const { return m_bReadOnly; }

protected:
    IMemAllocator* m_pAllocator;  // the agreed allocator, with a reference
    BOOL m_bReadOnly;             // the upstream pin keeps the samples' data
    volatile BOOL m_bFlushing;
    volatile BOOL m_bAtEndOfStream;
};

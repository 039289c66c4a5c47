#pragma once

// CBaseOutputPin: an output pin that pushes media samples into the
// IMemInputPin of its peer.
//
// Allocator negotiation when a connection completes: the peer's
// requirements are asked for, then the peer's allocator is tried and,
// failing that, the system's memory allocator (CLSID_MemoryAllocator); the
// derived class sizes the buffers (DecideBufferSize) and the peer is told
// which allocator was chosen. The allocator is committed when the filter
// pauses and decommitted when it stops, which also releases a streaming
// thread waiting for a buffer.

#include <windows.h>
#include <strmif.h>

#include "filter/dshow/base_pin.h"

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(const WCHAR* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                   LPCWSTR pName);
    ~CBaseOutputPin() override;

    // Sets the buffer count and size the pin needs on `pAlloc`; `pProp`
    // holds the peer's requirements.
    virtual HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) = 0;
    virtual HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc);
    // The system's memory allocator.
    virtual HRESULT InitAllocator(IMemAllocator** ppAlloc);

    // For the streaming thread.
    HRESULT GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                              REFERENCE_TIME* pEndTime, DWORD dwFlags);
    HRESULT Deliver(IMediaSample* pSample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Input-side calls: an output pin refuses them.
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

protected:
    IMemAllocator* m_pAllocator;  // the agreed allocator, with a reference
    IMemInputPin* m_pInputPin;    // the peer's transport, with a reference
};

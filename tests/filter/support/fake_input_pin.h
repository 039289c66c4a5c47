#pragma once

// A downstream input pin for testing output pins without a graph: IPin and
// IMemInputPin, with the types it accepts and offers, its own allocator or
// none, and a record of what reached it.

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <vector>

#include "filter/dshow/media_type.h"

namespace pavix::testing {

class FakeInputPin : public IPin, public IMemInputPin {
public:
    FakeInputPin();
    virtual ~FakeInputPin();

    // Set before connecting.
    std::vector<GUID> acceptedSubtypes;   // empty: accepts any video type
    std::vector<CMediaType> offered;      // its EnumMediaTypes
    bool ownAllocator = true;             // GetAllocator answers with one
    ALLOCATOR_PROPERTIES requirements = {};

    // What happened.
    std::atomic<int> receives{0};
    std::atomic<int> endOfStreams{0};
    std::atomic<int> beginFlushes{0};
    std::atomic<int> endFlushes{0};
    std::atomic<int> connectionAttempts{0};
    CMediaType connectedType;
    IPin* connector = nullptr;            // with a reference while connected
    IMemAllocator* offeredAllocator = nullptr;   // the one GetAllocator handed out
    IMemAllocator* notifiedAllocator = nullptr;  // the one NotifyAllocator named
    // Holds every received sample until released (a renderer that never
    // renders); samples are released at once otherwise.
    bool holdSamples = false;
    void ReleaseHeldSamples();

    // IUnknown: the object is owned by the test, not by its count.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPin
    STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override;
    STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pPin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir) override;
    STDMETHODIMP QueryId(LPWSTR* Id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    STDMETHODIMP QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    STDMETHODIMP Receive(IMediaSample* pSample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** pSamples, long nSamples,
                                 long* nSamplesProcessed) override;
    STDMETHODIMP ReceiveCanBlock() override;

private:
    bool Accepts(const AM_MEDIA_TYPE& type) const;

    CRITICAL_SECTION m_lock;
    std::vector<IMediaSample*> m_held;
    volatile LONG m_cRef = 1;
};

}  // namespace pavix::testing

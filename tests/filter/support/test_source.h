#pragma once

// A source filter built on our DirectShow base classes for testing them:
// its one pin offers and accepts configurable media types, fills small
// numbered samples and can end or fail the stream after a number of them.

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <vector>

#include "filter/dshow/source.h"
#include "filter/dshow/source_stream.h"

namespace pavix::testing {

// A test class id; the test source is never registered.
extern const CLSID kClsidTestSource;

// Video types that differ by subtype only, with a format block of `bytes`.
CMediaType MakeVideoType(const GUID& subtype, ULONG formatBytes = 16);

class TestStream : public CSourceStream {
public:
    TestStream(HRESULT* phr, CSource* filter);

    // Set before connecting or streaming.
    std::vector<CMediaType> offered;      // GetMediaType by position
    std::vector<GUID> acceptedSubtypes;   // CheckMediaType
    long buffers = 2;
    long bufferSize = 4096;
    int endAfter = -1;       // FillBuffer returns S_FALSE from this sample on
    int failAfter = -1;      // ... or this failure
    HRESULT failure = E_ACCESSDENIED;
    DWORD fillMs = 2;        // pause in each FillBuffer

    // What happened.
    std::atomic<int> fills{0};
    std::atomic<int> threadCreates{0};
    std::atomic<int> threadDestroys{0};
    ALLOCATOR_PROPERTIES requested = {};  // as DecideBufferSize found it

    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    IMemAllocator* Allocator() const { return m_pAllocator; }
};

class TestSource : public CSource {
public:
    // A new filter with one reference (as IBaseFilter), aggregated by
    // `outer` when given.
    static TestSource* Create(LPUNKNOWN outer = nullptr);

    TestStream* Stream() const { return m_stream; }
    LONG State() const { return m_State; }

private:
    explicit TestSource(LPUNKNOWN outer);
    TestStream* m_stream = nullptr;
};

}  // namespace pavix::testing

#pragma once

// Stand-ins for a media sample and an allocator, for calling a pin's
// FillBuffer and DecideBufferSize directly.

#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>

#include <cstdint>
#include <vector>

namespace pavix::testing {

class FakeSample : public IMediaSample {
public:
    explicit FakeSample(size_t size, uint8_t fill = 0xEE) : buffer(size, fill) {}
    virtual ~FakeSample() = default;

    std::vector<uint8_t> buffer;
    REFERENCE_TIME start = -1;
    REFERENCE_TIME stop = -1;
    int setTimes = 0;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetPointer(BYTE** ppBuffer) override;
    STDMETHODIMP_(LONG) GetSize() override { return static_cast<LONG>(buffer.size()); }
    STDMETHODIMP GetTime(REFERENCE_TIME* pStart, REFERENCE_TIME* pEnd) override;
    STDMETHODIMP SetTime(REFERENCE_TIME* pStart, REFERENCE_TIME* pEnd) override;
    STDMETHODIMP IsSyncPoint() override { return S_FALSE; }
    STDMETHODIMP SetSyncPoint(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP IsPreroll() override { return S_FALSE; }
    STDMETHODIMP SetPreroll(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP_(LONG) GetActualDataLength() override { return GetSize(); }
    STDMETHODIMP SetActualDataLength(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP IsDiscontinuity() override { return S_FALSE; }
    STDMETHODIMP SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
    STDMETHODIMP SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
};

// Grants what it is asked for, or at most `maxBuffer` bytes per buffer.
class FakeAllocator : public IMemAllocator {
public:
    virtual ~FakeAllocator() = default;

    long maxBuffer = 1 << 30;
    HRESULT failure = S_OK;  // SetProperties fails with this when set
    ALLOCATOR_PROPERTIES asked = {};

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
    STDMETHODIMP Commit() override { return S_OK; }
    STDMETHODIMP Decommit() override { return S_OK; }
    STDMETHODIMP GetBuffer(IMediaSample**, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP ReleaseBuffer(IMediaSample*) override { return S_OK; }

private:
    ALLOCATOR_PROPERTIES granted_ = {};
};

}  // namespace pavix::testing

#include "tests/filter/support/fake_sample.h"

#include <vfwmsgs.h>

namespace pavix::testing {

STDMETHODIMP FakeSample::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IID_IMediaSample) {
        *ppv = static_cast<IMediaSample*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP FakeSample::GetPointer(BYTE** ppBuffer) {
    *ppBuffer = buffer.data();
    return S_OK;
}

STDMETHODIMP FakeSample::GetTime(REFERENCE_TIME* pStart, REFERENCE_TIME* pEnd) {
    if (setTimes == 0) {
        return VFW_E_SAMPLE_TIME_NOT_SET;
    }
    *pStart = start;
    *pEnd = stop;
    return S_OK;
}

STDMETHODIMP FakeSample::SetTime(REFERENCE_TIME* pStart, REFERENCE_TIME* pEnd) {
    ++setTimes;
    start = pStart != nullptr ? *pStart : -1;
    stop = pEnd != nullptr ? *pEnd : -1;
    return S_OK;
}

STDMETHODIMP FakeSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
    *ppMediaType = nullptr;
    return S_FALSE;
}

STDMETHODIMP FakeAllocator::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IID_IMemAllocator) {
        *ppv = static_cast<IMemAllocator*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP FakeAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                          ALLOCATOR_PROPERTIES* pActual) {
    asked = *pRequest;
    if (FAILED(failure)) {
        return failure;
    }
    granted_ = *pRequest;
    if (granted_.cbBuffer > maxBuffer) {
        granted_.cbBuffer = maxBuffer;
    }
    *pActual = granted_;
    return S_OK;
}

STDMETHODIMP FakeAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps) {
    *pProps = granted_;
    return S_OK;
}

}  // namespace pavix::testing

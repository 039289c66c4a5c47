#include "tests/filter/support/test_source.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>

namespace pavix::testing {

// {5C1A7E30-6B1D-4F0B-9F3E-2D7A0C4B8E11}
const CLSID kClsidTestSource = {
    0x5c1a7e30, 0x6b1d, 0x4f0b, {0x9f, 0x3e, 0x2d, 0x7a, 0x0c, 0x4b, 0x8e, 0x11}};

CMediaType MakeVideoType(const GUID& subtype, ULONG formatBytes) {
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&subtype);
    type.SetFormatType(&FORMAT_VideoInfo);
    BYTE* format = type.AllocFormatBuffer(formatBytes);
    for (ULONG i = 0; i < formatBytes; ++i) {
        format[i] = static_cast<BYTE>(subtype.Data1 + i);
    }
    return type;
}

TestStream::TestStream(HRESULT* phr, CSource* filter)
    : CSourceStream(L"test stream", phr, filter, L"Out") {}

HRESULT TestStream::FillBuffer(IMediaSample* sample) {
    int number = fills++;
    if (endAfter >= 0 && number >= endAfter) {
        return S_FALSE;
    }
    if (failAfter >= 0 && number >= failAfter) {
        return failure;
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memset(data, number & 0xFF, static_cast<size_t>(sample->GetSize()));
    REFERENCE_TIME start = number * 10000LL;
    REFERENCE_TIME stop = start + 10000;
    sample->SetTime(&start, &stop);
    Sleep(fillMs);
    return S_OK;
}

HRESULT TestStream::OnThreadCreate() {
    ++threadCreates;
    return S_OK;
}

HRESULT TestStream::OnThreadDestroy() {
    ++threadDestroys;
    return S_OK;
}

HRESULT TestStream::GetMediaType(int position, CMediaType* type) {
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position >= static_cast<int>(offered.size())) {
        return VFW_S_NO_MORE_ITEMS;
    }
    return type->Set(offered[position]);
}

HRESULT TestStream::CheckMediaType(const CMediaType* type) {
    bool accepted = std::any_of(acceptedSubtypes.begin(), acceptedSubtypes.end(),
                                [&](const GUID& g) { return IsEqualGUID(g, type->subtype); });
    return accepted && IsEqualGUID(type->majortype, MEDIATYPE_Video) ? S_OK : S_FALSE;
}

HRESULT TestStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    requested = *request;
    request->cBuffers = buffers;
    request->cbBuffer = bufferSize;
    ALLOCATOR_PROPERTIES granted = {};
    HRESULT hr = allocator->SetProperties(request, &granted);
    if (FAILED(hr)) {
        return hr;
    }
    return granted.cbBuffer >= bufferSize ? S_OK : E_FAIL;
}

TestSource::TestSource(LPUNKNOWN outer) : CSource(L"test source", outer, kClsidTestSource) {}

TestSource* TestSource::Create(LPUNKNOWN outer) {
    auto* filter = new TestSource(outer);
    HRESULT hr = S_OK;
    filter->m_stream = new TestStream(&hr, filter);
    filter->NonDelegatingAddRef();
    return filter;
}

}  // namespace pavix::testing

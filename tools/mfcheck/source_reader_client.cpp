#include "tools/mfcheck/source_reader_client.h"

#include <mfapi.h>
#include <mferror.h>

#include "mfcamera/media_source_clsid.h"

namespace pavix::tools {

CMediaSourceModule::CMediaSourceModule(const wchar_t* path)
    : module_(LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
    if (module_ == nullptr) return;
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    if (get != nullptr) {
        get(CLSID_PavixMediaSource, IID_IClassFactory, reinterpret_cast<void**>(&factory_));
    }
}

CMediaSourceModule::~CMediaSourceModule() {
    ReleaseClassObject();
    // The module stays loaded: a stream's worker may still be ending.
}

void CMediaSourceModule::ReleaseClassObject() {
    if (factory_ != nullptr) {
        factory_->Release();
        factory_ = nullptr;
    }
}

HRESULT CMediaSourceModule::CreateInstance(REFIID riid, void** ppv) const {
    return factory_ != nullptr ? factory_->CreateInstance(nullptr, riid, ppv) : E_FAIL;
}

HRESULT CMediaSourceModule::CreateSource(IMFMediaSource** source) const {
    ComRef<IMFActivate> activate;
    HRESULT hr = CreateInstance(IID_IMFActivate, activate.PutVoid());
    if (FAILED(hr)) return hr;
    hr = activate->ActivateObject(IID_IMFMediaSource, reinterpret_cast<void**>(source));
    // The source lives on without the activation object.
    activate->DetachObject();
    return hr;
}

namespace {

HRESULT CallExport(HMODULE module, const char* name) {
    using Entry = HRESULT(WINAPI*)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return entry != nullptr ? entry() : E_NOTIMPL;
}

}  // namespace

HRESULT CMediaSourceModule::CanUnloadNow() const { return CallExport(module_, "DllCanUnloadNow"); }
HRESULT CMediaSourceModule::Register() const { return CallExport(module_, "DllRegisterServer"); }
HRESULT CMediaSourceModule::Unregister() const {
    return CallExport(module_, "DllUnregisterServer");
}

bool LayoutOfMediaType(IMFMediaType* type, SampleLayout* layout) {
    GUID subtype = GUID_NULL;
    UINT32 width = 0;
    UINT32 height = 0;
    if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) ||
        FAILED(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height))) {
        return false;
    }
    if (subtype == MFVideoFormat_NV12) {
        layout->format = SampleFormat::NV12;
    } else if (subtype == MFVideoFormat_YUY2) {
        layout->format = SampleFormat::YUY2;
    } else if (subtype == MFVideoFormat_RGB32) {
        layout->format = SampleFormat::RGB32;
    } else {
        return false;
    }
    layout->width = static_cast<int>(width);
    layout->height = static_cast<int>(height);
    layout->topDown = true;
    return true;
}

HRESULT OpenSourceReader(IMFMediaSource* source, ComRef<IMFSourceReader>* reader) {
    return MFCreateSourceReaderFromMediaSource(source, nullptr, reader->Put());
}

std::vector<SampleLayout> NativeLayouts(IMFSourceReader* reader) {
    std::vector<SampleLayout> layouts;
    for (DWORD i = 0;; ++i) {
        ComRef<IMFMediaType> type;
        if (FAILED(reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, i, type.Put()))) {
            break;
        }
        SampleLayout layout;
        if (!LayoutOfMediaType(type.Get(), &layout)) {
            layout.width = 0;  // listed, but not one of ours
        }
        layouts.push_back(layout);
    }
    return layouts;
}

HRESULT ChooseLayout(IMFSourceReader* reader, const SampleLayout& layout) {
    for (DWORD i = 0;; ++i) {
        ComRef<IMFMediaType> type;
        HRESULT hr = reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, i, type.Put());
        if (FAILED(hr)) return hr;
        SampleLayout offered;
        if (LayoutOfMediaType(type.Get(), &offered) && offered.format == layout.format &&
            offered.width == layout.width && offered.height == layout.height) {
            return reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, nullptr,
                                               type.Get());
        }
    }
}

HRESULT ReadNextSample(IMFSourceReader* reader, ReadResult* result) {
    DWORD stream = 0;
    DWORD flags = 0;
    LONGLONG time = 0;
    ComRef<IMFSample> sample;
    HRESULT hr = reader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, &stream, &flags, &time,
                                    sample.Put());
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (FAILED(hr)) return hr;
    if (!sample) return (flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0 ? MF_E_END_OF_STREAM : S_FALSE;
    ComRef<IMFMediaBuffer> buffer;
    hr = sample->ConvertToContiguousBuffer(buffer.Put());
    if (FAILED(hr)) return hr;
    BYTE* data = nullptr;
    DWORD length = 0;
    hr = buffer->Lock(&data, nullptr, &length);
    if (FAILED(hr)) return hr;
    result->bytes.assign(data, data + length);
    buffer->Unlock();
    result->time = time;
    result->readAt = now.QuadPart;
    return S_OK;
}

}  // namespace pavix::tools

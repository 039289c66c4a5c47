#include "record/dshow_handler.h"

#include <uuids.h>

#include <cwchar>

#include "shared/rovo_filter_clsid.h"
#include "ui/ui_texts.h"

namespace pavix {
namespace {

template <typename T>
void Release(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

}  // namespace

CDShowHandler::CDShowHandler() = default;

CDShowHandler::~CDShowHandler() = default;

int CDShowHandler::Init() {
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(&graph_));
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC,
                              IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(&captureBuilder_));
    }
    if (FAILED(hr)) return -1;
    if (FAILED(captureBuilder_->SetFiltergraph(graph_))) return -1;

    if (FAILED(CoCreateInstance(CLSID_RovoFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&cameraFilter_)))) {
        cameraFilter_ = nullptr;
        MessageBoxW(nullptr, kFilterMissingText, kNoticeCaption, MB_ICONERROR);
        return -1;
    }
    if (FAILED(graph_->AddFilter(cameraFilter_, L"Video Capture"))) return -1;
    return 0;
}

int CDShowHandler::HasCompressor(const wchar_t* displayName) {
    ICreateDevEnum* devices = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC,
                                IID_ICreateDevEnum, reinterpret_cast<void**>(&devices)))) {
        return 0;
    }
    IEnumMoniker* monikers = nullptr;
    // S_FALSE with no enumerator: the category is empty.
    if (devices->CreateClassEnumerator(CLSID_VideoCompressorCategory, &monikers, 0) != S_OK ||
        monikers == nullptr) {
        Release(devices);
        return 0;
    }
    IBindCtx* context = nullptr;
    CreateBindCtx(0, &context);

    int found = 0;
    IMoniker* moniker = nullptr;
    while (found == 0 && monikers->Next(1, &moniker, nullptr) == S_OK) {
        // A compressor without a property bag never matches.
        IPropertyBag* properties = nullptr;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                             reinterpret_cast<void**>(&properties)))) {
            LPOLESTR name = nullptr;
            if (SUCCEEDED(moniker->GetDisplayName(context, nullptr, &name)) && name != nullptr) {
                found = std::wcscmp(name, displayName) == 0 ? 1 : 0;
                CoTaskMemFree(name);
            }
            Release(properties);
        }
        Release(moniker);
    }
    Release(context);
    Release(monikers);
    Release(devices);
    return found;
}

void CDShowHandler::Cleanup() {
    Release(cameraFilter_);
    Release(compressor_);
    Release(mediaControl_);
    Release(mediaEvent_);
    Release(captureBuilder_);
    Release(graph_);
}

}  // namespace pavix

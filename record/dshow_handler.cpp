#include "record/dshow_handler.h"

#include <amvideo.h>
#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>
#include <cwchar>

#include "record/record_file_writer.h"
#include "shared/debug_text.h"
#include "shared/rovo_filter_clsid.h"
#include "ui/ui_texts.h"

namespace pavix {
namespace {

// The first pin of `filter` in `direction` that is not connected yet.
ComRef<IPin> FreePin(IBaseFilter* filter, PIN_DIRECTION direction) {
    ComRef<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put()))) return {};
    ComRef<IPin> pin;
    while (pins->Next(1, pin.Put(), nullptr) == S_OK) {
        PIN_DIRECTION pinDirection;
        if (FAILED(pin->QueryDirection(&pinDirection)) || pinDirection != direction) continue;
        ComRef<IPin> peer;
        if (pin->ConnectedTo(peer.Put()) == S_OK && peer) continue;
        return pin;
    }
    return {};
}

// Makes the camera's next connection the type recordings are made in:
// 480 x 320, 24-bit RGB, bottom-up, the block's own picture (the camera
// offers larger types first; the recording's free-space rule counts with
// this size). A camera that cannot set a type keeps its own first one.
void ChooseRecordedType(IPin* cameraOut) {
    ComRef<IAMStreamConfig> config;
    if (FAILED(cameraOut->QueryInterface(IID_IAMStreamConfig, config.PutVoid())) || !config) return;
    VIDEOINFOHEADER header = {};
    header.AvgTimePerFrame = kRecordedFrameDuration;
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = 480;
    header.bmiHeader.biHeight = 320;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 24;
    header.bmiHeader.biCompression = BI_RGB;
    header.bmiHeader.biSizeImage = 480 * 3 * 320;
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = header.bmiHeader.biSizeImage;
    type.formattype = FORMAT_VideoInfo;
    type.cbFormat = sizeof(header);
    type.pbFormat = reinterpret_cast<BYTE*>(&header);
    HRESULT hr = config->SetFormat(&type);
    if (FAILED(hr)) {
        DebugTextFormat(96, "pavix: the camera refused the recorded type (0x%lx)\n",
                        static_cast<unsigned long>(hr));
    }
}

void FreeType(AM_MEDIA_TYPE* type) {
    if (type == nullptr) return;
    if (type->pbFormat != nullptr) CoTaskMemFree(type->pbFormat);
    if (type->pUnk != nullptr) type->pUnk->Release();
    CoTaskMemFree(type);
}

}  // namespace

bool IsMediumFull(HRESULT cause) {
    return cause == STG_E_MEDIUMFULL || cause == HRESULT_FROM_WIN32(ERROR_DISK_FULL) ||
           cause == HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL) ||
           cause == HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
}

CDShowHandler::CDShowHandler() = default;

CDShowHandler::~CDShowHandler() = default;

int CDShowHandler::Init() {
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                                  graph_.PutVoid());
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC,
                              IID_ICaptureGraphBuilder2, captureBuilder_.PutVoid());
    }
    if (FAILED(hr)) return -1;
    if (FAILED(captureBuilder_->SetFiltergraph(graph_.Get()))) return -1;

    if (FAILED(CoCreateInstance(CLSID_RovoFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                cameraFilter_.PutVoid()))) {
        cameraFilter_.Reset();
        MessageBoxW(nullptr, kFilterMissingText, kNoticeCaption, MB_ICONERROR);
        return -1;
    }
    if (FAILED(graph_->AddFilter(cameraFilter_.Get(), L"Video Capture"))) return -1;
    return 0;
}

void CDShowHandler::SetEventWindow(HWND window, UINT message) {
    ComRef<IMediaEventEx> events = graph_ ? graph_.As<IMediaEventEx>(IID_IMediaEventEx)
                                          : ComRef<IMediaEventEx>();
    if (!events) return;
    events->SetNotifyWindow(reinterpret_cast<OAHWND>(window), static_cast<long>(message), 0);
}

RecordingFault CDShowHandler::TakeEvents() {
    RecordingFault fault;
    ComRef<IMediaEvent> events = graph_ ? graph_.As<IMediaEvent>(IID_IMediaEvent)
                                        : ComRef<IMediaEvent>();
    if (!events) return fault;
    long code = 0;
    LONG_PTR first = 0;
    LONG_PTR second = 0;
    // Never waits: the window's thread reads what is there.
    while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
        HRESULT cause = S_OK;
        switch (code) {
        case EC_ERRORABORT:
        case EC_ERRORABORTEX:
        case EC_STREAM_ERROR_STOPPED:
            cause = static_cast<HRESULT>(first);
            if (SUCCEEDED(cause)) cause = E_FAIL;
            break;
        case EC_USERABORT:
        case EC_COMPLETE:
            cause = S_FALSE;
            break;
        default:
            break;
        }
        events->FreeEventParams(code, first, second);
        if (cause == S_OK) continue;
        DebugTextFormat(96, "pavix: recording graph event 0x%lx (0x%lx)\n",
                        static_cast<unsigned long>(code), static_cast<unsigned long>(cause));
        // The first cause is what the user hears of; the rest follow from it.
        if (!fault.ended) fault = {true, cause};
    }
    return fault;
}

// Events of an earlier recording (its finishing writes may still have
// failed) are no news for the next one.
void CDShowHandler::DropEvents() { TakeEvents(); }

int CDShowHandler::HasCompressor(const wchar_t* displayName) {
    ComRef<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC,
                                IID_ICreateDevEnum, devices.PutVoid()))) {
        return 0;
    }
    ComRef<IEnumMoniker> monikers;
    // S_FALSE with no enumerator: the category is empty.
    if (devices->CreateClassEnumerator(CLSID_VideoCompressorCategory, monikers.Put(), 0) != S_OK ||
        !monikers) {
        return 0;
    }
    ComRef<IBindCtx> context;
    CreateBindCtx(0, context.Put());

    int found = 0;
    ComRef<IMoniker> moniker;
    while (found == 0 && monikers->Next(1, moniker.Put(), nullptr) == S_OK) {
        // A compressor without a property bag never matches.
        ComRef<IPropertyBag> properties;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                          properties.PutVoid()))) {
            continue;
        }
        LPOLESTR name = nullptr;
        if (SUCCEEDED(moniker->GetDisplayName(context.Get(), nullptr, &name)) && name != nullptr) {
            found = std::wcscmp(name, displayName) == 0 ? 1 : 0;
            CoTaskMemFree(name);
        }
    }
    return found;
}

int CDShowHandler::StartRecording(const wchar_t* path, std::int32_t codec) {
    if (recording_ || !graph_ || !cameraFilter_) return -1;
    DropEvents();
    Attempt attempt = BuildAndRun(path, codec, RecordingWriter::System);
    if (FAILED(attempt.result) && attempt.failedAt == Step::Run) {
        // The system's file writer cannot serve here (Wine's cannot take the
        // multiplexer's stream): once more with ours.
        DebugTextFormat(160, "pavix: the recording graph cannot run with the system's file writer "
                             "(0x%lx); trying our own\n",
                        static_cast<unsigned long>(attempt.result));
        StopGraph();
        RemoveDownstream(cameraFilter_.Get());
        RemoveAllButCamera();
        attempt = BuildAndRun(path, codec, RecordingWriter::Own);
    }
    if (FAILED(attempt.result)) {
        DebugTextFormat(96, "Could not start video capture! Error code 0x%lx\n",
                        static_cast<unsigned long>(attempt.result));
        StopGraph();
        RemoveDownstream(cameraFilter_.Get());
        // A step that failed before its filter was connected left it in the
        // graph unconnected: every later recording would find it there.
        RemoveAllButCamera();
        DropEvents();
        compressor_.Reset();
        lastWriter_ = RecordingWriter::None;
        lastUsedCompressor_ = false;
        return -1;
    }
    DebugTextFormat(128, "pavix: recording through %s file writer, %s\n",
                    lastWriter_ == RecordingWriter::Own ? "our" : "the system's",
                    lastUsedCompressor_ ? "compressed" : "uncompressed");
    recording_ = true;
    recordingStartTick_ = GetTickCount();
    return 0;
}

CDShowHandler::Attempt CDShowHandler::BuildAndRun(const wchar_t* path, std::int32_t codec,
                                                  RecordingWriter writer) {
    ComRef<IBaseFilter> mux;
    HRESULT hr = E_FAIL;
    if (writer == RecordingWriter::System) {
        hr = captureBuilder_->SetOutputFileName(&MEDIASUBTYPE_Avi, path, mux.Put(), nullptr);
    }
    if (FAILED(hr)) {
        // The capture graph builder cannot make the file-writing end (Wine:
        // E_NOTIMPL), or our writer is wanted: built by hand.
        hr = BuildFileEnd(path, writer, &mux);
    }
    if (FAILED(hr)) return {hr, Step::Build};

    CreateCompressor(codec);
    if (compressor_ && FAILED(graph_->AddFilter(compressor_.Get(), L"Video codec"))) {
        compressor_.Reset();
    }
    hr = ConnectStream(mux.Get());
    if (FAILED(hr) && compressor_) {
        // A compressor that cannot take the camera's pictures is as good as
        // none: the recording goes on uncompressed.
        DebugTextFormat(128, "pavix: the compressor cannot be connected (0x%lx); recording "
                             "uncompressed\n",
                        static_cast<unsigned long>(hr));
        graph_->RemoveFilter(compressor_.Get());
        compressor_.Reset();
        hr = ConnectStream(mux.Get());
    }
    if (FAILED(hr)) return {hr, Step::Build};
    lastWriter_ = writer;
    lastUsedCompressor_ = static_cast<bool>(compressor_);

    // The file-writing end is paused first, file writer before multiplexer,
    // as the graph would: an end that cannot pause is known before the
    // camera streams into it (Wine's multiplexer, refusing to pause, would
    // otherwise be fed samples it has no stream for).
    hr = PauseFileEnd(mux.Get());
    if (FAILED(hr)) return {hr, Step::Run};
    mux.Reset();  // the graph keeps it

    ComRef<IMediaControl> control = graph_.As<IMediaControl>(IID_IMediaControl);
    if (!control) return {E_NOINTERFACE, Step::Run};
    hr = control->Run();
    return {hr, Step::Run};
}

HRESULT CDShowHandler::BuildFileEnd(const wchar_t* path, RecordingWriter writer,
                                    ComRef<IBaseFilter>* mux) {
    HRESULT hr = CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  mux->PutVoid());
    if (FAILED(hr)) return hr;
    hr = graph_->AddFilter(mux->Get(), L"AVI Mux");
    if (FAILED(hr)) return hr;

    ComRef<IBaseFilter> fileWriter;
    if (writer == RecordingWriter::Own) {
        // Our writer takes the multiplexer's writes through IStream, which
        // the multiplexer uses when it interleaves fully.
        ComRef<IConfigInterleaving> interleaving =
            mux->As<IConfigInterleaving>(IID_IConfigInterleaving);
        if (!interleaving) return E_NOINTERFACE;
        hr = interleaving->put_Mode(INTERLEAVE_FULL);
        if (FAILED(hr)) return hr;
        fileWriter = ComRef<IBaseFilter>(CRecordFileWriter::Create());
        if (!fileWriter) return E_OUTOFMEMORY;
    } else {
        hr = CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              fileWriter.PutVoid());
        if (FAILED(hr)) return hr;
    }
    ComRef<IFileSinkFilter> sink = fileWriter.As<IFileSinkFilter>(IID_IFileSinkFilter);
    if (!sink) return E_NOINTERFACE;
    hr = sink->SetFileName(path, nullptr);
    if (FAILED(hr)) return hr;
    hr = graph_->AddFilter(fileWriter.Get(), L"File Writer");
    if (FAILED(hr)) return hr;

    ComRef<IPin> muxOut = FreePin(mux->Get(), PINDIR_OUTPUT);
    ComRef<IPin> writerIn = FreePin(fileWriter.Get(), PINDIR_INPUT);
    if (!muxOut || !writerIn) return VFW_E_NOT_FOUND;
    return graph_->ConnectDirect(muxOut.Get(), writerIn.Get(), nullptr);
}

HRESULT CDShowHandler::PauseFileEnd(IBaseFilter* mux) {
    ComRef<IPin> muxOut;
    ComRef<IEnumPins> pins;
    if (SUCCEEDED(mux->EnumPins(pins.Put())) && pins) {
        ComRef<IPin> pin;
        while (pins->Next(1, pin.Put(), nullptr) == S_OK) {
            PIN_DIRECTION direction;
            if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT) {
                muxOut = pin;
                break;
            }
        }
    }
    ComRef<IPin> writerIn;
    if (!muxOut || muxOut->ConnectedTo(writerIn.Put()) != S_OK || !writerIn) return VFW_E_NOT_CONNECTED;
    PIN_INFO info = {};
    HRESULT hr = writerIn->QueryPinInfo(&info);
    if (FAILED(hr)) return hr;
    ComRef<IBaseFilter> writer(info.pFilter);
    hr = writer->Pause();
    if (FAILED(hr)) return hr;
    return mux->Pause();
}

// The camera in the recorded type, with the frame duration its samples
// carry.
HRESULT CDShowHandler::ConnectCamera(IBaseFilter* target) {
    ComRef<IPin> cameraOut;
    HRESULT hr = captureBuilder_->FindPin(cameraFilter_.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE,
                                          &MEDIATYPE_Video, TRUE, 0, cameraOut.Put());
    if (FAILED(hr) || !cameraOut) return FAILED(hr) ? hr : VFW_E_NOT_FOUND;
    ComRef<IPin> targetIn = FreePin(target, PINDIR_INPUT);
    if (!targetIn) return VFW_E_NOT_FOUND;

    ChooseRecordedType(cameraOut.Get());
    ComRef<IEnumMediaTypes> types;
    hr = cameraOut->EnumMediaTypes(types.Put());
    if (FAILED(hr)) return hr;
    AM_MEDIA_TYPE* type = nullptr;
    if (types->Next(1, &type, nullptr) != S_OK || type == nullptr) return VFW_E_NO_ACCEPTABLE_TYPES;
    if (IsEqualGUID(type->formattype, FORMAT_VideoInfo) && type->pbFormat != nullptr &&
        type->cbFormat >= sizeof(VIDEOINFOHEADER)) {
        auto* header = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
        if (header->AvgTimePerFrame == 0) header->AvgTimePerFrame = kRecordedFrameDuration;
    }
    hr = graph_->ConnectDirect(cameraOut.Get(), targetIn.Get(), type);
    FreeType(type);
    return hr;
}

HRESULT CDShowHandler::ConnectStream(IBaseFilter* mux) {
    if (!compressor_) return ConnectCamera(mux);
    HRESULT hr = ConnectCamera(compressor_.Get());
    if (FAILED(hr)) return hr;
    ComRef<IPin> compressorOut = FreePin(compressor_.Get(), PINDIR_OUTPUT);
    ComRef<IPin> muxIn = FreePin(mux, PINDIR_INPUT);
    if (!compressorOut || !muxIn) return VFW_E_NOT_FOUND;
    return graph_->Connect(compressorOut.Get(), muxIn.Get());
}

void CDShowHandler::CreateCompressor(std::int32_t codec) {
    compressor_.Reset();
    const wchar_t* name = codec == 1 ? kCinepakCompressor : codec == 2 ? kDivxCompressor : nullptr;
    if (name == nullptr) return;
    // Any failure here leaves the recording uncompressed.
    ComRef<IBindCtx> context;
    if (FAILED(CreateBindCtx(0, context.Put()))) return;
    ComRef<IMoniker> moniker;
    ULONG eaten = 0;
    if (FAILED(MkParseDisplayName(context.Get(), name, &eaten, moniker.Put())) || !moniker) return;
    if (FAILED(moniker->BindToObject(context.Get(), nullptr, IID_IBaseFilter,
                                     compressor_.PutVoid()))) {
        compressor_.Reset();
    }
}

// After a run that failed half-way the graph may call itself stopped while
// some of its filters were paused (Wine): each filter is stopped as well,
// for a paused pin cannot be disconnected.
void CDShowHandler::StopGraph() {
    if (!graph_) return;
    ComRef<IMediaControl> control = graph_.As<IMediaControl>(IID_IMediaControl);
    if (cameraFilter_) cameraFilter_->Stop();
    if (control) control->Stop();
    ComRef<IEnumFilters> filters;
    if (FAILED(graph_->EnumFilters(filters.Put())) || !filters) return;
    ComRef<IBaseFilter> filter;
    while (filters->Next(1, filter.Put(), nullptr) == S_OK) {
        FILTER_STATE state = State_Stopped;
        if (FAILED(filter->GetState(0, &state)) || state != State_Stopped) filter->Stop();
    }
}

void CDShowHandler::StopRecording() {
    if (!graph_) return;
    ComRef<IMediaControl> control = graph_.As<IMediaControl>(IID_IMediaControl);
    if (!control) return;
    OAFilterState state = State_Stopped;
    // The state the graph is in or on its way to, without waiting for a
    // filter that is slow to get there (this is the window's thread).
    // A graph whose filter failed may not say: a recording is stopped anyway.
    const bool stateKnown = SUCCEEDED(control->GetState(0, &state));
    if (recording_ || (stateKnown && state != State_Stopped)) {
        // No sample may be on its way while the multiplexer finishes the
        // file: the graph stops its filters from the file end up (Wine
        // pauses each again on the way), and Wine's multiplexer takes a
        // sample that arrives after its stop as a write to a stream it has
        // let go. So the camera stops first and lets go of its peer (its
        // own side only: the multiplexer's input cannot be disconnected
        // while it runs); paused again, an unconnected camera stays quiet.
        if (cameraFilter_) {
            cameraFilter_->Stop();
            ComRef<IPin> cameraOut;
            if (SUCCEEDED(captureBuilder_->FindPin(cameraFilter_.Get(), PINDIR_OUTPUT,
                                                   &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, FALSE,
                                                   0, cameraOut.Put())) &&
                cameraOut) {
                cameraOut->Disconnect();
            }
        }
        control->Stop();
    }
    control.Reset();
    if (cameraFilter_) RemoveDownstream(cameraFilter_.Get());
    RemoveAllButCamera();
    if (recording_) {
        DebugTextFormat(64, "pavix: recording stopped after %lu ms\n",
                        static_cast<unsigned long>(GetTickCount() - recordingStartTick_));
    }
    recording_ = false;
}

void CDShowHandler::RemoveDownstream(IBaseFilter* filter) {
    ComRef<IEnumPins> pins;
    if (filter == nullptr || FAILED(filter->EnumPins(pins.Put())) || !pins) return;
    pins->Reset();
    ComRef<IPin> pin;
    while (pins->Next(1, pin.Put(), nullptr) == S_OK) {
        ComRef<IPin> peer;
        if (pin->ConnectedTo(peer.Put()) != S_OK || !peer) continue;
        PIN_INFO info = {};
        if (FAILED(peer->QueryPinInfo(&info))) return;
        ComRef<IBaseFilter> peerFilter(info.pFilter);
        if (info.dir == PINDIR_INPUT) {
            RemoveDownstream(peerFilter.Get());
            graph_->Disconnect(peer.Get());
            graph_->Disconnect(pin.Get());
            graph_->RemoveFilter(peerFilter.Get());
        }
    }
}

// What a stop left in the graph besides the camera (the filters its camera
// no longer leads to).
void CDShowHandler::RemoveAllButCamera() {
    ComRef<IEnumFilters> filters;
    if (!graph_ || FAILED(graph_->EnumFilters(filters.Put())) || !filters) return;
    constexpr int kMost = 16;
    ComRef<IBaseFilter> found[kMost];
    int count = 0;
    ComRef<IBaseFilter> filter;
    while (count < kMost && filters->Next(1, filter.Put(), nullptr) == S_OK) {
        if (filter.Get() != cameraFilter_.Get()) found[count++] = filter;
    }
    filters.Reset();
    for (int i = 0; i < count; ++i) graph_->RemoveFilter(found[i].Get());
}

void CDShowHandler::Cleanup() {
    // A running recording is finished first: released while running, the
    // multiplexer never writes the file's index.
    if (recording_) StopRecording();
    cameraFilter_.Reset();
    compressor_.Reset();
    captureBuilder_.Reset();
    graph_.Reset();
}

}  // namespace pavix

#include "tools/camcheck/capture_graph.h"

#include <cstring>
#include <utility>

namespace pavix::tools {

// {C1F400A0-3F08-11D3-9F0B-006008039E37}
const CLSID kClsidSampleGrabber = {
    0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
// {C1F400A4-3F08-11D3-9F0B-006008039E37}
const CLSID kClsidNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

// --- SampleCollector ------------------------------------------------------------

SampleCollector::SampleCollector() {
    InitializeCriticalSection(&m_lock);
    QueryPerformanceFrequency(&m_frequency);
}

SampleCollector::~SampleCollector() {
    DeleteCriticalSection(&m_lock);
}

STDMETHODIMP SampleCollector::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_ISampleGrabberCB) {
        *ppv = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// The collector lives inside its CaptureGraph, which outlives the grabber's
// references: no count of its own.
STDMETHODIMP_(ULONG) SampleCollector::AddRef() {
    return 2;
}

STDMETHODIMP_(ULONG) SampleCollector::Release() {
    return 1;
}

STDMETHODIMP SampleCollector::SampleCB(double /*sampleTime*/, IMediaSample* sample) {
    SampleRecord record;
    record.timed = SUCCEEDED(sample->GetTime(&record.start, &record.stop));
    record.length = sample->GetActualDataLength();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    record.arrivalUs = static_cast<int64_t>(now.QuadPart * 1000000.0 / m_frequency.QuadPart);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (m_reader && data != nullptr && record.length > 0) {
        record.pictureId = m_reader(data, static_cast<size_t>(record.length));
    }

    EnterCriticalSection(&m_lock);
    m_records.push_back(record);
    if (data != nullptr && record.length > 0) {
        m_last.assign(data, data + record.length);
    }
    LeaveCriticalSection(&m_lock);
    return S_OK;
}

STDMETHODIMP SampleCollector::BufferCB(double /*sampleTime*/, BYTE* /*buffer*/, long /*length*/) {
    return E_NOTIMPL;
}

void SampleCollector::SetPictureReader(PictureReader reader) {
    EnterCriticalSection(&m_lock);
    m_reader = std::move(reader);
    LeaveCriticalSection(&m_lock);
}

std::vector<SampleRecord> SampleCollector::Records() {
    EnterCriticalSection(&m_lock);
    std::vector<SampleRecord> copy = m_records;
    LeaveCriticalSection(&m_lock);
    return copy;
}

std::vector<uint8_t> SampleCollector::LastSample() {
    EnterCriticalSection(&m_lock);
    std::vector<uint8_t> copy = m_last;
    LeaveCriticalSection(&m_lock);
    return copy;
}

size_t SampleCollector::Count() {
    EnterCriticalSection(&m_lock);
    size_t count = m_records.size();
    LeaveCriticalSection(&m_lock);
    return count;
}

void SampleCollector::Clear() {
    EnterCriticalSection(&m_lock);
    m_records.clear();
    m_last.clear();
    LeaveCriticalSection(&m_lock);
}

// --- CaptureGraph -----------------------------------------------------------------

CaptureGraph::CaptureGraph() = default;

CaptureGraph::~CaptureGraph() {
    if (m_control) {
        m_control->Stop();
    }
    if (m_grabber) {
        m_grabber->SetCallback(nullptr, 0);
    }
}

HRESULT CaptureGraph::Build(IBaseFilter* camera, const AM_MEDIA_TYPE* directType,
                            const GUID& subtype) {
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IGraphBuilder, m_graph.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                          IID_ICaptureGraphBuilder2, m_builder.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    hr = m_builder->SetFiltergraph(m_graph.Get());
    if (FAILED(hr)) {
        return hr;
    }
    m_graph->QueryInterface(IID_IMediaControl, m_control.PutVoid());
    m_graph->QueryInterface(IID_IMediaEvent, m_events.PutVoid());
    if (!m_control || !m_events) {
        return E_NOINTERFACE;
    }

    camera->AddRef();
    m_camera = ComRef<IBaseFilter>(camera);
    hr = m_graph->AddFilter(m_camera.Get(), L"Video Capture");
    if (FAILED(hr)) {
        return hr;
    }

    hr = CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          m_grabberFilter.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    hr = m_grabberFilter->QueryInterface(IID_ISampleGrabber, m_grabber.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    // The grabber takes video of the subtype, or exactly the type asked for.
    AM_MEDIA_TYPE wanted = {};
    wanted.majortype = MEDIATYPE_Video;
    wanted.subtype = subtype;
    m_grabber->SetMediaType(directType != nullptr ? directType : &wanted);
    m_grabber->SetBufferSamples(FALSE);
    hr = m_grabber->SetCallback(&m_collector, 0);
    if (FAILED(hr)) {
        return hr;
    }
    hr = m_graph->AddFilter(m_grabberFilter.Get(), L"Sample Grabber");
    if (FAILED(hr)) {
        return hr;
    }

    hr = CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          m_renderer.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    hr = m_graph->AddFilter(m_renderer.Get(), L"Null Renderer");
    if (FAILED(hr)) {
        return hr;
    }

    if (directType == nullptr) {
        return m_builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_camera.Get(),
                                       m_grabberFilter.Get(), m_renderer.Get());
    }
    ComRef<IPin> cameraOut = FindPin(m_camera.Get(), PINDIR_OUTPUT);
    ComRef<IPin> grabberIn = FindPin(m_grabberFilter.Get(), PINDIR_INPUT);
    ComRef<IPin> grabberOut = FindPin(m_grabberFilter.Get(), PINDIR_OUTPUT);
    ComRef<IPin> rendererIn = FindPin(m_renderer.Get(), PINDIR_INPUT);
    hr = (cameraOut && grabberIn && grabberOut && rendererIn) ? S_OK : VFW_E_NOT_FOUND;
    // The same type on both sides of the grabber: given another type on its
    // output, the grabber would reconnect its input with that one.
    if (SUCCEEDED(hr)) {
        hr = m_graph->ConnectDirect(cameraOut.Get(), grabberIn.Get(), directType);
    }
    if (SUCCEEDED(hr)) {
        hr = m_graph->ConnectDirect(grabberOut.Get(), rendererIn.Get(), directType);
    }
    return hr;
}

HRESULT CaptureGraph::RemoveClock() {
    ComRef<IMediaFilter> filter;
    HRESULT hr = m_graph->QueryInterface(IID_IMediaFilter, filter.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    return filter->SetSyncSource(nullptr);
}

HRESULT CaptureGraph::Pause() {
    return m_control->Pause();
}

HRESULT CaptureGraph::Run() {
    return m_control->Run();
}

HRESULT CaptureGraph::Stop() {
    return m_control->Stop();
}

HRESULT CaptureGraph::State(DWORD timeoutMs, OAFilterState* state) {
    return m_control->GetState(static_cast<LONG>(timeoutMs), state);
}

bool CaptureGraph::WaitForEnd(DWORD timeoutMs, long* code, LONG_PTR* param1) {
    // Events raised on streaming threads reach an application thread of a
    // single-threaded apartment through window messages: keep them flowing
    // while waiting, as a windowed capture application does.
    OAEVENT eventHandle = 0;
    m_events->GetEventHandle(&eventHandle);
    HANDLE ready = reinterpret_cast<HANDLE>(eventHandle);
    DWORD start = GetTickCount();
    for (;;) {
        long eventCode = 0;
        LONG_PTR p1 = 0;
        LONG_PTR p2 = 0;
        if (FAILED(m_events->GetEvent(&eventCode, &p1, &p2, 0))) {
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= timeoutMs) {
                return false;
            }
            MsgWaitForMultipleObjects(ready != nullptr ? 1 : 0, &ready, FALSE,
                                      timeoutMs - elapsed, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            continue;
        }
        m_events->FreeEventParams(eventCode, p1, p2);
        if (eventCode == EC_COMPLETE || eventCode == EC_ERRORABORT || eventCode == EC_USERABORT) {
            *code = eventCode;
            if (param1 != nullptr) {
                *param1 = p1;
            }
            return true;
        }
    }
}

HRESULT CaptureGraph::ConnectionType(AM_MEDIA_TYPE* type) {
    ComRef<IPin> cameraOut = FindPin(m_camera.Get(), PINDIR_OUTPUT);
    if (!cameraOut) {
        return VFW_E_NOT_FOUND;
    }
    return cameraOut->ConnectionMediaType(type);
}

ComRef<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION direction) {
    ComRef<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put()))) {
        return ComRef<IPin>();
    }
    for (;;) {
        ComRef<IPin> pin;
        if (pins->Next(1, pin.Put(), nullptr) != S_OK) {
            return ComRef<IPin>();
        }
        PIN_DIRECTION dir;
        if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == direction) {
            return pin;
        }
    }
}

const VIDEOINFOHEADER* VideoHeader(const AM_MEDIA_TYPE& type) {
    if (type.formattype != FORMAT_VideoInfo || type.pbFormat == nullptr ||
        type.cbFormat < sizeof(VIDEOINFOHEADER)) {
        return nullptr;
    }
    return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

void FreeMediaTypeFields(AM_MEDIA_TYPE& type) {
    if (type.pbFormat != nullptr) {
        CoTaskMemFree(type.pbFormat);
        type.pbFormat = nullptr;
        type.cbFormat = 0;
    }
    if (type.pUnk != nullptr) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

}  // namespace pavix::tools

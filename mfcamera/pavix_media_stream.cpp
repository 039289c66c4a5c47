#include "mfcamera/pavix_media_stream.h"

#include <mfapi.h>
#include <mferror.h>

#include "mfcamera/media_source_types.h"
#include "mfcamera/module_objects.h"
#include "shared/debug_text.h"

namespace pavix {
namespace {

// How long a stop waits for the worker: it is between two pictures within
// about 100 ms, so this is a freeze, not a busy worker.
constexpr DWORD kWorkerStopWaitMs = 5000;
// How often an idle worker keeps its HD request alive while nobody asks
// for samples (a request goes stale after 3 s).
constexpr DWORD kIdleRefreshMs = 1000;
// Requests beyond this many waiting are refused: a caller that asks
// without ever taking its samples must not grow the queue for ever.
constexpr size_t kMostWaitingRequests = 64;

}  // namespace

HRESULT CPavixMediaStream::Create(IMFMediaSource* source, IMFStreamDescriptor* descriptor,
                                  CPavixMediaStream** stream) {
    if (source == nullptr || descriptor == nullptr || stream == nullptr) {
        return E_POINTER;
    }
    *stream = nullptr;
    IMFMediaEventQueue* queue = nullptr;
    HRESULT hr = MFCreateEventQueue(&queue);
    if (FAILED(hr)) {
        return hr;
    }
    auto* created = new (std::nothrow) CPavixMediaStream(source, descriptor, queue);
    queue->Release();
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    if (created->m_requested == nullptr || created->m_stop == nullptr) {
        created->Shutdown();
        created->Release();
        return HRESULT_FROM_WIN32(GetLastError());
    }
    *stream = created;
    return S_OK;
}

CPavixMediaStream::CPavixMediaStream(IMFMediaSource* source, IMFStreamDescriptor* descriptor,
                                     IMFMediaEventQueue* queue)
    : m_queue(queue),
      m_descriptor(descriptor),
      m_source(source),
      m_buffers(CSampleBufferPool::Create()),
      m_requested(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    m_ticksPerSecond = frequency.QuadPart;
    ModuleObjectCreated();
    m_queue->AddRef();
    m_descriptor->AddRef();
    m_source->AddRef();
}

CPavixMediaStream::~CPavixMediaStream() {
    DropRequests();
    if (m_queue != nullptr) m_queue->Release();
    if (m_descriptor != nullptr) m_descriptor->Release();
    if (m_source != nullptr) m_source->Release();
    if (m_buffers != nullptr) m_buffers->Release();
    if (m_requested != nullptr) CloseHandle(m_requested);
    if (m_stop != nullptr) CloseHandle(m_stop);
    ModuleObjectDestroyed();
}

// ---- IUnknown ---------------------------------------------------------------

STDMETHODIMP CPavixMediaStream::QueryInterface(REFIID riid, void** ppv) {
    return AnswerFor(riid, ppv,
                     {IID_IMFMediaEventGenerator, IID_IMFMediaStream, kIidMFMediaStream2});
}

// ---- IMFMediaEventGenerator --------------------------------------------------

// The queue answers MF_E_SHUTDOWN by itself once shut down; it is there
// (and kept) from construction to destruction.
STDMETHODIMP CPavixMediaStream::GetEvent(DWORD flags, IMFMediaEvent** event) {
    return m_queue->GetEvent(flags, event);
}

STDMETHODIMP CPavixMediaStream::BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) {
    return m_queue->BeginGetEvent(callback, state);
}

STDMETHODIMP CPavixMediaStream::EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) {
    return m_queue->EndGetEvent(result, event);
}

STDMETHODIMP CPavixMediaStream::QueueEvent(MediaEventType type, REFGUID extendedType,
                                           HRESULT status, const PROPVARIANT* value) {
    return m_queue->QueueEventParamVar(type, extendedType, status, value);
}

// ---- IMFMediaStream -----------------------------------------------------------

STDMETHODIMP CPavixMediaStream::GetMediaSource(IMFMediaSource** source) {
    if (source == nullptr) return E_POINTER;
    ScopedLock lock(m_lock);
    *source = nullptr;
    if (m_shutdown) return MF_E_SHUTDOWN;
    *source = m_source;
    m_source->AddRef();
    return S_OK;
}

STDMETHODIMP CPavixMediaStream::GetStreamDescriptor(IMFStreamDescriptor** descriptor) {
    if (descriptor == nullptr) return E_POINTER;
    ScopedLock lock(m_lock);
    *descriptor = nullptr;
    if (m_shutdown) return MF_E_SHUTDOWN;
    *descriptor = m_descriptor;
    m_descriptor->AddRef();
    return S_OK;
}

STDMETHODIMP CPavixMediaStream::RequestSample(IUnknown* token) {
    ScopedLock lock(m_lock);
    if (m_shutdown) return MF_E_SHUTDOWN;
    if (m_state != MF_STREAM_STATE_RUNNING) return MF_E_MEDIA_SOURCE_WRONGSTATE;
    if (m_tokens.size() >= kMostWaitingRequests) return MF_E_INVALIDREQUEST;
    m_tokens.push_back(token);
    if (token != nullptr) token->AddRef();
    SetEvent(m_requested);
    return S_OK;
}

// ---- IMFMediaStream2 ----------------------------------------------------------

STDMETHODIMP CPavixMediaStream::SetStreamState(MF_STREAM_STATE value) {
    switch (value) {
    case MF_STREAM_STATE_RUNNING: {
        PROPVARIANT now;
        PropVariantInit(&now);
        now.vt = VT_I8;
        now.hVal.QuadPart = MFGetSystemTime();
        return Running() ? S_OK : Start(nullptr, now);
    }
    case MF_STREAM_STATE_STOPPED:
        return Running() ? Stop() : S_OK;
    default:
        return MF_E_INVALID_STATE_TRANSITION;  // a camera does not pause
    }
}

STDMETHODIMP CPavixMediaStream::GetStreamState(MF_STREAM_STATE* value) {
    if (value == nullptr) return E_POINTER;
    ScopedLock lock(m_lock);
    if (m_shutdown) return MF_E_SHUTDOWN;
    *value = m_state;
    return S_OK;
}

// ---- The source's side ----------------------------------------------------------

bool CPavixMediaStream::Running() {
    ScopedLock lock(m_lock);
    return !m_shutdown && m_state == MF_STREAM_STATE_RUNNING;
}

HRESULT CPavixMediaStream::Start(IMFStreamDescriptor* descriptor, const PROPVARIANT& startTime) {
    // The type the caller chose, on the descriptor it selected (a clone of
    // the presentation descriptor shares our stream descriptor; another
    // caller's may not).
    IMFStreamDescriptor* chosen = descriptor != nullptr ? descriptor : m_descriptor;
    CameraType type = MediaSourceType(0);
    IMFMediaTypeHandler* handler = nullptr;
    if (SUCCEEDED(chosen->GetMediaTypeHandler(&handler))) {
        IMFMediaType* current = nullptr;
        if (SUCCEEDED(handler->GetCurrentMediaType(&current))) {
            CameraTypeOfMediaType(current, &type);
            current->Release();
        }
        handler->Release();
    }
    EndWorker();  // a running stream starts again with the new type
    ScopedLock lock(m_lock);
    if (m_shutdown) return MF_E_SHUTDOWN;
    HRESULT hr = m_queue->QueueEventParamVar(MEStreamStarted, GUID_NULL, S_OK, &startTime);
    if (FAILED(hr)) return hr;
    m_type = type;
    m_state = MF_STREAM_STATE_RUNNING;
    ResetEvent(m_stop);
    AddRef();  // the worker's own reference
    m_thread = CreateThread(nullptr, 0, WorkerProc, this, 0, nullptr);
    if (m_thread == nullptr) {
        hr = HRESULT_FROM_WIN32(GetLastError());
        m_state = MF_STREAM_STATE_STOPPED;
        Release();
        return hr;
    }
    return S_OK;
}

HRESULT CPavixMediaStream::Stop() {
    EndWorker();
    ScopedLock lock(m_lock);
    if (m_shutdown) return MF_E_SHUTDOWN;
    m_state = MF_STREAM_STATE_STOPPED;
    return m_queue->QueueEventParamVar(MEStreamStopped, GUID_NULL, S_OK, nullptr);
}

void CPavixMediaStream::Shutdown() {
    EndWorker();
    IMFMediaSource* source = nullptr;
    {
        ScopedLock lock(m_lock);
        if (m_shutdown) return;
        m_shutdown = true;
        m_state = MF_STREAM_STATE_STOPPED;
        m_queue->Shutdown();
        source = m_source;
        m_source = nullptr;
    }
    if (source != nullptr) source->Release();
}

void CPavixMediaStream::EndWorker() {
    HANDLE thread = nullptr;
    {
        ScopedLock lock(m_lock);
        thread = m_thread;
        m_thread = nullptr;
        if (thread != nullptr) SetEvent(m_stop);
    }
    if (thread != nullptr) {
        if (WaitForSingleObject(thread, kWorkerStopWaitMs) != WAIT_OBJECT_0) {
            // It holds its own reference and ends by itself when it wakes.
            DebugText("Pavix camera: the stream's worker did not stop within its wait");
        }
        CloseHandle(thread);
    }
    DropRequests();
}

void CPavixMediaStream::DropRequests() {
    std::deque<IUnknown*> dropped;
    {
        ScopedLock lock(m_lock);
        dropped.swap(m_tokens);
    }
    for (IUnknown* token : dropped) {
        if (token != nullptr) token->Release();
    }
}

// ---- The worker -------------------------------------------------------------------

DWORD WINAPI CPavixMediaStream::WorkerProc(void* argument) {
    auto* stream = static_cast<CPavixMediaStream*>(argument);
    CameraType type;
    {
        ScopedLock lock(stream->m_lock);
        type = stream->m_type;
    }
    stream->Work(type);
    stream->Release();
    return 0;
}

void CPavixMediaStream::Work(const CameraType& type) {
    m_feed.Begin(type);
    bool first = true;
    const HANDLE waits[] = {m_stop, m_requested};
    for (;;) {
        bool requested = false;
        {
            ScopedLock lock(m_lock);
            requested = !m_tokens.empty();
        }
        if (!requested) {
            const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, kIdleRefreshMs);
            if (woken == WAIT_OBJECT_0) break;
            if (woken == WAIT_TIMEOUT) m_feed.KeepAlive();
            continue;
        }
        if (!Deliver(type, first)) {
            if (WaitForSingleObject(m_stop, 0) == WAIT_OBJECT_0) break;
            continue;
        }
        first = false;
    }
    m_feed.End();
}

bool CPavixMediaStream::Deliver(const CameraType& type, bool first) {
    const DWORD imageSize = static_cast<DWORD>(CameraImageSize(type));
    IMFMediaBuffer* buffer = nullptr;
    if (imageSize == 0 || m_buffers == nullptr || FAILED(m_buffers->NewBuffer(imageSize, &buffer))) {
        Sleep(10);  // no memory now: try again shortly rather than spin
        return false;
    }
    BYTE* data = nullptr;
    DWORD capacity = 0;
    LONGLONG arrival = 0;
    bool filled = false;
    if (SUCCEEDED(buffer->Lock(&data, &capacity, nullptr))) {
        filled = m_feed.Next(m_stop, data, capacity, &arrival);
        buffer->Unlock();
    }
    IMFSample* sample = nullptr;
    if (!filled || FAILED(buffer->SetCurrentLength(imageSize)) ||
        FAILED(MFCreateSample(&sample)) || FAILED(sample->AddBuffer(buffer))) {
        if (sample != nullptr) sample->Release();
        buffer->Release();
        return false;
    }
    buffer->Release();
    // The picture's arrival on the clock every Media Foundation component
    // shares: both clocks read back to back, the arrival's distance on the
    // performance counter taken off. Never before the last sample's (a
    // repeat is stamped when it goes, and a new picture may have arrived
    // just before that): applications take stamps that go back for a
    // broken stream.
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    LONGLONG time = MFGetSystemTime();
    // An arrival a second back or more is a clock that jumped, or a picture
    // left from long ago: stamped now.
    const LONGLONG ticks = counter.QuadPart - arrival;
    if (arrival != 0 && ticks > 0 && ticks < m_ticksPerSecond) {
        time -= ticks * 10000000 / m_ticksPerSecond;
    }
    if (!first && time <= m_lastTime) time = m_lastTime + 1;
    m_lastTime = time;
    sample->SetSampleTime(time);
    sample->SetSampleDuration(kMediaSampleDuration);
    if (first) sample->SetUINT32(MFSampleExtension_Discontinuity, TRUE);
    bool queued = false;
    {
        ScopedLock lock(m_lock);
        // A stop meanwhile dropped the request: the sample goes nowhere.
        if (!m_shutdown && m_state == MF_STREAM_STATE_RUNNING && !m_tokens.empty()) {
            IUnknown* token = m_tokens.front();
            m_tokens.pop_front();
            if (token != nullptr) {
                sample->SetUnknown(MFSampleExtension_Token, token);
                token->Release();
            }
            queued = SUCCEEDED(m_queue->QueueEventParamUnk(MEMediaSample, GUID_NULL, S_OK, sample));
        }
    }
    sample->Release();
    return queued;
}

}  // namespace pavix

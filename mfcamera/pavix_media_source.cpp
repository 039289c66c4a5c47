#include "mfcamera/pavix_media_source.h"

#include <mfapi.h>
#include <mferror.h>

#include <new>

#include "mfcamera/media_source_types.h"
#include "mfcamera/module_objects.h"
#include "mfcamera/pavix_media_stream.h"

namespace pavix {
namespace {

template <typename T>
void ReleaseAndClear(T** pointer) {
    if (*pointer != nullptr) {
        (*pointer)->Release();
        *pointer = nullptr;
    }
}

// What a camera driver answers for a property, method or event set it
// does not know.
const HRESULT kNotSupported = HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);

// The stream descriptor of the one video stream: every offered type, the
// first one current, and the marks by which the Frame Server takes it for
// a camera's colour capture stream that several applications may share.
HRESULT CreateVideoStreamDescriptor(IMFStreamDescriptor** descriptor) {
    IMFMediaType* types[kMediaSourceTypeCount] = {};
    HRESULT hr = S_OK;
    for (int i = 0; i < kMediaSourceTypeCount && SUCCEEDED(hr); ++i) {
        hr = CreateMediaSourceType(MediaSourceType(i), &types[i]);
    }
    IMFStreamDescriptor* created = nullptr;
    if (SUCCEEDED(hr)) {
        hr = MFCreateStreamDescriptor(0, kMediaSourceTypeCount, types, &created);
    }
    if (SUCCEEDED(hr)) {
        IMFMediaTypeHandler* handler = nullptr;
        hr = created->GetMediaTypeHandler(&handler);
        if (SUCCEEDED(hr)) {
            hr = handler->SetCurrentMediaType(types[0]);
            handler->Release();
        }
    }
    auto set = [&hr](HRESULT result) {
        if (SUCCEEDED(hr)) hr = result;
    };
    if (SUCCEEDED(hr)) {
        set(created->SetGUID(kMFDeviceStreamCategory, kPinNameVideoCapture));
        set(created->SetUINT32(kMFDeviceStreamId, 0));
        set(created->SetUINT32(kMFDeviceStreamFrameServerShared, TRUE));
        set(created->SetUINT32(kMFDeviceStreamFrameSourceTypes, kMFFrameSourceTypesColor));
    }
    for (IMFMediaType* type : types) {
        if (type != nullptr) type->Release();
    }
    if (FAILED(hr)) {
        if (created != nullptr) created->Release();
        return hr;
    }
    *descriptor = created;
    return S_OK;
}

}  // namespace

HRESULT CPavixMediaSource::Create(CPavixMediaSource** source) {
    if (source == nullptr) {
        return E_POINTER;
    }
    *source = nullptr;
    auto* created = new (std::nothrow) CPavixMediaSource();
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = created->Initialise();
    if (FAILED(hr)) {
        created->Shutdown();
        created->Release();
        return hr;
    }
    *source = created;
    return S_OK;
}

CPavixMediaSource::CPavixMediaSource() {
    ModuleObjectCreated();
}

CPavixMediaSource::~CPavixMediaSource() {
    ReleaseAndClear(&m_stream);
    ReleaseAndClear(&m_queue);
    ReleaseAndClear(&m_descriptor);
    ReleaseAndClear(&m_streamDescriptor);
    ReleaseAndClear(&m_attributes);
    ModuleObjectDestroyed();
}

HRESULT CPavixMediaSource::Initialise() {
    HRESULT hr = MFCreateEventQueue(&m_queue);
    if (SUCCEEDED(hr)) hr = MFCreateAttributes(&m_attributes, 1);
    if (SUCCEEDED(hr)) hr = m_attributes->SetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, L"Pavix");
    if (SUCCEEDED(hr)) hr = CreateVideoStreamDescriptor(&m_streamDescriptor);
    if (SUCCEEDED(hr)) hr = MFCreatePresentationDescriptor(1, &m_streamDescriptor, &m_descriptor);
    if (SUCCEEDED(hr)) hr = m_descriptor->SelectStream(0);
    // The stream holds the source till either shuts down.
    if (SUCCEEDED(hr)) hr = CPavixMediaStream::Create(this, m_streamDescriptor, &m_stream);
    return hr;
}

// ---- IUnknown ---------------------------------------------------------------

STDMETHODIMP CPavixMediaSource::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IMFMediaEventGenerator ||
        riid == IID_IMFMediaSource || riid == IID_IMFMediaSourceEx) {
        *ppv = static_cast<IMFMediaSourceEx*>(this);
    } else if (riid == IID_IMFGetService) {
        *ppv = static_cast<IMFGetService*>(this);
    } else if (riid == kIidKsControl) {
        *ppv = static_cast<IKsControlApi*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CPavixMediaSource::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

STDMETHODIMP_(ULONG) CPavixMediaSource::Release() {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) {
        delete this;
    }
    return static_cast<ULONG>(refs);
}

// ---- IMFMediaEventGenerator --------------------------------------------------

// The queue answers MF_E_SHUTDOWN by itself once shut down; it is there
// (and kept) from construction to destruction.
STDMETHODIMP CPavixMediaSource::GetEvent(DWORD flags, IMFMediaEvent** event) {
    return m_queue->GetEvent(flags, event);
}

STDMETHODIMP CPavixMediaSource::BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) {
    return m_queue->BeginGetEvent(callback, state);
}

STDMETHODIMP CPavixMediaSource::EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) {
    return m_queue->EndGetEvent(result, event);
}

STDMETHODIMP CPavixMediaSource::QueueEvent(MediaEventType type, REFGUID extendedType,
                                           HRESULT status, const PROPVARIANT* value) {
    return m_queue->QueueEventParamVar(type, extendedType, status, value);
}

// ---- IMFMediaSource -----------------------------------------------------------

STDMETHODIMP CPavixMediaSource::GetCharacteristics(DWORD* characteristics) {
    if (characteristics == nullptr) return E_POINTER;
    ScopedLock lock(m_lock);
    if (m_shutdown) return MF_E_SHUTDOWN;
    *characteristics = MFMEDIASOURCE_IS_LIVE;
    return S_OK;
}

STDMETHODIMP CPavixMediaSource::CreatePresentationDescriptor(
    IMFPresentationDescriptor** descriptor) {
    if (descriptor == nullptr) return E_POINTER;
    ScopedLock lock(m_lock);
    *descriptor = nullptr;
    if (m_shutdown) return MF_E_SHUTDOWN;
    return m_descriptor->Clone(descriptor);
}

STDMETHODIMP CPavixMediaSource::Start(IMFPresentationDescriptor* descriptor,
                                      const GUID* timeFormat, const PROPVARIANT* startPosition) {
    if (descriptor == nullptr) return E_INVALIDARG;
    if (timeFormat != nullptr && *timeFormat != GUID_NULL) return MF_E_UNSUPPORTED_TIME_FORMAT;
    // A live source starts now, wherever the caller asked it to.
    if (startPosition != nullptr && startPosition->vt != VT_EMPTY && startPosition->vt != VT_I8) {
        return MF_E_UNSUPPORTED_TIME_FORMAT;
    }
    ScopedLock lock(m_lock);
    if (m_shutdown) return MF_E_SHUTDOWN;
    BOOL selected = FALSE;
    IMFStreamDescriptor* chosen = nullptr;
    HRESULT hr = descriptor->GetStreamDescriptorByIndex(0, &selected, &chosen);
    if (FAILED(hr)) return hr;
    DWORD streamId = 1;
    chosen->GetStreamIdentifier(&streamId);
    if (streamId != 0) {
        chosen->Release();
        return MF_E_INVALIDREQUEST;  // not a descriptor of ours
    }
    PROPVARIANT now;
    PropVariantInit(&now);
    now.vt = VT_I8;
    now.hVal.QuadPart = MFGetSystemTime();
    if (selected) {
        hr = m_queue->QueueEventParamUnk(m_streamAnnounced ? MEUpdatedStream : MENewStream,
                                         GUID_NULL, S_OK,
                                         static_cast<IMFMediaStream2Api*>(m_stream));
        if (SUCCEEDED(hr)) {
            m_streamAnnounced = true;
            hr = m_stream->Start(chosen, now);
        }
    } else if (m_stream->Running()) {
        hr = m_stream->Stop();
    }
    chosen->Release();
    if (FAILED(hr)) {
        m_queue->QueueEventParamVar(MESourceStarted, GUID_NULL, hr, nullptr);
        return hr;
    }
    return m_queue->QueueEventParamVar(MESourceStarted, GUID_NULL, S_OK, &now);
}

STDMETHODIMP CPavixMediaSource::Stop() {
    ScopedLock lock(m_lock);
    if (m_shutdown) return MF_E_SHUTDOWN;
    if (m_stream->Running()) {
        const HRESULT hr = m_stream->Stop();
        if (FAILED(hr)) return hr;
    }
    return m_queue->QueueEventParamVar(MESourceStopped, GUID_NULL, S_OK, nullptr);
}

STDMETHODIMP CPavixMediaSource::Pause() {
    ScopedLock lock(m_lock);
    return m_shutdown ? MF_E_SHUTDOWN : MF_E_INVALID_STATE_TRANSITION;
}

STDMETHODIMP CPavixMediaSource::Shutdown() {
    CPavixMediaStream* stream = nullptr;
    {
        ScopedLock lock(m_lock);
        if (m_shutdown) return MF_E_SHUTDOWN;
        m_shutdown = true;
        if (m_queue != nullptr) m_queue->Shutdown();
        stream = m_stream;
        m_stream = nullptr;
    }
    // Outside the lock: the stream waits for its worker, and lets go of
    // this source.
    if (stream != nullptr) {
        stream->Shutdown();
        stream->Release();
    }
    return S_OK;
}

// ---- IMFMediaSourceEx -----------------------------------------------------------

STDMETHODIMP CPavixMediaSource::GetSourceAttributes(IMFAttributes** attributes) {
    if (attributes == nullptr) return E_POINTER;
    ScopedLock lock(m_lock);
    *attributes = nullptr;
    if (m_shutdown) return MF_E_SHUTDOWN;
    *attributes = m_attributes;
    m_attributes->AddRef();
    return S_OK;
}

STDMETHODIMP CPavixMediaSource::GetStreamAttributes(DWORD streamId, IMFAttributes** attributes) {
    if (attributes == nullptr) return E_POINTER;
    ScopedLock lock(m_lock);
    *attributes = nullptr;
    if (m_shutdown) return MF_E_SHUTDOWN;
    if (streamId != 0) return MF_E_INVALIDSTREAMNUMBER;
    return m_streamDescriptor->QueryInterface(IID_IMFAttributes,
                                              reinterpret_cast<void**>(attributes));
}

STDMETHODIMP CPavixMediaSource::SetD3DManager(IUnknown* /*manager*/) {
    // Samples are in system memory; a device manager offered is not needed.
    ScopedLock lock(m_lock);
    return m_shutdown ? MF_E_SHUTDOWN : S_OK;
}

// ---- IMFGetService ----------------------------------------------------------------

STDMETHODIMP CPavixMediaSource::GetService(REFGUID /*service*/, REFIID /*riid*/, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    ScopedLock lock(m_lock);
    return m_shutdown ? MF_E_SHUTDOWN : MF_E_UNSUPPORTED_SERVICE;
}

// ---- IKsControl -------------------------------------------------------------------

HRESULT CPavixMediaSource::CheckKsCall(const void* request, ULONG requestLength,
                                       ULONG* bytesReturned) {
    if (bytesReturned == nullptr) return E_POINTER;
    *bytesReturned = 0;
    if (request == nullptr || requestLength < sizeof(KSIDENTIFIER)) return E_INVALIDARG;
    ScopedLock lock(m_lock);
    return m_shutdown ? MF_E_SHUTDOWN : S_OK;
}

STDMETHODIMP CPavixMediaSource::KsProperty(KSPROPERTY* property, ULONG propertyLength,
                                           void* /*propertyData*/, ULONG /*dataLength*/,
                                           ULONG* bytesReturned) {
    const HRESULT hr = CheckKsCall(property, propertyLength, bytesReturned);
    return FAILED(hr) ? hr : kNotSupported;
}

STDMETHODIMP CPavixMediaSource::KsMethod(KSMETHOD* method, ULONG methodLength,
                                         void* /*methodData*/, ULONG /*dataLength*/,
                                         ULONG* bytesReturned) {
    const HRESULT hr = CheckKsCall(method, methodLength, bytesReturned);
    return FAILED(hr) ? hr : kNotSupported;
}

STDMETHODIMP CPavixMediaSource::KsEvent(KSEVENT* event, ULONG eventLength, void* /*eventData*/,
                                        ULONG /*dataLength*/, ULONG* bytesReturned) {
    // No event set means "disable this event": none was ever enabled.
    if (event == nullptr && eventLength == 0) {
        if (bytesReturned != nullptr) *bytesReturned = 0;
        return S_OK;
    }
    const HRESULT hr = CheckKsCall(event, eventLength, bytesReturned);
    return FAILED(hr) ? hr : kNotSupported;
}

}  // namespace pavix

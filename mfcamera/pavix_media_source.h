#pragma once

// Pavix's Media Foundation camera: a live media source with one video
// stream (pavix_media_stream.h), as the Windows Frame Server loads it for
// the virtual camera (in session 0, as Local Service) and as any
// application may create it in its own process. No pause, no seek, no
// end of stream. Camera controls asked through IKsControl are refused as
// not supported; IMFGetService offers no service.

#include <windows.h>
#include <mfidl.h>

#include "mfcamera/mf_camera_api.h"
#include "shared/critical_section.h"

namespace pavix {

class CPavixMediaStream;

class CPavixMediaSource final : public IMFMediaSourceEx, public IMFGetService, public IKsControlApi {
public:
    static HRESULT Create(CPavixMediaSource** source);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IMFMediaEventGenerator
    STDMETHODIMP GetEvent(DWORD flags, IMFMediaEvent** event) override;
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) override;
    STDMETHODIMP EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) override;
    STDMETHODIMP QueueEvent(MediaEventType type, REFGUID extendedType, HRESULT status,
                            const PROPVARIANT* value) override;

    // IMFMediaSource
    STDMETHODIMP GetCharacteristics(DWORD* characteristics) override;
    STDMETHODIMP CreatePresentationDescriptor(IMFPresentationDescriptor** descriptor) override;
    STDMETHODIMP Start(IMFPresentationDescriptor* descriptor, const GUID* timeFormat,
                       const PROPVARIANT* startPosition) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Shutdown() override;

    // IMFMediaSourceEx
    STDMETHODIMP GetSourceAttributes(IMFAttributes** attributes) override;
    STDMETHODIMP GetStreamAttributes(DWORD streamId, IMFAttributes** attributes) override;
    STDMETHODIMP SetD3DManager(IUnknown* manager) override;

    // IMFGetService
    STDMETHODIMP GetService(REFGUID service, REFIID riid, void** ppv) override;

    // IKsControl
    STDMETHODIMP KsProperty(KSPROPERTY* property, ULONG propertyLength, void* propertyData,
                            ULONG dataLength, ULONG* bytesReturned) override;
    STDMETHODIMP KsMethod(KSMETHOD* method, ULONG methodLength, void* methodData,
                          ULONG dataLength, ULONG* bytesReturned) override;
    STDMETHODIMP KsEvent(KSEVENT* event, ULONG eventLength, void* eventData, ULONG dataLength,
                         ULONG* bytesReturned) override;

private:
    CPavixMediaSource();
    ~CPavixMediaSource();
    HRESULT Initialise();
    // The checks every IKsControl call makes; S_OK when it may go on.
    HRESULT CheckKsCall(const void* request, ULONG requestLength, ULONG* bytesReturned);

    LONG m_refs = 1;
    CriticalSection m_lock;
    IMFMediaEventQueue* m_queue = nullptr;
    IMFPresentationDescriptor* m_descriptor = nullptr;
    IMFStreamDescriptor* m_streamDescriptor = nullptr;
    IMFAttributes* m_attributes = nullptr;
    CPavixMediaStream* m_stream = nullptr;
    bool m_streamAnnounced = false;  // MENewStream went out: later starts update it
    bool m_shutdown = false;
};

}  // namespace pavix

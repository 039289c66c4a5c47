#pragma once

// The Media Foundation camera's one video stream. It runs from the
// source's Start (or SetStreamState) to its Stop; while it runs a worker
// thread answers each RequestSample with the next picture (camera_picture_feed.h),
// converted to the stream's current type and stamped with its arrival on
// Media Foundation's system clock (MFGetSystemTime, 100 ns units).
// No pause, no seek, no end of stream: a camera goes on until stopped.

#include <windows.h>
#include <mfidl.h>

#include <deque>

#include "filter/camera_picture_converter.h"
#include "mfcamera/camera_picture_feed.h"
#include "mfcamera/com_object.h"
#include "mfcamera/mf_camera_api.h"
#include "mfcamera/sample_buffer_pool.h"
#include "shared/critical_section.h"

namespace pavix {

class CPavixMediaStream final : public CComObject<IMFMediaStream2Api> {
public:
    // A stream of `source` described by `descriptor` (both kept).
    static HRESULT Create(IMFMediaSource* source, IMFStreamDescriptor* descriptor,
                          CPavixMediaStream** stream);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;

    // IMFMediaEventGenerator
    STDMETHODIMP GetEvent(DWORD flags, IMFMediaEvent** event) override;
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) override;
    STDMETHODIMP EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) override;
    STDMETHODIMP QueueEvent(MediaEventType type, REFGUID extendedType, HRESULT status,
                            const PROPVARIANT* value) override;

    // IMFMediaStream
    STDMETHODIMP GetMediaSource(IMFMediaSource** source) override;
    STDMETHODIMP GetStreamDescriptor(IMFStreamDescriptor** descriptor) override;
    STDMETHODIMP RequestSample(IUnknown* token) override;

    // IMFMediaStream2
    STDMETHODIMP SetStreamState(MF_STREAM_STATE value) override;
    STDMETHODIMP GetStreamState(MF_STREAM_STATE* value) override;

    // The source's side. Start runs the stream (again) with the current
    // type of `descriptor`'s handler (ours when null) and queues
    // MEStreamStarted; Stop queues MEStreamStopped and drops the requests
    // not answered; Shutdown ends it for good.
    HRESULT Start(IMFStreamDescriptor* descriptor, const PROPVARIANT& startTime);
    HRESULT Stop();
    void Shutdown();
    bool Running();

private:
    CPavixMediaStream(IMFMediaSource* source, IMFStreamDescriptor* descriptor,
                      IMFMediaEventQueue* queue);
    ~CPavixMediaStream() override;

    static DWORD WINAPI WorkerProc(void* argument);
    void Work(const CameraType& type);
    // One picture into a new sample, queued as MEMediaSample with the
    // oldest request's token; false when stop came first.
    bool Deliver(const CameraType& type, bool first);
    // Ends the worker (its stop wait) and drops the waiting requests.
    void EndWorker();
    void DropRequests();

    CriticalSection m_lock;
    IMFMediaEventQueue* m_queue;
    IMFStreamDescriptor* m_descriptor;
    IMFMediaSource* m_source;  // released at shutdown: the two keep each other till then
    bool m_shutdown = false;
    MF_STREAM_STATE m_state = MF_STREAM_STATE_STOPPED;
    CSampleBufferPool* m_buffers;    // the samples' memory, used again
    std::deque<IUnknown*> m_tokens;  // one per request not answered yet (null allowed)
    HANDLE m_requested;              // auto-reset: a request came
    HANDLE m_stop;                   // manual-reset: the worker ends
    HANDLE m_thread = nullptr;
    CameraType m_type;
    CCameraPictureFeed m_feed;  // the worker's alone
    LONGLONG m_lastTime = 0;    // the worker's: the last sample's stamp
    LONGLONG m_ticksPerSecond = 1;  // QueryPerformanceCounter's
};

}  // namespace pavix

#pragma once

// The graph a DirectShow capture application builds around a camera:
// camera -> Sample Grabber -> Null Renderer, connected by the capture graph
// builder through the camera's capture pin (or directly with a given media
// type), with a record of every sample the grabber sees.

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "shared/com_ref.h"

namespace pavix::tools {

// The Sample Grabber and Null Renderer classes (qedit); the platform headers
// declare their interfaces only.
extern const CLSID kClsidSampleGrabber;
extern const CLSID kClsidNullRenderer;

struct SampleRecord {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool timed = false;      // GetTime succeeded
    int64_t arrivalUs = 0;   // when the grabber passed it on, in microseconds
    long length = 0;         // actual data length
    int64_t pictureId = -1;  // what the picture reader made of it, -1 without one
};

// Reads an id from a sample's bytes (on the streaming thread), -1 when it
// finds none.
using PictureReader = std::function<int64_t(const uint8_t* data, size_t length)>;

// The grabber's callback: counts and keeps what arrives, from the streaming
// thread, for the application's thread to read.
class SampleCollector : public ISampleGrabberCB {
public:
    SampleCollector();
    ~SampleCollector();
    SampleCollector(const SampleCollector&) = delete;
    SampleCollector& operator=(const SampleCollector&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP SampleCB(double sampleTime, IMediaSample* sample) override;
    STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, long length) override;

    // Set before the graph runs; every later sample gets its id.
    void SetPictureReader(PictureReader reader);

    std::vector<SampleRecord> Records();
    std::vector<uint8_t> LastSample();
    size_t Count();
    void Clear();

private:
    CRITICAL_SECTION m_lock;
    std::vector<SampleRecord> m_records;
    std::vector<uint8_t> m_last;
    LARGE_INTEGER m_frequency;
    PictureReader m_reader;
};

class CaptureGraph {
public:
    CaptureGraph();
    ~CaptureGraph();
    CaptureGraph(const CaptureGraph&) = delete;
    CaptureGraph& operator=(const CaptureGraph&) = delete;

    // Adds the camera, a Sample Grabber for video of `subtype` and a Null
    // Renderer, and connects them: through the capture graph builder with
    // PIN_CATEGORY_CAPTURE, or, given a media type, the camera's pin
    // directly to the grabber with that type.
    HRESULT Build(IBaseFilter* camera, const AM_MEDIA_TYPE* directType = nullptr,
                  const GUID& subtype = MEDIASUBTYPE_RGB24);

    // Runs the graph without a reference clock: renderers then pass every
    // sample on at once instead of waiting for its time.
    HRESULT RemoveClock();

    HRESULT Pause();
    HRESULT Run();
    HRESULT Stop();
    // The graph's state once it settles (or VFW_S_STATE_INTERMEDIATE).
    HRESULT State(DWORD timeoutMs, OAFilterState* state);

    // Waits for EC_COMPLETE, EC_ERRORABORT or EC_USERABORT; false when none
    // came within the time. Other events are skipped. The thread's window
    // messages are dispatched meanwhile.
    bool WaitForEnd(DWORD timeoutMs, long* code, LONG_PTR* param1);

    // The connection type between camera and grabber.
    HRESULT ConnectionType(AM_MEDIA_TYPE* type);

    SampleCollector& Samples() { return m_collector; }
    IBaseFilter* Renderer() const { return m_renderer.Get(); }
    IBaseFilter* Camera() const { return m_camera.Get(); }
    IGraphBuilder* Graph() const { return m_graph.Get(); }

private:
    // First, so it outlives every reference the grabber holds to it.
    SampleCollector m_collector;
    // Released in the reverse of this order: the grabber first, the graph
    // last.
    ComRef<IGraphBuilder> m_graph;
    ComRef<ICaptureGraphBuilder2> m_builder;
    ComRef<IMediaControl> m_control;
    ComRef<IMediaEvent> m_events;
    ComRef<IBaseFilter> m_camera;
    ComRef<IBaseFilter> m_renderer;
    ComRef<IBaseFilter> m_grabberFilter;
    ComRef<ISampleGrabber> m_grabber;
};

// The first pin of `filter` with the given direction, or null.
ComRef<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION direction);

// The video header of a type, or null when it has none.
const VIDEOINFOHEADER* VideoHeader(const AM_MEDIA_TYPE& type);
void FreeMediaTypeFields(AM_MEDIA_TYPE& type);

}  // namespace pavix::tools

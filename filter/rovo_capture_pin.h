#pragma once

// CRovoCapturePin, the camera's one output pin "Capture": every sample is
// a picture of the phone, cropped, scaled and converted to the connected
// type (capture_formats.h).
//
// With pavix.exe's HD block (hd_picture_source.h) each picture goes out
// once, as soon as it is there, stamped with its arrival on the graph's
// clock; while the phone sends nothing new the last picture goes out again
// every 100 ms, so that applications do not take the camera for frozen.
//
// Without it (an older pavix.exe, or none yet) samples are copies of the
// shared frame buffer PavixShMem, paced by the pin's own clock: each run of
// the stream (a pause from stopped) starts its stamps at 0; sample n of the
// run goes out n x 1/30 s after the first (never earlier; a late one at
// once) and is stamped [n x 1/30 s, (n + 1) x 1/30 s). A sample more than
// two periods late (downstream held the thread up) is stamped from now
// instead, and the stamps go on from there: no burst of overdue copies.
//
// Either way the desktop program marking the block as shut down (frame
// word -1) ends the stream.
//
// Besides IPin it answers IAMStreamConfig (the offered types, the one set
// for the next connection), IKsPropertySet (the pin's category: capture)
// and IAMPushSource (a live source that implements none of its methods).

#include <windows.h>
#include <strmif.h>

#include <cstdint>

#include "filter/camera_picture_converter.h"
#include "filter/dshow/crit_sec.h"
#include "filter/dshow/source.h"
#include "filter/dshow/source_stream.h"
#include "filter/hd_picture_source.h"
#include "filter/run_clock.h"
#include "shared/shared_picture_reader.h"

class CRovoCapturePin : public CSourceStream,
                        public IAMStreamConfig,
                        public IAMPushSource,
                        public IKsPropertySet {
public:
    CRovoCapturePin(HRESULT* phr, CSource* pFilter, LPCWSTR pPinName);
    ~CRovoCapturePin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Streaming thread: S_FALSE once the frame word is -1, else, once the
    // sample is due, the picture copied and stamped. Takes no lock.
    HRESULT FillBuffer(IMediaSample* pSample) override;
    // A new streaming thread, a new run: stamps start again at 0.
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;

    // Behind a Smart Tee the block's own type first (see the definition).
    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;

    // Media types and buffers.
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT GetMediaType(CMediaType* pMediaType) override;
    HRESULT CheckMediaType(const CMediaType* pMediaType) override;
    HRESULT SetMediaType(const CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;
    // Moves on whenever SetFormat changes what the pin offers, so that an
    // enumerator made before tells its caller it is out of date.
    LONG GetMediaTypeVersion() override;

    // IQualityControl: refused.
    STDMETHODIMP Notify(IBaseFilter* pSelf, Quality q) override;
    STDMETHODIMP SetSink(IQualityControl* piqc) override;

    // IAMStreamConfig
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override;
    STDMETHODIMP GetNumberOfCapabilities(int* piCount, int* piSize) override;
    STDMETHODIMP GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override;

    // IAMLatency and IAMPushSource
    STDMETHODIMP GetLatency(REFERENCE_TIME* prtLatency) override;
    STDMETHODIMP GetPushSourceFlags(ULONG* pFlags) override;
    STDMETHODIMP SetPushSourceFlags(ULONG Flags) override;
    STDMETHODIMP SetStreamOffset(REFERENCE_TIME rtOffset) override;
    STDMETHODIMP GetStreamOffset(REFERENCE_TIME* prtOffset) override;
    STDMETHODIMP GetMaxStreamOffset(REFERENCE_TIME* prtMaxOffset) override;
    STDMETHODIMP SetMaxStreamOffset(REFERENCE_TIME rtMaxOffset) override;

    // IKsPropertySet
    STDMETHODIMP Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                     DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData) override;
    STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                     DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData,
                     DWORD* pcbReturned) override;
    STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID,
                                DWORD* pTypeSupport) override;

private:
    // The block's picture into `pSample` in the streaming type; the sample
    // stays as it was when it is too small for that type.
    void FillPicture(IMediaSample* pSample);
    // The next HD picture into `pSample`, stamped: a new one as soon as it
    // is there, the last one again when nothing new came for 100 ms
    // (Filled). Held while the graph is paused; Missing, with the sample
    // untouched, without the HD block or a current picture in it.
    enum class HdFill { Filled, Held, Missing };
    HdFill FillFromHdBlock(IMediaSample* pSample);
    // Stamps a sample of a picture that arrived `age` ago.
    void Stamp(IMediaSample* pSample, REFERENCE_TIME age);
    // The streaming type and its frame time (either place may be null).
    pavix::CameraType StreamType(REFERENCE_TIME* interval);

    HANDLE m_hFrameMap;          // the shared frame buffer, or null
    void* m_pFrameView;          // its mapped view (read-only), or null
    HANDLE m_hSequenceMap;       // the sequence section beside it, or null
    void* m_pSequenceView;       // its mapped view (read-only), or null
    // Streaming thread only: whole pictures out of the block.
    pavix::SharedPictureReader m_reader;
    // Streaming thread only: the next sample's stamp, 0 at the start of a
    // run, and the time since the run's first sample.
    REFERENCE_TIME m_rtNextStart;
    CRunClock m_runClock;
    // Streaming thread only: the HD pictures, the last sample's stamp (-1
    // before the first of a run) and when it went out (PreciseTickMs; 0:
    // none yet this run).
    CHdPictureSource m_hd;
    REFERENCE_TIME m_rtLastStart;
    ULONGLONG m_lastDeliveryMs;
    // Streaming thread only: a private copy of the block's picture (bottom
    // row first, kPixelAreaSize bytes) and its conversion into samples.
    std::uint8_t* m_pPixels;
    pavix::CCameraPictureConverter m_converter;
    // A small lock of the types' own, never held while waiting for
    // anything: the streaming thread and QueryAccept callers take it, and
    // neither may wait for the filter lock (a stop holds that one while it
    // waits for the streaming thread).
    CCritSec m_typeLock;
    // The type samples are made in: the connection type, set when a
    // connection is agreed (only while stopped). Before any connection it
    // is the block's own 480 x 320 RGB24.
    pavix::CameraType m_streamType;
    REFERENCE_TIME m_rtStreamInterval;  // its frame time, 100 ns units
    // The type SetFormat chose for the next connection (then the only one
    // offered and accepted), if any, and the version of what the pin
    // offers.
    CMediaType m_mtFormatSet;
    bool m_bFormatSet;
    LONG m_lTypesVersion;
};

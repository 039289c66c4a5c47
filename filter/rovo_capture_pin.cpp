#include "filter/rovo_capture_pin.h"

#include <amvideo.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>

#include "filter/capture_formats.h"
#include "filter/dshow/media_type.h"
#include "shared/shared_frame_buffer.h"

CRovoCapturePin::CRovoCapturePin(HRESULT* phr, CSource* pFilter, LPCWSTR pPinName)
    : CSourceStream(nullptr, phr, pFilter, pPinName),
      m_hFrameMap(nullptr),
      m_pFrameView(nullptr),
      m_hSequenceMap(nullptr),
      m_pSequenceView(nullptr),
      m_rtNextStart(0),
      m_rtLastStart(-1),
      m_lastDeliveryMs(0),
      m_pPixels(static_cast<std::uint8_t*>(pavix::LocalHeap().allocate(pavix::kPixelAreaSize))),
      m_streamType{pavix::CameraFormat::RGB24, pavix::kPictureWidth, pavix::kPictureHeight, false},
      m_rtStreamInterval(pavix::kSampleDuration),
      m_bFormatSet(false),
      m_lTypesVersion(1) {
    if (m_pPixels == nullptr && phr != nullptr && SUCCEEDED(*phr)) {
        *phr = E_OUTOFMEMORY;
    }
    // Without the block the pin still exists and streams black pictures;
    // without the sequence section it copies the block unchecked.
    pavix::OpenSharedSection(pavix::kSharedFrameBufferName, pavix::kSharedFrameBufferSize,
                             pavix::SharedAccess::Read, &m_hFrameMap, &m_pFrameView);
    pavix::OpenSharedSection(pavix::kFrameSequenceName, pavix::kFrameSequenceSize,
                             pavix::SharedAccess::Read, &m_hSequenceMap, &m_pSequenceView);
}

CRovoCapturePin::~CRovoCapturePin() {
    pavix::CloseSharedFrameBuffer(&m_hFrameMap, &m_pFrameView);
    pavix::CloseSharedFrameBuffer(&m_hSequenceMap, &m_pSequenceView);
    pavix::LocalHeap().release(m_pPixels);
}

STDMETHODIMP CRovoCapturePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IAMPushSource) {
        return GetInterface(static_cast<IAMPushSource*>(this), ppv);
    }
    if (riid == IID_IAMStreamConfig) {
        return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    }
    if (riid == IID_IKsPropertySet) {
        return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
    }
    return CSourceStream::NonDelegatingQueryInterface(riid, ppv);
}

namespace {

// How late a sample may be and still keep its place in the stamps' rhythm.
constexpr REFERENCE_TIME kMostLate = 2 * pavix::kSampleDuration;

}  // namespace

void CRovoCapturePin::FillPicture(IMediaSample* pSample) {
    BYTE* data = nullptr;
    pSample->GetPointer(&data);
    long size = pSample->GetSize();
    if (data == nullptr || size <= 0 || m_pPixels == nullptr) {
        return;
    }
    pavix::CameraType type;
    {
        CAutoLock lock(&m_typeLock);
        type = m_streamType;
    }
    // A whole picture out of the block (black without one), then cropped,
    // scaled and converted to the connected type.
    m_reader.CopyToSample(m_pFrameView, static_cast<const volatile std::uint32_t*>(m_pSequenceView),
                          m_pPixels, pavix::kPixelAreaSize, pavix::RowOrder::BottomUp);
    if (m_converter.FromSharedPixels(m_pPixels, type, data, static_cast<size_t>(size))) {
        pSample->SetActualDataLength(static_cast<long>(pavix::CameraImageSize(type)));
    }
}

namespace {

// While the phone sends nothing new the last picture goes out again this
// often: applications take a camera that sends nothing for a while as
// frozen or gone (several do so after 200 ms to a few seconds), and ten
// repeats a second cost next to nothing.
constexpr ULONGLONG kRepeatMs = 100;
// How often a paused camera looks whether its graph runs yet.
constexpr DWORD kPausedPollMs = 5;

}  // namespace

pavix::CameraType CRovoCapturePin::StreamType(REFERENCE_TIME* interval) {
    CAutoLock lock(&m_typeLock);
    if (interval != nullptr) {
        *interval = m_rtStreamInterval;
    }
    return m_streamType;
}

CRovoCapturePin::HdFill CRovoCapturePin::FillFromHdBlock(IMediaSample* pSample) {
    REFERENCE_TIME interval = pavix::kSampleDuration;
    const pavix::CameraType type = StreamType(&interval);
    if (!m_hd.Ready() && !m_hd.Begin(type)) {
        return HdFill::Missing;
    }
    // A live camera sends nothing while its graph is paused, nor before
    // the start time Run gave it (the graph starts its filters a little
    // ahead of it): its stamps are stream time, and pictures from before
    // its start would all be stamped at that start. A renderer would hold
    // the first of them until then, and later pictures would be lost
    // meanwhile; an application that keeps a steady rate would repeat and
    // drop pictures to make up for them.
    REFERENCE_TIME streamTime = 0;
    const HRESULT clock = m_pFilter->StreamTime(&streamTime);
    if (clock == VFW_E_NOT_RUNNING || (SUCCEEDED(clock) && streamTime < 0)) {
        m_hd.Refresh();  // a long pause must not cost the slot
        Sleep(kPausedPollMs);
        return HdFill::Held;
    }
    BYTE* data = nullptr;
    pSample->GetPointer(&data);
    const long size = pSample->GetSize();
    const std::size_t imageSize = pavix::CameraImageSize(type);
    if (data == nullptr || size <= 0 || static_cast<std::size_t>(size) < imageSize) {
        return HdFill::Missing;
    }
    // A connection at a lower rate than the phone's gets a picture once a
    // frame time (the newest then; a few milliseconds early is in time),
    // and repeats no faster than that either.
    const ULONGLONG intervalMs = static_cast<ULONGLONG>(interval / 10000);
    const ULONGLONG repeatMs = intervalMs > kRepeatMs ? intervalMs : kRepeatMs;
    if (m_lastDeliveryMs != 0 && interval > pavix::kSampleDuration + pavix::kSampleDuration / 5) {
        const ULONGLONG earliest =
            m_lastDeliveryMs + static_cast<ULONGLONG>((interval - pavix::kSampleDuration / 8) / 10000);
        const ULONGLONG now = PreciseTickMs();
        if (now < earliest) {
            Sleep(static_cast<DWORD>(earliest - now));
        }
    }
    // The first sample of a run waits as long for a current picture (the
    // writer starts putting the phone's pictures into the HD block when
    // this camera's slot asks for them, from the next one on).
    DWORD waitMs = static_cast<DWORD>(repeatMs);
    if (m_lastDeliveryMs != 0) {
        const ULONGLONG due = m_lastDeliveryMs + repeatMs;
        const ULONGLONG now = PreciseTickMs();
        waitMs = due > now ? static_cast<DWORD>(due - now) : 0;
    }
    REFERENCE_TIME age = 0;
    if (m_hd.Next(waitMs, m_pFrameView, data, static_cast<std::size_t>(size), &age) ==
        CHdPictureSource::Outcome::NoPicture) {
        return HdFill::Missing;
    }
    m_lastDeliveryMs = PreciseTickMs();
    pSample->SetActualDataLength(static_cast<long>(imageSize));
    Stamp(pSample, age);
    return HdFill::Filled;
}

void CRovoCapturePin::Stamp(IMediaSample* pSample, REFERENCE_TIME age) {
    // The picture's arrival on the graph's clock: stream time now less the
    // picture's age. Paused with a clock, stream time has not begun (it
    // starts at 0 with Run), and samples are stamped from 0; without a clock
    // the run's own clock stands in for it.
    REFERENCE_TIME now = 0;
    const HRESULT hr = m_pFilter->StreamTime(&now);
    REFERENCE_TIME start = 0;
    if (SUCCEEDED(hr)) {
        start = now - age;
    } else if (hr != VFW_E_NOT_RUNNING) {
        start = m_runClock.Elapsed() - age;
    }
    // Never before the last sample: a renderer takes stamps that go back as
    // a broken stream.
    if (start < 0) {
        start = 0;
    }
    if (start <= m_rtLastStart) {
        start = m_rtLastStart + 1;
    }
    REFERENCE_TIME stop = start + pavix::kSampleDuration;
    m_rtLastStart = start;
    m_rtNextStart = stop;  // where the paced copies of PavixShMem go on from
    pSample->SetTime(&start, &stop);
}

HRESULT CRovoCapturePin::FillBuffer(IMediaSample* pSample) {
    if (pSample == nullptr) {
        return E_POINTER;
    }
    // No lock here: a stop holds the filter lock while it waits for this
    // thread, and the block itself is read without one by design.
    if (pavix::ReadFrameWord(m_pFrameView) == pavix::STATUS_SHUTDOWN) {
        return S_FALSE;
    }
    // Each picture once, as it arrives, from the HD block; without it (an
    // older pavix.exe, or none yet) the paced copies of PavixShMem below.
    switch (FillFromHdBlock(pSample)) {
    case HdFill::Filled:
        return S_OK;
    case HdFill::Held:
        return kNothingToDeliver;
    case HdFill::Missing:
        break;
    }
    // Paced by deadline, not by a pause after each sample: the first sample
    // of a run starts the run's clock, every later one waits until its
    // stamp is due (one a little late goes at once), so the stream keeps
    // the rate its stamps claim however long copying and delivering take.
    // After a longer hold-up downstream the stamps jump to now instead:
    // samples that are long overdue would only be copies of the same
    // picture sent in a burst. With a graph clock "now" is the graph's
    // stream time: the renderer holds every sample until its stamp there,
    // and that time started with Run, later than this run's clock (whose
    // first sample waited through the pause).
    if (m_rtNextStart == 0) {
        m_runClock.Start();
    } else {
        REFERENCE_TIME now = 0;
        if (FAILED(m_pFilter->StreamTime(&now))) {
            now = m_runClock.Elapsed();
        }
        if (now - m_rtNextStart > kMostLate) {
            m_rtNextStart = now;
        } else {
            m_runClock.WaitUntil(m_rtNextStart);
        }
    }
    FillPicture(pSample);
    REFERENCE_TIME start = m_rtNextStart;
    m_rtNextStart += pavix::kSampleDuration;
    REFERENCE_TIME stop = m_rtNextStart;
    m_rtLastStart = start;
    pSample->SetTime(&start, &stop);
    return S_OK;
}

HRESULT CRovoCapturePin::OnThreadCreate() {
    // Stream time starts again at 0 with every run of the graph: stamps
    // that went on from an earlier run would lie ahead of it, and a
    // renderer with a clock would hold each sample until then.
    m_rtNextStart = 0;
    m_rtLastStart = -1;
    m_lastDeliveryMs = 0;
    m_runClock.Start();
    // The request slot for the run's type: pavix.exe starts decoding large
    // enough before the first sample is asked for.
    m_hd.Begin(StreamType(nullptr));
    return S_OK;
}

HRESULT CRovoCapturePin::OnThreadDestroy() {
    m_hd.End();
    return S_OK;
}

namespace {

// Whether `pin` belongs to a Smart Tee.
bool IsSmartTeePin(IPin* pin) {
    PIN_INFO info = {};
    if (FAILED(pin->QueryPinInfo(&info)) || info.pFilter == nullptr) {
        return false;
    }
    CLSID clsid = GUID_NULL;
    const bool smartTee = SUCCEEDED(info.pFilter->GetClassID(&clsid)) && clsid == CLSID_SmartTee;
    info.pFilter->Release();
    return smartTee;
}

}  // namespace

STDMETHODIMP CRovoCapturePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
    // The capture graph builder puts a Smart Tee behind a pin without a
    // preview pin before it knows the application's filter. The Smart Tee
    // takes any type, and Wine's offers its outputs only the type of its
    // input, so the preferred HD type would reach an application that
    // insists on RGB24 (a sample grabber) as a type it refuses. Behind a
    // Smart Tee the pin therefore proposes first the type every client has
    // always taken, 480 x 320 RGB24; an application that wants another
    // chooses it with SetFormat before it connects, as capture applications
    // do.
    bool formatSet = false;
    {
        CAutoLock lock(&m_typeLock);
        formatSet = m_bFormatSet;
    }
    if (pReceivePin != nullptr && !formatSet && IsSmartTeePin(pReceivePin)) {
        const pavix::CameraType blockType{pavix::CameraFormat::RGB24, pavix::kPictureWidth,
                                          pavix::kPictureHeight, false};
        AM_MEDIA_TYPE* media = pavix::CreateCaptureMediaType(blockType);
        if (media != nullptr) {
            CMediaType compatible(*media);
            DeleteMediaType(media);
            HRESULT hr = S_OK;
            bool fits = true;
            if (pmt != nullptr) {
                CMediaType asked(*pmt, &hr);
                fits = SUCCEEDED(hr) && asked.IsPartiallySpecified() && compatible.MatchesPartial(&asked);
            }
            if (fits && SUCCEEDED(CSourceStream::Connect(pReceivePin, &compatible))) {
                return S_OK;
            }
        }
    }
    return CSourceStream::Connect(pReceivePin, pmt);
}

HRESULT CRovoCapturePin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (pMediaType == nullptr) {
        return E_POINTER;
    }
    if (iPosition < 0) {
        return E_INVALIDARG;
    }
    CAutoLock lock(&m_typeLock);
    // After SetFormat its type is the only one on offer.
    if (m_bFormatSet) {
        return iPosition == 0 ? pMediaType->Set(m_mtFormatSet) : VFW_S_NO_MORE_ITEMS;
    }
    if (iPosition >= pavix::kCaptureTypeCount) {
        return VFW_S_NO_MORE_ITEMS;
    }
    const pavix::CameraType type = pavix::CaptureType(iPosition);
    HRESULT hr = pMediaType->Set(pavix::MediaTypeOf(type));
    if (FAILED(hr)) {
        return hr;
    }
    BYTE* format = pMediaType->AllocFormatBuffer(sizeof(VIDEOINFOHEADER));
    if (format == nullptr) {
        return E_OUTOFMEMORY;
    }
    const VIDEOINFOHEADER info = pavix::VideoInfoOf(type);
    std::memcpy(format, &info, sizeof(info));
    return S_OK;
}

HRESULT CRovoCapturePin::GetMediaType(CMediaType* pMediaType) {
    return GetMediaType(0, pMediaType);
}

HRESULT CRovoCapturePin::CheckMediaType(const CMediaType* pMediaType) {
    HRESULT hr = pavix::CheckCaptureMediaType(pMediaType);
    if (hr != S_OK) {
        return hr;
    }
    CAutoLock lock(&m_typeLock);
    if (m_bFormatSet) {
        // The same samples as the type SetFormat chose; its frame duration
        // or a name like IYUV for I420 may differ.
        pavix::CameraType wanted, chosen;
        if (!pavix::CameraTypeOf(*pMediaType, &wanted) ||
            !pavix::CameraTypeOf(m_mtFormatSet, &chosen) || !pavix::SameCameraType(wanted, chosen)) {
            return E_INVALIDARG;
        }
    }
    return S_OK;
}

HRESULT CRovoCapturePin::SetMediaType(const CMediaType* pMediaType) {
    CAutoLock lock(m_pFilter->pStateLock());
    pavix::CameraType type;
    if (pMediaType == nullptr || !pavix::CameraTypeOf(*pMediaType, &type)) {
        return VFW_E_INVALIDMEDIATYPE;
    }
    HRESULT hr = CSourceStream::SetMediaType(pMediaType);
    if (SUCCEEDED(hr)) {
        VIDEOINFOHEADER info = {};
        std::memcpy(&info, pMediaType->pbFormat, sizeof(info));  // checked whole by CameraTypeOf
        CAutoLock typeLock(&m_typeLock);
        m_streamType = type;
        m_rtStreamInterval = info.AvgTimePerFrame > 0 ? info.AvgTimePerFrame : pavix::kSampleDuration;
    }
    return hr;
}

LONG CRovoCapturePin::GetMediaTypeVersion() {
    CAutoLock lock(&m_typeLock);
    return m_lTypesVersion;
}

namespace {

constexpr long kMinBuffers = 2;

}  // namespace

HRESULT CRovoCapturePin::DecideBufferSize(IMemAllocator* pAlloc,
                                          ALLOCATOR_PROPERTIES* pRequest) {
    if (pAlloc == nullptr || pRequest == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pFilter->pStateLock());
    pavix::CameraType type;
    if (!pavix::CameraTypeOf(m_mt, &type)) {
        return VFW_E_INVALIDMEDIATYPE;
    }
    // Two buffers at least: Wine's capture graph builder puts a Smart Tee
    // behind the pin whose capture output copies every sample into a
    // second buffer of the same allocator, so with one buffer the first
    // sample would wait for itself forever.
    pRequest->cBuffers = pRequest->cBuffers > kMinBuffers ? pRequest->cBuffers : kMinBuffers;
    pRequest->cbBuffer = static_cast<long>(pavix::CameraImageSize(type));

    ALLOCATOR_PROPERTIES granted = {};
    HRESULT hr = pAlloc->SetProperties(pRequest, &granted);
    if (FAILED(hr)) {
        return hr;
    }
    if (granted.cbBuffer < pRequest->cbBuffer) {
        return E_FAIL;
    }
    return S_OK;
}

STDMETHODIMP CRovoCapturePin::Notify(IBaseFilter* /*pSelf*/, Quality /*q*/) {
    return E_NOTIMPL;
}

STDMETHODIMP CRovoCapturePin::SetSink(IQualityControl* /*piqc*/) {
    return E_NOTIMPL;
}

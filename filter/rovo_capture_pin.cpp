#include "filter/rovo_capture_pin.h"

#include <amvideo.h>
#include <vfwmsgs.h>

#include <cstring>

#include "filter/capture_formats.h"
#include "shared/shared_frame_buffer.h"

CRovoCapturePin::CRovoCapturePin(HRESULT* phr, CSource* pFilter, LPCWSTR pPinName)
    : CSourceStream(nullptr, phr, pFilter, pPinName),
      m_hFrameMap(nullptr),
      m_pFrameView(nullptr),
      m_hSequenceMap(nullptr),
      m_pSequenceView(nullptr),
      m_rtNextStart(0),
      m_bTopDown(false) {
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

HRESULT CRovoCapturePin::FillBuffer(IMediaSample* pSample) {
    if (pSample == nullptr) {
        return E_POINTER;
    }
    // No lock here: a stop holds the filter lock while it waits for this
    // thread, and the block itself is read without one by design.
    if (pavix::ReadFrameWord(m_pFrameView) == pavix::STATUS_SHUTDOWN) {
        return S_FALSE;
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
    BYTE* data = nullptr;
    pSample->GetPointer(&data);
    long size = pSample->GetSize();
    if (data != nullptr && size > 0) {
        m_reader.CopyToSample(m_pFrameView,
                              static_cast<const volatile std::uint32_t*>(m_pSequenceView), data,
                              static_cast<size_t>(size),
                              m_bTopDown.load() ? pavix::RowOrder::TopDown
                                                : pavix::RowOrder::BottomUp);
    }
    REFERENCE_TIME start = m_rtNextStart;
    m_rtNextStart += pavix::kSampleDuration;
    REFERENCE_TIME stop = m_rtNextStart;
    pSample->SetTime(&start, &stop);
    return S_OK;
}

HRESULT CRovoCapturePin::OnThreadCreate() {
    // Stream time starts again at 0 with every run of the graph: stamps
    // that went on from an earlier run would lie ahead of it, and a
    // renderer with a clock would hold each sample until then.
    m_rtNextStart = 0;
    return S_OK;
}

HRESULT CRovoCapturePin::OnThreadDestroy() {
    return S_OK;
}

HRESULT CRovoCapturePin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (pMediaType == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(m_pFilter->pStateLock());
    if (iPosition < 0) {
        return E_INVALIDARG;
    }
    if (iPosition > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    HRESULT hr = pMediaType->Set(pavix::OfferedMediaType());
    if (FAILED(hr)) {
        return hr;
    }
    BYTE* format = pMediaType->AllocFormatBuffer(sizeof(VIDEOINFOHEADER));
    if (format == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(format, &pavix::OfferedVideoInfo(), sizeof(VIDEOINFOHEADER));
    return S_OK;
}

HRESULT CRovoCapturePin::GetMediaType(CMediaType* pMediaType) {
    return GetMediaType(0, pMediaType);
}

HRESULT CRovoCapturePin::CheckMediaType(const CMediaType* pMediaType) {
    return pavix::CheckCaptureMediaType(pMediaType);
}

HRESULT CRovoCapturePin::SetMediaType(const CMediaType* pMediaType) {
    CAutoLock lock(m_pFilter->pStateLock());
    HRESULT hr = CSourceStream::SetMediaType(pMediaType);
    if (SUCCEEDED(hr)) {
        m_bTopDown = pavix::IsTopDown(*pMediaType);
    }
    return hr;
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
    if (m_mt.pbFormat == nullptr || m_mt.cbFormat < sizeof(VIDEOINFOHEADER)) {
        return VFW_E_INVALIDMEDIATYPE;
    }
    VIDEOINFOHEADER info;
    std::memcpy(&info, m_mt.pbFormat, sizeof(info));
    // Two buffers at least: Wine's capture graph builder puts a Smart Tee
    // behind the pin whose capture output copies every sample into a
    // second buffer of the same allocator, so with one buffer the first
    // sample would wait for itself forever.
    pRequest->cBuffers = pRequest->cBuffers > kMinBuffers ? pRequest->cBuffers : kMinBuffers;
    pRequest->cbBuffer = static_cast<long>(info.bmiHeader.biSizeImage);

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

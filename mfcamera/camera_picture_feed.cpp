#include "mfcamera/camera_picture_feed.h"

#include "filter/run_clock.h"
#include "shared/local_heap.h"
#include "shared/shared_frame_buffer.h"

namespace pavix {
namespace {

// While the phone sends nothing new the last picture goes out again this
// often.
constexpr ULONGLONG kRepeatMs = 100;
// PavixShMem's pictures: 1/30 s apart, in microseconds.
constexpr ULONGLONG kSharedIntervalUs = 33333;

ULONGLONG NowUs() { return PreciseTickMs() * 1000; }

}  // namespace

CCameraPictureFeed::CCameraPictureFeed()
    : m_pixels(static_cast<std::uint8_t*>(LocalHeap().allocate(kPixelAreaSize))) {
    // Opened for reading; made (empty: black) where Pavix has not made it,
    // as the DirectShow camera does, so either may come first.
    OpenSharedSection(kSharedFrameBufferName, kSharedFrameBufferSize, SharedAccess::Read,
                      &m_frameMap, &m_frameView);
    OpenSharedSection(kFrameSequenceName, kFrameSequenceSize, SharedAccess::Read, &m_sequenceMap,
                      &m_sequenceView);
}

CCameraPictureFeed::~CCameraPictureFeed() {
    End();
    CloseSharedFrameBuffer(&m_frameMap, &m_frameView);
    CloseSharedFrameBuffer(&m_sequenceMap, &m_sequenceView);
    LocalHeap().release(m_pixels);
}

void CCameraPictureFeed::Begin(const CameraType& type) {
    m_type = type;
    m_hd.Begin(type);
    m_lastDeliveryMs = 0;
    m_nextSharedDueUs = 0;
}

void CCameraPictureFeed::End() { m_hd.End(); }

bool CCameraPictureFeed::FromSharedBlock(std::uint8_t* sample, std::size_t size) {
    if (m_pixels == nullptr) {
        return false;
    }
    m_reader.CopyToSample(m_frameView, static_cast<const volatile std::uint32_t*>(m_sequenceView),
                          m_pixels, kPixelAreaSize, RowOrder::BottomUp);
    return m_converter.FromSharedPixels(m_pixels, m_type, sample, size);
}

bool CCameraPictureFeed::Next(HANDLE stop, std::uint8_t* sample, std::size_t size,
                              LONGLONG* arrival) {
    *arrival = 0;
    // Begin looks for the block again at most once a second: a stream
    // opened before Pavix moves to the HD pictures once they are there.
    if (m_hd.Ready() || m_hd.Begin(m_type)) {
        DWORD waitMs = static_cast<DWORD>(kRepeatMs);
        if (m_lastDeliveryMs != 0) {
            const ULONGLONG due = m_lastDeliveryMs + kRepeatMs;
            const ULONGLONG now = PreciseTickMs();
            waitMs = due > now ? static_cast<DWORD>(due - now) : 0;
        }
        REFERENCE_TIME age = 0;
        const CHdPictureSource::Outcome outcome = m_hd.Next(waitMs, m_frameView, sample, size, &age);
        if (outcome != CHdPictureSource::Outcome::NoPicture) {
            m_lastDeliveryMs = PreciseTickMs();
            if (outcome == CHdPictureSource::Outcome::NewPicture && age != 0) {
                *arrival = m_hd.LastArrival();
            }
            return true;
        }
        // Nothing current in the HD block yet: PavixShMem's picture meanwhile.
        m_lastDeliveryMs = PreciseTickMs();
        return FromSharedBlock(sample, size);
    }
    const ULONGLONG now = NowUs();
    if (m_nextSharedDueUs == 0 || m_nextSharedDueUs + 2 * kSharedIntervalUs < now) {
        m_nextSharedDueUs = now;  // the first, or far behind: no burst to catch up
    }
    if (m_nextSharedDueUs > now) {
        const DWORD waitMs = static_cast<DWORD>((m_nextSharedDueUs - now + 999) / 1000);
        if (stop != nullptr && WaitForSingleObject(stop, waitMs) == WAIT_OBJECT_0) {
            return false;
        }
        if (stop == nullptr) {
            Sleep(waitMs);
        }
    }
    m_nextSharedDueUs += kSharedIntervalUs;
    return FromSharedBlock(sample, size);
}

}  // namespace pavix

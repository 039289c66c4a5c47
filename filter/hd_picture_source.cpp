#include "filter/hd_picture_source.h"

#include "filter/run_clock.h"

#include "shared/hd_camera_request.h"
#include "shared/hd_picture_block.h"
#include "shared/shared_frame_buffer.h"

namespace {

// Between two looks for the block while it is not there.
constexpr ULONGLONG kOpenRetryMs = 1000;
// Between two looks for a new picture when the slot has no event.
constexpr DWORD kPollMs = 2;
// Tries at a whole copy: the writer comes back to a buffer only after
// filling the two others, so one miss is already rare.
constexpr int kCopyTries = 3;
// A picture's age as stamped is at most this (a clock that jumped, or a
// picture left from long ago): 1 s in 100 ns units.
constexpr REFERENCE_TIME kMostAge = 10000000;

}  // namespace

CHdPictureSource::CHdPictureSource()
    : m_ticket(pavix::NewRequestTicket(GetCurrentProcessId())) {}

CHdPictureSource::~CHdPictureSource() {
    End();
    CloseObjects();
}

bool CHdPictureSource::OpenObjects() {
    if (m_block != nullptr && m_request != nullptr) {
        return true;
    }
    const ULONGLONG now = GetTickCount64();
    if (m_triedOpen && now - m_lastOpenAttempt < kOpenRetryMs) {
        return false;
    }
    m_triedOpen = true;
    m_lastOpenAttempt = now;
    bool global = false;
    void* block = nullptr;
    if (m_block == nullptr && pavix::OpenHdPictureBlock(&m_blockMap, &block, &global)) {
        m_block = block;
    }
    if (m_block != nullptr && m_request == nullptr) {
        pavix::OpenHdRequestSection(&m_requestMap, &m_request);
    }
    return m_block != nullptr && m_request != nullptr;
}

void CHdPictureSource::CloseObjects() {
    void* block = const_cast<void*>(m_block);
    pavix::CloseSharedFrameBuffer(&m_blockMap, &block);
    m_block = nullptr;
    pavix::CloseSharedFrameBuffer(&m_requestMap, &m_request);
}

bool CHdPictureSource::Begin(const pavix::CameraType& type) {
    if (m_slot >= 0 && type.width == m_type.width && type.height == m_type.height) {
        m_type = type;
        return true;
    }
    End();
    m_type = type;
    if (!OpenObjects()) {
        return false;
    }
    m_slot = pavix::ClaimRequestSlot(m_request, m_ticket, type.width, type.height, GetTickCount64());
    if (m_slot < 0) {
        return false;  // sixteen cameras stream already: this one copies PavixShMem
    }
    m_ready = pavix::OpenHdReadyEvent(m_slot);
    // A picture that is in the block already goes out first: a new run
    // starts with the newest picture, not with a wait for the next one.
    m_handedOn = false;
    return true;
}

void CHdPictureSource::End() {
    if (m_slot >= 0) {
        pavix::ReleaseRequestSlot(m_request, m_slot, m_ticket);
        m_slot = -1;
    }
    if (m_ready != nullptr) {
        CloseHandle(m_ready);
        m_ready = nullptr;
    }
}

void CHdPictureSource::Refresh() {
    if (m_slot < 0) {
        return;
    }
    const ULONGLONG now = GetTickCount64();
    if (pavix::RefreshRequestSlot(m_request, m_slot, m_ticket, m_type.width, m_type.height, now)) {
        return;
    }
    // The slot went stale (this thread was held up for seconds) and another
    // camera took it: claim one again, with its own event.
    if (m_ready != nullptr) {
        CloseHandle(m_ready);
        m_ready = nullptr;
    }
    m_slot = pavix::ClaimRequestSlot(m_request, m_ticket, m_type.width, m_type.height, now);
    if (m_slot >= 0) {
        m_ready = pavix::OpenHdReadyEvent(m_slot);
    }
}

std::uint64_t CHdPictureSource::CurrentNumber(const void* sharedView) const {
    pavix::HdPictureView picture;
    if (!pavix::FindLatestHdPicture(m_block, &picture) ||
        !pavix::IsHdPictureCurrent(picture.frameWord, pavix::ReadFrameWord(sharedView))) {
        return 0;
    }
    return picture.pictureNumber;
}

CHdPictureSource::Outcome CHdPictureSource::Next(DWORD waitMs, const void* sharedView,
                                                 std::uint8_t* sample, std::size_t size,
                                                 REFERENCE_TIME* age) {
    *age = 0;
    if (m_slot < 0) {
        return Outcome::NoPicture;
    }
    Refresh();
    // Picture numbers are compared for being different, not larger: a
    // pavix.exe started again counts from 1 in the same block.
    const ULONGLONG deadline = PreciseTickMs() + waitMs;
    auto isFresh = [&] {
        const std::uint64_t current = CurrentNumber(sharedView);
        return current != 0 && (!m_handedOn || current != m_lastNumber);
    };
    bool fresh = isFresh();
    while (!fresh) {
        const ULONGLONG now = PreciseTickMs();
        if (now >= deadline) {
            break;
        }
        const DWORD left = static_cast<DWORD>(deadline - now);
        if (m_ready != nullptr) {
            // Auto-reset: a signal for a picture already handed on wakes
            // this wait once for nothing, and the loop waits again.
            WaitForSingleObject(m_ready, left);
        } else {
            Sleep(left < kPollMs ? left : kPollMs);
        }
        fresh = isFresh();
    }
    if (!fresh && !m_handedOn) {
        return Outcome::NoPicture;  // nothing current yet: PavixShMem's picture meanwhile
    }
    const std::uint64_t before = m_lastNumber;
    if (!ConvertLatest(sample, size, age)) {
        return Outcome::NoPicture;
    }
    // What went out decides, not the look before it: a current picture
    // that came just after the wait ended is new, with its own arrival.
    if (!fresh && (m_lastNumber == before || CurrentNumber(sharedView) != m_lastNumber)) {
        *age = 0;  // the same picture again, stamped now
        return Outcome::SamePicture;
    }
    return Outcome::NewPicture;
}

bool CHdPictureSource::ConvertLatest(std::uint8_t* sample, std::size_t size,
                                     REFERENCE_TIME* age) {
    for (int attempt = 0; attempt < kCopyTries; ++attempt) {
        pavix::HdPictureView picture;
        if (!pavix::FindLatestHdPicture(m_block, &picture)) {
            return false;
        }
        if (!m_converter.FromI420(picture, m_type, sample, size)) {
            return false;
        }
        if (!pavix::IsHdPictureUnchanged(m_block, picture)) {
            continue;  // the writer came round to this buffer meanwhile
        }
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        const std::uint64_t frequency = pavix::HdClockFrequency(m_block);
        REFERENCE_TIME since = 0;
        if (frequency != 0 && now.QuadPart > picture.arrivalTime) {
            const std::uint64_t ticks = static_cast<std::uint64_t>(now.QuadPart - picture.arrivalTime);
            // Whole seconds and the rest apart, as the run clock does.
            since = static_cast<REFERENCE_TIME>(ticks / frequency * 10000000 +
                                                ticks % frequency * 10000000 / frequency);
        }
        *age = since < kMostAge ? since : kMostAge;
        m_lastNumber = picture.pictureNumber;
        m_lastArrival = picture.arrivalTime;
        m_handedOn = true;
        return true;
    }
    return false;
}

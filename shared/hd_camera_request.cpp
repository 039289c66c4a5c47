#include "shared/hd_camera_request.h"

#include "shared/hd_picture_block.h"

#if defined(_WIN32)
#include <string>

#include "shared/hd_object_names.h"
#endif

namespace pavix {
namespace {

// One slot as it lies in the section (hd_camera_request.h). Every field is
// shared with other processes: reached through the atomic built-ins only.
struct RequestSlot {
    std::uint32_t owner;
    std::int32_t width;
    std::int32_t height;
    std::uint32_t unused;
    std::uint64_t heartbeat;
    std::uint64_t unused2;
};
static_assert(sizeof(RequestSlot) == kRequestSlotSize, "a slot is 32 bytes");
static_assert(kRequestSlots * kRequestSlotSize <= kRequestSectionSize, "the slots fit the section");

// A heartbeat this far ahead of the reader's clock still counts (the two
// read GetTickCount64 at slightly different moments); one further ahead
// was never written by a live camera.
constexpr std::uint64_t kFutureSlackMs = 1000;

RequestSlot* Slots(void* view) { return static_cast<RequestSlot*>(view); }
const RequestSlot* Slots(const void* view) { return static_cast<const RequestSlot*>(view); }

bool IsLive(std::uint64_t heartbeat, std::uint64_t nowMs) {
    if (heartbeat > nowMs) return heartbeat - nowMs <= kFutureSlackMs;
    return nowMs - heartbeat <= kRequestStaleMs;
}

void Fill(RequestSlot* slot, int width, int height, std::uint64_t nowMs) {
    __atomic_store_n(&slot->width, static_cast<std::int32_t>(width), __ATOMIC_RELAXED);
    __atomic_store_n(&slot->height, static_cast<std::int32_t>(height), __ATOMIC_RELAXED);
    // The size before the heartbeat that makes it count.
    __atomic_store_n(&slot->heartbeat, nowMs, __ATOMIC_RELEASE);
}

int Bounded(std::int32_t side, int largest) {
    if (side <= 0) return 0;
    return side < largest ? side : largest;
}

}  // namespace

std::uint32_t NewRequestTicket(std::uint32_t processId) {
    static std::uint32_t count = 0;
    const std::uint32_t n = __atomic_add_fetch(&count, 1u, __ATOMIC_RELAXED);
    // Windows process ids are multiples of 4 below 2^24 in practice: the id
    // over 4 in the top 22 bits, the count in the low 10. A process's 1024
    // tickets come round again only after as many claims.
    const std::uint32_t ticket = ((processId >> 2) << 10) | (n & 0x3FFu);
    return ticket != 0 ? ticket : 1;
}

int ClaimRequestSlot(void* view, std::uint32_t ticket, int width, int height, std::uint64_t nowMs) {
    if (view == nullptr || ticket == 0) return -1;
    for (int i = 0; i < kRequestSlots; ++i) {
        RequestSlot* slot = &Slots(view)[i];
        std::uint32_t owner = __atomic_load_n(&slot->owner, __ATOMIC_ACQUIRE);
        const std::uint64_t heartbeat = __atomic_load_n(&slot->heartbeat, __ATOMIC_ACQUIRE);
        if (owner != 0 && owner != ticket && IsLive(heartbeat, nowMs)) continue;
        // Taken from the owner seen here only: a camera that claimed it
        // meanwhile keeps it. Two that both saw it stale may both succeed in
        // turn; the first then finds it lost at its next refresh.
        if (!__atomic_compare_exchange_n(&slot->owner, &owner, ticket, false, __ATOMIC_ACQ_REL,
                                         __ATOMIC_ACQUIRE)) {
            continue;
        }
        Fill(slot, width, height, nowMs);
        return i;
    }
    return -1;
}

bool RefreshRequestSlot(void* view, int slot, std::uint32_t ticket, int width, int height,
                        std::uint64_t nowMs) {
    if (view == nullptr || slot < 0 || slot >= kRequestSlots || ticket == 0) return false;
    RequestSlot* record = &Slots(view)[slot];
    std::uint32_t expected = ticket;
    if (!__atomic_compare_exchange_n(&record->owner, &expected, ticket, false, __ATOMIC_ACQ_REL,
                                     __ATOMIC_ACQUIRE)) {
        return false;
    }
    Fill(record, width, height, nowMs);
    return true;
}

void ReleaseRequestSlot(void* view, int slot, std::uint32_t ticket) {
    if (view == nullptr || slot < 0 || slot >= kRequestSlots || ticket == 0) return;
    std::uint32_t expected = ticket;
    __atomic_compare_exchange_n(&Slots(view)[slot].owner, &expected, 0u, false, __ATOMIC_ACQ_REL,
                                __ATOMIC_RELAXED);
}

CameraRequest ReadCameraRequest(const void* view, std::uint64_t nowMs) {
    CameraRequest request;
    if (view == nullptr) return request;
    for (int i = 0; i < kRequestSlots; ++i) {
        const RequestSlot* slot = &Slots(view)[i];
        if (__atomic_load_n(&slot->owner, __ATOMIC_ACQUIRE) == 0) continue;
        if (!IsLive(__atomic_load_n(&slot->heartbeat, __ATOMIC_ACQUIRE), nowMs)) continue;
        request.liveSlots |= 1u << i;
        const int width = Bounded(__atomic_load_n(&slot->width, __ATOMIC_RELAXED), kHdMaxWidth);
        const int height = Bounded(__atomic_load_n(&slot->height, __ATOMIC_RELAXED), kHdMaxHeight);
        if (width > request.width) request.width = width;
        if (height > request.height) request.height = height;
    }
    return request;
}

#if defined(_WIN32)

int CreateHdRequestSection(bool global, HANDLE* mapping, void** view) {
    bool isGlobal = false;
    if (!CreateSharedObjectView(kHdRequestName, kRequestSectionSize, SharedObjectKind::RequestSection,
                                global, mapping, view, &isGlobal)) {
        return 0;
    }
    // A global block asks for a global section: a section in this session
    // would leave cameras in other sessions talking to nobody.
    if (isGlobal != global) {
        UnmapViewOfFile(*view);
        CloseHandle(*mapping);
        *view = nullptr;
        *mapping = nullptr;
        return 0;
    }
    return 1;
}

int OpenHdRequestSection(HANDLE* mapping, void** view) {
    bool global = false;
    return OpenSharedObjectView(kHdRequestName, kRequestSectionSize, true, mapping, view, &global);
}

void CreateHdReadyEvents(bool global, HANDLE events[kRequestSlots]) {
    SharedObjectSecurity security(SharedObjectKind::ReadyEvent);
    for (int i = 0; i < kRequestSlots; ++i) {
        const std::string name = ObjectName(kHdReadyEventPrefix, global) + std::to_string(i);
        events[i] = CreateEventA(security.Attributes(), FALSE, FALSE, name.c_str());
        if (events[i] != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
            security.ApplyTo(events[i]);
        }
    }
}

HANDLE OpenHdReadyEvent(int slot) {
    if (slot < 0 || slot >= kRequestSlots) return nullptr;
    const std::string number = std::to_string(slot);
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, (GlobalObjectName(kHdReadyEventPrefix) + number).c_str());
    if (event == nullptr) event = OpenEventA(SYNCHRONIZE, FALSE, (kHdReadyEventPrefix + number).c_str());
    return event;
}

#endif

}  // namespace pavix

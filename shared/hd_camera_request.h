#pragma once

// What the running cameras want from the HD picture block: the small
// section "PavixHdRequest", the one HD object that readers may write, and
// the readers' new-picture events "PavixHdReady0" to "PavixHdReady15".
//
// Every capture pin that streams from the HD block claims one of 16 slots,
// puts the size of its connection type there and refreshes the slot's
// heartbeat with every sample it delivers (at least every 100 ms). pavix.exe
// decodes large enough for the largest live request, and after every
// picture signals the event of each live slot; the slot's owner waits on
// it. A slot whose heartbeat is older than kRequestStaleMs (its process died
// or hung) counts for nothing and may be claimed again.
//
// Nothing a reader writes is trusted: pavix.exe bounds every size it reads
// to the HD block's largest picture, and a slot's contents never say where
// to write. The pictures themselves stay writable by pavix.exe alone.
//
// Layout (little-endian): kRequestSlots records of 32 bytes from offset 0,
// then unused bytes up to kRequestSectionSize.
//      0  4  owner: 0 free, else the claimant's ticket (nonzero)
//      4  4  width asked for (pixels)
//      8  4  height asked for (pixels)
//     12  4  unused, 0
//     16  8  heartbeat: GetTickCount64 at the last refresh, in ms
//     24  8  unused, 0
//
// The slot rules are plain logic and build everywhere; the section and the
// events need Windows.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace pavix {

inline constexpr char kHdRequestName[] = "PavixHdRequest";
inline constexpr char kHdReadyEventPrefix[] = "PavixHdReady";  // + slot number, "0" to "15"

inline constexpr int kRequestSlots = 16;
inline constexpr std::size_t kRequestSlotSize = 32;
inline constexpr std::size_t kRequestSectionSize = 4096;
// A slot not refreshed for this long is free again.
inline constexpr std::uint64_t kRequestStaleMs = 3000;

// The largest live request, bounded to the HD block's largest picture;
// 0 x 0 when no slot is live. `liveSlots` has bit i set for each live slot.
struct CameraRequest {
    int width = 0;
    int height = 0;
    std::uint32_t liveSlots = 0;
};

// A ticket for ClaimRequestSlot, unique among the claimants on this machine
// (process id and a count within the process); never 0.
std::uint32_t NewRequestTicket(std::uint32_t processId);

// Takes a free or stale slot for `ticket` and refreshes it with the size.
// Returns the slot number, or -1 when all are live.
int ClaimRequestSlot(void* view, std::uint32_t ticket, int width, int height, std::uint64_t nowMs);

// Refreshes the slot's heartbeat and size. False when the slot is no longer
// the ticket's (it went stale and was taken): claim again.
bool RefreshRequestSlot(void* view, int slot, std::uint32_t ticket, int width, int height,
                        std::uint64_t nowMs);

// Gives the slot back when it is still the ticket's.
void ReleaseRequestSlot(void* view, int slot, std::uint32_t ticket);

// pavix.exe's reading of the section (untrusted): the largest live size,
// each side bounded to 1920 x 1080.
CameraRequest ReadCameraRequest(const void* view, std::uint64_t nowMs);

#if defined(_WIN32)
// The writer creates the section with the request security (readers may
// write it) in the namespace its HD block got; a reader opens it (global
// name first) for writing. 1 with both places filled, or 0 with both null.
int CreateHdRequestSection(bool global, HANDLE* mapping, void** view);
int OpenHdRequestSection(HANDLE* mapping, void** view);

// The writer creates the 16 auto-reset events (readers may wait on them
// and nothing else); null entries for any it could not create.
void CreateHdReadyEvents(bool global, HANDLE events[kRequestSlots]);
// A reader opens the event of its slot for waiting; null when it is not
// there (the reader then looks for new pictures every few milliseconds).
HANDLE OpenHdReadyEvent(int slot);
#endif

}  // namespace pavix

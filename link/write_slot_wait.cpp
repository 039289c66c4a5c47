#include "link/write_slot_wait.h"

#include "shared/debug_text.h"

namespace pavix {

RecvSlot* WaitForWriteSlot(CRecvRing& ring, const InterruptibleSleep& sleep) {
    int sleeps = 0;
    for (;;) {
        if (RecvSlot* slot = ring.AcquireWriteSlot()) return slot;
        if (!sleep(kSlotWaitSleepMs)) return nullptr;
        // The count is not restarted by the reset: one forced reset per wait.
        if (++sleeps == kSlotWaitSleepsBeforeReset) {
            DebugText("reset_RW_buf_state by receive package");
            ring.reset_RW_buf_state();
        }
    }
}

}  // namespace pavix

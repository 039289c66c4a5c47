#pragma once

#include "link/recv_ring.h"
#include "shared/interruptible_sleep.h"

namespace pavix {

constexpr unsigned kSlotWaitSleepMs = 300;
constexpr int kSlotWaitSleepsBeforeReset = 100;  // about 30 s of a full ring

// How the receive loop gets a slot to write into. The ring never blocks, so
// the writer retries every 300 ms. A ring that stays full for about 30 s
// means the reader is stuck behind data nobody will use: everything buffered
// is dropped once (with a debug text) and the wait succeeds right after.
// Null only when `sleep` reports a stop.
RecvSlot* WaitForWriteSlot(CRecvRing& ring, const InterruptibleSleep& sleep);

}  // namespace pavix

#include "link/recv_ring.h"

#include <cstring>

namespace pavix {

std::uint32_t RecvSlot::Append(const void* bytes, std::uint32_t count) {
    const std::uint32_t fits = count < SpaceLeft() ? count : SpaceLeft();
    std::memcpy(data + length, bytes, fits);
    Commit(fits);
    return fits;
}

CRecvRing::CRecvRing(const BlockAllocator& heap, std::uint32_t slotCapacity)
    : heap_(heap), slotCapacity_(slotCapacity) {}

CRecvRing::~CRecvRing() { ReleaseBuffers(); }

bool CRecvRing::Init() {
    // Start-up only: nobody else uses the ring yet, so the buffers are taken
    // outside the lock.
    for (RecvSlot& slot : slots_) {
        if (slot.data != nullptr) continue;
        slot.data = static_cast<std::uint8_t*>(heap_.allocate(slotCapacity_));
        if (slot.data == nullptr) {
            ReleaseBuffers();
            return false;
        }
        slot.capacity = slotCapacity_;
    }
    reset_RW_buf_state();
    return true;
}

void CRecvRing::Shutdown() {
    reset_RW_buf_state();
    ScopedRobustLock hold(lock_);
    ReleaseBuffers();
}

void CRecvRing::ReleaseBuffers() {
    for (RecvSlot& slot : slots_) {
        heap_.release(slot.data);
        slot = RecvSlot{};
    }
}

void CRecvRing::reset_RW_buf_state() {
    ScopedRobustLock hold(lock_);
    int restart = 0;
    for (int index = 0; index < kSlotCount; ++index) {
        RecvSlot& slot = slots_[index];
        if (slot.state == SlotState::Reading) {
            // The reader is still parsing these bytes: handing the slot to
            // the writer now would overwrite them under the parser. The
            // writer starts on the slot after it and reaches it again only
            // after it was let go.
            slot.dropped = true;
            restart = Next(index);
            continue;
        }
        slot.state = SlotState::Free;
        slot.length = 0;
        slot.dropped = false;
    }
    readIndex_ = restart;
    writeIndex_ = restart;
}

RecvSlot* CRecvRing::AcquireWriteSlot() {
    ScopedRobustLock hold(lock_);
    RecvSlot& slot = slots_[writeIndex_];
    if (slot.state != SlotState::Free || slot.data == nullptr) return nullptr;
    slot.state = SlotState::Writing;
    return &slot;
}

void CRecvRing::ReleaseWriteSlot(RecvSlot* slot, bool commit) {
    ScopedRobustLock hold(lock_);
    if (!commit) {
        slot->state = SlotState::Free;
        return;
    }
    if (slot->state != SlotState::Writing) return;  // reset meanwhile
    slot->state = SlotState::Filled;
    writeIndex_ = Next(writeIndex_);
}

RecvSlot* CRecvRing::AcquireReadSlot() {
    ScopedRobustLock hold(lock_);
    RecvSlot& slot = slots_[readIndex_];
    if (slot.state != SlotState::Filled) return nullptr;
    if (slot.length == 0) {
        slot.state = SlotState::Free;
        readIndex_ = Next(readIndex_);
        return nullptr;
    }
    slot.state = SlotState::Reading;
    return &slot;
}

bool CRecvRing::HasFilledSlot() {
    ScopedRobustLock hold(lock_);
    return slots_[readIndex_].state == SlotState::Filled;
}

void CRecvRing::ReleaseReadSlot(RecvSlot* slot, bool consumed) {
    ScopedRobustLock hold(lock_);
    if (slot->dropped) {
        // Reset while the reader held it: its bytes are no longer wanted,
        // and the indices have moved on without it.
        slot->dropped = false;
        slot->length = 0;
        slot->state = SlotState::Free;
        return;
    }
    if (!consumed) {
        slot->state = SlotState::Filled;
        return;
    }
    if (slot->state != SlotState::Reading) return;
    slot->length = 0;
    slot->state = SlotState::Free;
    readIndex_ = Next(readIndex_);
}

}  // namespace pavix

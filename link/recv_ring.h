#pragma once

#include <cstdint>

#include "shared/local_heap.h"
#include "shared/robust_lock.h"

namespace pavix {

// Who owns a slot of the receive ring. The numbers are part of the design
// and show up in debugging sessions; keep them.
enum class SlotState : std::int32_t {
    Free = 0,     // nobody; the writer may take it
    Writing = 1,  // the receive loop is filling it
    Filled = 2,   // complete, waiting for the frame parser
    Reading = 3,  // the frame parser is working through it
};

// One collection period of the phone's byte stream. `data` always holds a
// zero byte right after the valid bytes, so at most capacity - 1 bytes fit.
struct RecvSlot {
    std::uint8_t* data = nullptr;
    std::uint32_t capacity = 0;
    std::uint32_t length = 0;
    SlotState state = SlotState::Free;
    // The connection the bytes came from (the writer's count of its
    // connections), so that the reader never joins two connections' bytes.
    std::uint32_t connection = 0;
    // Set by a reset that found the reader inside this slot: the slot stays
    // the reader's until it lets go, and then becomes Free without moving
    // the read index (the ring started afresh behind it).
    bool dropped = false;

    // Bytes that may still be written at data + length.
    std::uint32_t SpaceLeft() const { return capacity - 1 - length; }

    // Accounts for `count` bytes the writer has put at data + length
    // (count <= SpaceLeft()) and keeps the terminator behind them.
    void Commit(std::uint32_t count) {
        length += count;
        data[length] = 0;
    }

    // Copies as much of `bytes` as fits and returns how much that was.
    std::uint32_t Append(const void* bytes, std::uint32_t count);
};

// The ring of slots between the TCP receive loop (the only writer) and the
// frame parser (the only reader). Slots are written and read in index order,
// so the parser sees the stream in the order it arrived. The lock guards slot
// states, lengths set by the ring and both indices; it is never held across a
// copy, a sleep or a system call. A slot in state Writing or Reading belongs
// to its holder, who may touch its bytes without the lock. A worker ended
// forcibly while it held the lock does not hang the ring (RobustLock); the
// next reset puts the slots right.
class CRecvRing {
public:
    static constexpr int kSlotCount = 6;
    static constexpr std::uint32_t kSlotCapacity = 1u << 20;

    explicit CRecvRing(const BlockAllocator& heap = LocalHeap(),
                       std::uint32_t slotCapacity = kSlotCapacity);
    virtual ~CRecvRing();
    CRecvRing(const CRecvRing&) = delete;
    CRecvRing& operator=(const CRecvRing&) = delete;

    // Takes the six zero-filled slot buffers and empties the ring. False when
    // a buffer cannot be had: nothing is kept and the ring must not be used.
    bool Init();
    // Empties the ring and gives the slot buffers back.
    void Shutdown();

    // Frees every slot and puts both indices back to one place. Slot bytes
    // are left as they are. Either side may call it. A slot the reader is
    // parsing stays its own until it lets go (the writer is never handed
    // it meanwhile), and the ring starts again right behind it; any other
    // holder's later release of a slot that was reset underneath it changes
    // nothing.
    void reset_RW_buf_state();

    // Writer: the slot at the write index if it is Free (now Writing), else
    // null. The write index moves only when a slot is committed.
    RecvSlot* AcquireWriteSlot();
    // Writer: commit = true hands a still-Writing slot over as Filled and
    // advances the write index; commit = false gives it back as Free.
    void ReleaseWriteSlot(RecvSlot* slot, bool commit);

    // Reader: the slot at the read index if it is Filled and holds bytes
    // (now Reading). A Filled slot without bytes is freed on the spot and the
    // read index moves past it; null is returned then, as when nothing is
    // Filled.
    RecvSlot* AcquireReadSlot();
    // Reader: consumed = true frees a still-Reading slot and advances the
    // read index; consumed = false offers it again as Filled.
    void ReleaseReadSlot(RecvSlot* slot, bool consumed);

    // Whether the reader would get a slot now.
    bool HasFilledSlot();

    // For tests and diagnostics.
    int ReadIndex() const { return readIndex_; }
    int WriteIndex() const { return writeIndex_; }
    const RecvSlot& Slot(int index) const { return slots_[index]; }

private:
    static int Next(int index) { return (index + 1) % kSlotCount; }
    void ReleaseBuffers();

    const BlockAllocator& heap_;
    const std::uint32_t slotCapacity_;
    RobustLock lock_;
    RecvSlot slots_[kSlotCount];
    std::int32_t readIndex_ = 0;
    std::int32_t writeIndex_ = 0;
};

}  // namespace pavix

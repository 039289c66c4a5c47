#pragma once

#include <cstdint>
#include <functional>

#include "link/recv_ring.h"
#include "shared/local_heap.h"

namespace pavix {

// Cuts frame packets out of the receive ring and hands each payload on.
//
// A complete packet inside one slot is handed on straight from the slot. A
// payload that runs past the end of its slot is collected in an assembly
// buffer (grown to N + N/3 when too small, then reused) and handed on once
// its last byte arrives; a header cut by the slot end is carried over and
// completed from the next slot. That pending state belongs to one
// connection's stream: it survives a reset of the ring, but a slot from
// another connection drops it (the new stream starts with a packet of its
// own, and the old one's end will never come).
//
// Used by the frame thread only.
class CFrameParser {
public:
    // Receives one payload. Returns true to go on, false when the decoder
    // behind it had to be replaced: everything buffered is then dropped.
    using PayloadHandler = std::function<bool(const std::uint8_t* payload, std::int32_t length)>;

    CFrameParser(CRecvRing& ring, PayloadHandler handler,
                 const BlockAllocator& heap = LocalHeap());
    virtual ~CFrameParser();
    CFrameParser(const CFrameParser&) = delete;
    CFrameParser& operator=(const CFrameParser&) = delete;

    // One pass over the oldest filled slot. 0 when a packet was completed in
    // this slot and accepted, or when the ring was dropped after a handler
    // refusal (either way the caller should come straight back); 1 when
    // there was no slot, or it held only partial data or nothing accepted.
    int ParseDataPacket();

    // For tests and diagnostics.
    bool IsPending() const { return phase_ != Phase::Idle; }
    std::int32_t AssemblyCapacity() const { return assemblyCapacity_; }

private:
    enum class Phase { Idle, Header, Payload };
    enum class Outcome { Continue, Pending, RingDropped };

    // Adds the slot's first bytes to the pending payload and hands the
    // payload on once complete (*result becomes 0 when it was accepted);
    // returns how many bytes of the slot it took.
    std::uint32_t AppendToPendingPayload(const std::uint8_t* data, std::uint32_t length,
                                         int* result);
    // Completes a carried header from the slot's first bytes. True with the
    // payload's start in the slot and its length when the header is whole;
    // false while it is still short (phase stays Header) or when the bytes
    // turn out not to start a packet (phase becomes Idle).
    bool CompleteCarriedHeader(const std::uint8_t* data, std::uint32_t length,
                               std::uint32_t* payloadStart, std::uint32_t* payloadLength);
    // Hands on the payload at data[start] or, when it runs past the slot,
    // starts assembling it. Sets *result to 0 when the handler accepted it.
    Outcome TakePayload(const std::uint8_t* data, std::uint32_t length, std::uint32_t start,
                        std::uint32_t payloadLength, int* result);
    void BeginPendingPayload(const std::uint8_t* bytes, std::uint32_t count,
                             std::uint32_t payloadLength);
    void CarryHeaderTail(const std::uint8_t* data, std::uint32_t from, std::uint32_t length);
    void CarryHeader(const std::uint8_t* bytes, std::uint32_t count);
    void DropPending();

    CRecvRing& ring_;
    PayloadHandler handler_;
    const BlockAllocator& heap_;

    Phase phase_ = Phase::Idle;
    // The connection of the last slot taken (RecvSlot::connection).
    std::uint32_t pendingConnection_ = 0;

    // Phase::Header: the first bytes of a packet seen at the end of a slot.
    std::uint8_t header_[8] = {};
    std::uint32_t headerLength_ = 0;

    // Phase::Payload: the payload being assembled.
    std::uint8_t* assembly_ = nullptr;
    std::int32_t assemblyCapacity_ = 0;
    std::int32_t expectedLength_ = 0;
    std::int32_t receivedLength_ = 0;
};

}  // namespace pavix

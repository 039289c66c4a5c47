#include "frames/frame_parser.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "frames/frame_packet.h"
#include "shared/debug_text.h"

namespace pavix {
namespace {

// The first offset at or after `from` where the magic starts inside
// data[0, length), or `length` when there is none. Binary-safe: payload bytes
// may hold anything, zero bytes included.
std::uint32_t FindMagic(const std::uint8_t* data, std::uint32_t from, std::uint32_t length) {
    if (length < kFrameMagicSize) return length;
    const std::uint32_t lastStart = length - kFrameMagicSize;
    std::uint32_t pos = from;
    while (pos <= lastStart) {
        const void* hit = std::memchr(data + pos, kFrameMagic[0], lastStart - pos + 1);
        if (hit == nullptr) break;
        pos = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(hit) - data);
        if (std::memcmp(data + pos, kFrameMagic, kFrameMagicSize) == 0) return pos;
        ++pos;
    }
    return length;
}

// Whether `count` bytes (at most a header's worth) may be the start of a packet.
bool CouldStartPacket(const std::uint8_t* bytes, std::uint32_t count) {
    const std::size_t magicBytes = std::min<std::size_t>(count, kFrameMagicSize);
    return std::memcmp(bytes, kFrameMagic, magicBytes) == 0;
}

}  // namespace

CFrameParser::CFrameParser(CRecvRing& ring, PayloadHandler handler, const BlockAllocator& heap)
    : ring_(ring), handler_(std::move(handler)), heap_(heap) {}

CFrameParser::~CFrameParser() { heap_.release(assembly_); }

int CFrameParser::ParseDataPacket() {
    RecvSlot* slot = ring_.AcquireReadSlot();
    if (slot == nullptr) return 1;
    const std::uint8_t* data = slot->data;
    const std::uint32_t length = slot->length;
    if (phase_ != Phase::Idle && slot->connection != pendingConnection_) {
        // A new connection starts with a new stream: what the last one left
        // unfinished can never be completed by it.
        DropPending();
    }
    pendingConnection_ = slot->connection;

    int result = 1;
    std::uint32_t pos = 0;  // where the next packet is looked for

    if (phase_ == Phase::Payload) {
        pos = AppendToPendingPayload(data, length, &result);
        if (pos == length) {  // the slot was all payload
            ring_.ReleaseReadSlot(slot, true);
            return result;
        }
    } else if (phase_ == Phase::Header) {
        std::uint32_t start = 0;
        std::uint32_t payloadLength = 0;
        if (CompleteCarriedHeader(data, length, &start, &payloadLength)) {
            switch (TakePayload(data, length, start, payloadLength, &result)) {
                case Outcome::RingDropped:
                    ring_.ReleaseReadSlot(slot, true);  // let go of it after the reset
                    return 0;
                case Outcome::Pending:
                    ring_.ReleaseReadSlot(slot, true);
                    return result;
                case Outcome::Continue:
                    pos = start + payloadLength;
                    break;
            }
        } else if (phase_ == Phase::Header) {  // still short of a whole header
            ring_.ReleaseReadSlot(slot, true);
            return 1;
        }
        // Otherwise the carried bytes were not a packet after all: the slot
        // is searched from its start.
    }

    for (;;) {
        const std::uint32_t magic = FindMagic(data, pos, length);
        if (magic == length) {
            CarryHeaderTail(data, pos, length);
            break;
        }
        if (magic + kFrameHeaderSize > length) {
            CarryHeader(data + magic, length - magic);
            break;
        }
        const std::uint32_t start = magic + kFrameHeaderSize;
        const std::uint32_t payloadLength = ReadFramePayloadLength(data + magic + kFrameMagicSize);
        const Outcome outcome = TakePayload(data, length, start, payloadLength, &result);
        if (outcome == Outcome::RingDropped) {
            ring_.ReleaseReadSlot(slot, true);  // let go of it after the reset
            return 0;
        }
        if (outcome == Outcome::Pending) break;
        pos = start + payloadLength;
    }
    ring_.ReleaseReadSlot(slot, true);
    return result;
}

std::uint32_t CFrameParser::AppendToPendingPayload(const std::uint8_t* data, std::uint32_t length,
                                                   int* result) {
    const std::uint32_t need = static_cast<std::uint32_t>(expectedLength_ - receivedLength_);
    if (need > length) {
        std::memcpy(assembly_ + receivedLength_, data, length);
        receivedLength_ += static_cast<std::int32_t>(length);
        DebugTextFormat(80, "one package didn't find, piclen[%d] needd[%d], pdata[%d]\n",
                        expectedLength_, static_cast<int>(need), static_cast<int>(length));
        return length;
    }
    std::memcpy(assembly_ + receivedLength_, data, need);
    phase_ = Phase::Idle;
    receivedLength_ = 0;
    // A completed payload counts like any other handed-on packet: the frame
    // thread comes straight back for the next one. A refusal is not acted
    // on here: the ring holds the packets that follow and they get their
    // own chance.
    if (handler_(assembly_, expectedLength_)) *result = 0;
    return need;
}

bool CFrameParser::CompleteCarriedHeader(const std::uint8_t* data, std::uint32_t length,
                                         std::uint32_t* payloadStart,
                                         std::uint32_t* payloadLength) {
    const std::uint32_t take =
        std::min<std::uint32_t>(static_cast<std::uint32_t>(kFrameHeaderSize) - headerLength_, length);
    std::memcpy(header_ + headerLength_, data, take);
    if (!CouldStartPacket(header_, headerLength_ + take)) {
        phase_ = Phase::Idle;
        headerLength_ = 0;
        return false;
    }
    headerLength_ += take;
    if (headerLength_ < kFrameHeaderSize) return false;
    phase_ = Phase::Idle;
    headerLength_ = 0;
    *payloadStart = take;
    *payloadLength = ReadFramePayloadLength(header_ + kFrameMagicSize);
    return true;
}

CFrameParser::Outcome CFrameParser::TakePayload(const std::uint8_t* data, std::uint32_t length,
                                                std::uint32_t start, std::uint32_t payloadLength,
                                                int* result) {
    if (std::uint64_t{start} + payloadLength > length) {
        BeginPendingPayload(data + start, length - start, payloadLength);
        return Outcome::Pending;
    }
    if (!handler_(data + start, static_cast<std::int32_t>(payloadLength))) {
        // The decoder was replaced: what is buffered belongs to the pictures
        // it choked on. Drop it all and start afresh with what arrives next.
        ring_.reset_RW_buf_state();
        return Outcome::RingDropped;
    }
    *result = 0;
    return Outcome::Continue;
}

void CFrameParser::BeginPendingPayload(const std::uint8_t* bytes, std::uint32_t count,
                                       std::uint32_t payloadLength) {
    if (assemblyCapacity_ < static_cast<std::int32_t>(payloadLength)) {
        // Nothing is pending, so the old contents need not be carried over.
        heap_.release(assembly_);
        const std::uint32_t capacity = payloadLength + payloadLength / 3;
        assembly_ = static_cast<std::uint8_t*>(heap_.allocate(capacity));
        assemblyCapacity_ = assembly_ != nullptr ? static_cast<std::int32_t>(capacity) : 0;
        if (assembly_ == nullptr) {
            DebugTextFormat(80, "no memory for a package of %u bytes, dropped\n", payloadLength);
            return;  // the packet is lost; the parser stays idle
        }
    }
    std::memcpy(assembly_, bytes, count);
    expectedLength_ = static_cast<std::int32_t>(payloadLength);
    receivedLength_ = static_cast<std::int32_t>(count);
    phase_ = Phase::Payload;
}

void CFrameParser::CarryHeaderTail(const std::uint8_t* data, std::uint32_t from,
                                   std::uint32_t length) {
    // The slot may end inside a magic: keep the longest tail that starts one.
    const std::uint32_t longest =
        std::min<std::uint32_t>(static_cast<std::uint32_t>(kFrameMagicSize) - 1, length - from);
    for (std::uint32_t count = longest; count > 0; --count) {
        if (CouldStartPacket(data + length - count, count)) {
            CarryHeader(data + length - count, count);
            return;
        }
    }
}

void CFrameParser::DropPending() {
    phase_ = Phase::Idle;
    headerLength_ = 0;
    receivedLength_ = 0;
    expectedLength_ = 0;
}

void CFrameParser::CarryHeader(const std::uint8_t* bytes, std::uint32_t count) {
    std::memcpy(header_, bytes, count);
    headerLength_ = count;
    phase_ = Phase::Header;
}

}  // namespace pavix

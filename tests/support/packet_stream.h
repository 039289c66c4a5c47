#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "frames/frame_parser.h"
#include "link/recv_ring.h"

namespace pavix::testing {

using Bytes = std::vector<std::uint8_t>;

// The wire form of one frame packet carrying `payload`.
Bytes EncodePacket(const Bytes& payload);
// Packets back to back, as the phone sends them.
Bytes EncodePackets(const std::vector<Bytes>& payloads);

// What a parser that saw the whole stream at once would hand on: packets
// found by their magic, anything between them skipped, an unfinished packet
// at the end left out. However a stream is cut into slots, the ring parser
// must hand on exactly this.
std::vector<Bytes> ParseWholeStream(const Bytes& stream);

// `size` random bytes; zero bytes and pieces of the magic turn up on purpose,
// since JPEG payloads may hold anything.
Bytes RandomPayload(std::mt19937& rng, std::size_t size);

// Splits `length` into consecutive chunk lengths of 1..maxChunk bytes.
std::vector<std::size_t> RandomCuts(std::mt19937& rng, std::size_t length, std::size_t maxChunk);

// A ring with a parser on top whose handler records every payload, plus
// helpers to push a stream through it the way the receive loop would.
class ParserRig {
public:
    explicit ParserRig(std::uint32_t slotCapacity = 256,
                       const BlockAllocator& heap = LocalHeap());

    // Writes one slot holding `bytes` (at most capacity - 1 of them) and
    // commits it. False when no slot was free.
    bool WriteSlot(const std::uint8_t* bytes, std::size_t count);
    bool WriteSlot(const Bytes& bytes) { return WriteSlot(bytes.data(), bytes.size()); }

    // Runs passes until no filled slot is left; returns the results in order.
    std::vector<int> ParseAll();

    // Writes `stream` in chunks of the given lengths. Up to `backlog` slots
    // are filled before the parser catches up, as when the frame thread
    // falls behind.
    void Feed(const Bytes& stream, const std::vector<std::size_t>& chunks, int backlog = 1);

    CRecvRing ring;
    CFrameParser parser;
    // The connection the slots written next come from, as the receive loop
    // stamps them.
    std::uint32_t connection = 0;
    std::vector<Bytes> payloads;  // what the handler received, in order
    // Decides the handler's answer for each payload; accepts all by default.
    std::function<bool(const Bytes&)> verdict;
};

}  // namespace pavix::testing

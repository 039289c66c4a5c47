#include "tests/support/packet_stream.h"

#include <algorithm>
#include <stdexcept>

#include "frames/frame_packet.h"

namespace pavix::testing {

Bytes EncodePacket(const Bytes& payload) {
    Bytes packet(kFrameHeaderSize + payload.size());
    WriteFrameHeader(packet.data(), static_cast<std::uint32_t>(payload.size()));
    std::copy(payload.begin(), payload.end(), packet.begin() + kFrameHeaderSize);
    return packet;
}

Bytes EncodePackets(const std::vector<Bytes>& payloads) {
    Bytes stream;
    for (const Bytes& payload : payloads) {
        const Bytes packet = EncodePacket(payload);
        stream.insert(stream.end(), packet.begin(), packet.end());
    }
    return stream;
}

std::vector<Bytes> ParseWholeStream(const Bytes& stream) {
    static const Bytes kMagic(kFrameMagic, kFrameMagic + kFrameMagicSize);
    std::vector<Bytes> payloads;
    auto pos = stream.begin();
    for (;;) {
        pos = std::search(pos, stream.end(), kMagic.begin(), kMagic.end());
        if (stream.end() - pos < static_cast<std::ptrdiff_t>(kFrameHeaderSize)) break;
        const std::uint32_t length = ReadFramePayloadLength(&*pos + kFrameMagicSize);
        const auto payload = pos + kFrameHeaderSize;
        if (static_cast<std::size_t>(stream.end() - payload) < length) break;
        payloads.emplace_back(payload, payload + length);
        pos = payload + length;
    }
    return payloads;
}

Bytes RandomPayload(std::mt19937& rng, std::size_t size) {
    static const std::uint8_t kTricky[] = {0, 'R', 'O', 'V', 'd'};
    Bytes payload(size);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> pick(0, 7);
    for (std::uint8_t& b : payload) {
        const int choice = pick(rng);
        b = choice < 5 ? kTricky[choice] : static_cast<std::uint8_t>(byte(rng));
    }
    // Now and then a whole magic inside the payload: the parser must never
    // look for packets inside one it is reading.
    if (size >= 16 && pick(rng) == 0) {
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, size - 8)(rng);
        WriteFrameHeader(payload.data() + at, static_cast<std::uint32_t>(size));
    }
    return payload;
}

std::vector<std::size_t> RandomCuts(std::mt19937& rng, std::size_t length, std::size_t maxChunk) {
    std::vector<std::size_t> chunks;
    std::uniform_int_distribution<std::size_t> size(1, maxChunk);
    for (std::size_t done = 0; done < length;) {
        const std::size_t chunk = std::min(size(rng), length - done);
        chunks.push_back(chunk);
        done += chunk;
    }
    return chunks;
}

ParserRig::ParserRig(std::uint32_t slotCapacity, const BlockAllocator& heap)
    : ring(heap, slotCapacity),
      parser(ring,
             [this](const std::uint8_t* payload, std::int32_t length) {
                 payloads.emplace_back(payload, payload + length);
                 return verdict ? verdict(payloads.back()) : true;
             },
             heap) {
    if (!ring.Init()) throw std::runtime_error("ring init failed");
}

bool ParserRig::WriteSlot(const std::uint8_t* bytes, std::size_t count) {
    RecvSlot* slot = ring.AcquireWriteSlot();
    if (slot == nullptr) return false;
    slot->length = 0;
    slot->connection = connection;
    if (count > slot->SpaceLeft()) throw std::logic_error("chunk larger than a slot");
    slot->Append(bytes, static_cast<std::uint32_t>(count));
    ring.ReleaseWriteSlot(slot, true);
    return true;
}

std::vector<int> ParserRig::ParseAll() {
    std::vector<int> results;
    for (int guard = 0; guard < 4 * CRecvRing::kSlotCount; ++guard) {
        const RecvSlot& next = ring.Slot(ring.ReadIndex());
        if (next.state != SlotState::Filled) break;
        results.push_back(parser.ParseDataPacket());
    }
    return results;
}

void ParserRig::Feed(const Bytes& stream, const std::vector<std::size_t>& chunks, int backlog) {
    std::size_t offset = 0;
    int buffered = 0;
    for (std::size_t chunk : chunks) {
        if (buffered == backlog) {
            ParseAll();
            buffered = 0;
        }
        if (!WriteSlot(stream.data() + offset, chunk)) throw std::logic_error("ring full");
        offset += chunk;
        ++buffered;
    }
    ParseAll();
}

}  // namespace pavix::testing

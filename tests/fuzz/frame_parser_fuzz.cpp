// Random bytes, cut into slots at random, through the ring into the parser.
// The first two bytes choose the cuts and the mode:
//   accept mode: every payload is accepted, and the parser must hand on
//                exactly what a parse of the uncut stream finds;
//   refuse mode: some payloads are refused (the ring is dropped), and
//                nothing handed on may be made of more bytes than came in.
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "frames/frame_packet.h"
#include "frames/frame_parser.h"
#include "link/recv_ring.h"
#include "tests/support/packet_stream.h"

using pavix::testing::Bytes;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const bool refuseSome = (data[0] & 1) != 0;
    std::minstd_rand rng(data[0] | (data[1] << 8));
    const Bytes stream(data + 2, data + size);

    constexpr std::uint32_t kSlotCapacity = 512;
    pavix::CRecvRing ring(pavix::LocalHeap(), kSlotCapacity);
    if (!ring.Init()) std::abort();
    std::vector<Bytes> payloads;
    std::size_t handedOn = 0;
    pavix::CFrameParser parser(ring, [&](const std::uint8_t* payload, std::int32_t length) {
        payloads.emplace_back(payload, payload + length);
        handedOn += pavix::kFrameHeaderSize + static_cast<std::size_t>(length);
        return !(refuseSome && length % 5 == 1);
    });

    std::uniform_int_distribution<std::size_t> chunkSize(1, kSlotCapacity - 1);
    std::uniform_int_distribution<int> backlog(1, pavix::CRecvRing::kSlotCount);
    std::size_t offset = 0;
    while (offset < stream.size()) {
        for (int slots = backlog(rng); slots > 0 && offset < stream.size(); --slots) {
            pavix::RecvSlot* slot = ring.AcquireWriteSlot();
            if (slot == nullptr) break;
            slot->length = 0;
            const std::size_t chunk = std::min(chunkSize(rng), stream.size() - offset);
            slot->Append(stream.data() + offset, static_cast<std::uint32_t>(chunk));
            ring.ReleaseWriteSlot(slot, true);
            offset += chunk;
        }
        for (int passes = 0; passes < pavix::CRecvRing::kSlotCount; ++passes) parser.ParseDataPacket();
    }

    if (handedOn > stream.size()) std::abort();
    if (!refuseSome && payloads != pavix::testing::ParseWholeStream(stream)) std::abort();
    return 0;
}

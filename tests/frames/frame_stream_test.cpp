// Whole streams through the ring into the parser: however the receive loop
// happens to cut the stream into slots, every packet must reach the handler
// exactly once, whole and in order.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "link/write_slot_wait.h"
#include "shared/debug_text.h"
#include "tests/support/packet_stream.h"

namespace pavix {
namespace {

using testing::Bytes;
using testing::EncodePackets;
using testing::ParserRig;
using testing::RandomCuts;
using testing::RandomPayload;

// Thousands of streams write thousands of debug texts; on Windows each one
// goes through the debugger interface, which costs far more than the parse.
class FrameStream : public ::testing::Test {
protected:
    void SetUp() override { previous_ = SetDebugTextSink([](const char*) {}); }
    void TearDown() override { SetDebugTextSink(previous_); }

private:
    DebugTextSink previous_;
};

constexpr std::uint32_t kSlotCapacity = 128;  // small slots: many boundaries, big payloads span several
constexpr std::size_t kMaxChunk = kSlotCapacity - 1;

std::vector<Bytes> VariedPayloads(std::mt19937& rng) {
    // Empty, tiny, header-sized, about a slot, and several slots long.
    std::vector<Bytes> payloads;
    for (std::size_t size : {0, 1, 7, 8, 9, 100, 126, 127, 128, 300, 0, 2, 511}) {
        payloads.push_back(RandomPayload(rng, size));
    }
    return payloads;
}

// Cuts `length` at `cut` and otherwise in chunks of `chunk` bytes.
std::vector<std::size_t> CutsAround(std::size_t length, std::size_t cut, std::size_t chunk) {
    std::vector<std::size_t> chunks;
    for (std::size_t from : {std::size_t{0}, cut}) {
        const std::size_t to = from == 0 ? cut : length;
        for (std::size_t at = from; at < to; at += chunk) chunks.push_back(std::min(chunk, to - at));
    }
    return chunks;
}

TEST_F(FrameStream, EveryPacketArrivesOnceWholeAndInOrderWhereverTheStreamIsCut) {
    std::mt19937 rng(1);
    const std::vector<Bytes> payloads = VariedPayloads(rng);
    const Bytes stream = EncodePackets(payloads);

    for (std::size_t chunk : {kMaxChunk, std::size_t{40}, std::size_t{9}}) {
        for (std::size_t cut = 1; cut < stream.size(); ++cut) {
            ParserRig rig(kSlotCapacity);
            rig.Feed(stream, CutsAround(stream.size(), cut, chunk), /*backlog=*/1 + cut % 6);
            ASSERT_EQ(rig.payloads, payloads) << "cut at " << cut << ", chunks of " << chunk;
            ASSERT_FALSE(rig.parser.IsPending());
        }
    }
}

TEST_F(FrameStream, RandomStreamsAndRandomCuts) {
    for (unsigned seed = 0; seed < 300; ++seed) {
        std::mt19937 rng(seed);
        std::vector<Bytes> payloads;
        const int count = std::uniform_int_distribution<int>(1, 40)(rng);
        for (int i = 0; i < count; ++i) {
            const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 700)(rng);
            payloads.push_back(RandomPayload(rng, size));
        }
        const Bytes stream = EncodePackets(payloads);
        const std::size_t maxChunk = std::uniform_int_distribution<std::size_t>(1, kMaxChunk)(rng);

        ParserRig rig(kSlotCapacity);
        rig.Feed(stream, RandomCuts(rng, stream.size(), maxChunk), 1 + static_cast<int>(seed % 6));
        ASSERT_EQ(rig.payloads, payloads) << "seed " << seed;
    }
}

TEST_F(FrameStream, GarbageBetweenPacketsIsSkippedWhereverTheStreamIsCut) {
    std::mt19937 rng(5);
    Bytes stream;
    for (int i = 0; i < 30; ++i) {
        const Bytes garbage = RandomPayload(rng, std::uniform_int_distribution<std::size_t>(0, 40)(rng));
        const Bytes packet = testing::EncodePacket(
            RandomPayload(rng, std::uniform_int_distribution<std::size_t>(0, 300)(rng)));
        stream.insert(stream.end(), garbage.begin(), garbage.end());
        stream.insert(stream.end(), packet.begin(), packet.end());
    }
    const std::vector<Bytes> expected = testing::ParseWholeStream(stream);
    ASSERT_GE(expected.size(), 25u) << "the garbage should rarely swallow a packet";
    for (unsigned seed = 0; seed < 200; ++seed) {
        std::mt19937 cuts(seed);
        ParserRig rig(kSlotCapacity);
        rig.Feed(stream, RandomCuts(cuts, stream.size(), 1 + seed % kMaxChunk), 1 + seed % 6);
        ASSERT_EQ(rig.payloads, expected) << "seed " << seed;
    }
}

TEST_F(FrameStream, WriterAndReaderThreadsShareTheRing) {
    std::mt19937 rng(99);
    std::vector<Bytes> payloads;
    for (int i = 0; i < 400; ++i) {
        payloads.push_back(RandomPayload(rng, std::uniform_int_distribution<std::size_t>(0, 3000)(rng)));
    }
    const Bytes stream = EncodePackets(payloads);
    const std::vector<std::size_t> chunks = RandomCuts(rng, stream.size(), 1023);

    CRecvRing ring(LocalHeap(), 1024);
    ASSERT_TRUE(ring.Init());
    std::vector<Bytes> received;
    CFrameParser parser(ring, [&](const std::uint8_t* payload, std::int32_t length) {
        received.emplace_back(payload, payload + length);
        return true;
    });

    std::thread writer([&] {
        std::size_t offset = 0;
        for (std::size_t chunk : chunks) {
            // Short sleeps, but long enough that a busy machine never makes
            // the writer give up on the reader and drop the ring.
            RecvSlot* slot = WaitForWriteSlot(ring, [](unsigned) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                return true;
            });
            slot->length = 0;
            slot->Append(stream.data() + offset, static_cast<std::uint32_t>(chunk));
            ring.ReleaseWriteSlot(slot, true);
            offset += chunk;
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (received.size() < payloads.size() && std::chrono::steady_clock::now() < deadline) {
        if (parser.ParseDataPacket() != 0) std::this_thread::yield();
    }
    writer.join();
    EXPECT_EQ(received, payloads);
}

}  // namespace
}  // namespace pavix

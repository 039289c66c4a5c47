#include "frames/frame_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frames/frame_packet.h"
#include "shared/debug_text.h"
#include "tests/support/counting_heap.h"
#include "tests/support/packet_stream.h"

namespace pavix {
namespace {

using testing::Bytes;
using testing::CountingHeap;
using testing::EncodePacket;
using testing::EncodePackets;
using testing::ParserRig;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t to) {
    return Bytes(bytes.begin() + from, bytes.begin() + to);
}

class FrameParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousSink = SetDebugTextSink([this](const char* text) { debugTexts.emplace_back(text); });
    }
    void TearDown() override { SetDebugTextSink(previousSink); }

    ParserRig rig{256};
    std::vector<std::string> debugTexts;
    DebugTextSink previousSink;
};

TEST_F(FrameParserTest, NoSlotMeansNothingToDo) {
    EXPECT_EQ(rig.parser.ParseDataPacket(), 1);
    EXPECT_TRUE(rig.payloads.empty());
}

TEST_F(FrameParserTest, CompletePacketsInOneSlotGoOutInOrderStraightFromTheSlot) {
    const std::vector<Bytes> sent = {Text("first"), Text("second"), Text("third")};
    const Bytes stream = EncodePackets(sent);
    ASSERT_TRUE(rig.WriteSlot(stream));
    EXPECT_EQ(rig.ParseAll(), std::vector<int>{0});
    EXPECT_EQ(rig.payloads, sent);
    EXPECT_FALSE(rig.parser.IsPending());
    EXPECT_EQ(rig.parser.AssemblyCapacity(), 0) << "no copy for packets that fit their slot";
}

TEST_F(FrameParserTest, LeadingAndTrailingGarbageIsSkipped) {
    const Bytes stream = Concat({Text("garbage\x01\x02 RO ROV"), EncodePacket(Text("jpeg")), Text("tail")});
    ASSERT_TRUE(rig.WriteSlot(stream));
    EXPECT_EQ(rig.ParseAll(), std::vector<int>{0});
    EXPECT_EQ(rig.payloads, std::vector<Bytes>{Text("jpeg")});
    EXPECT_FALSE(rig.parser.IsPending());
}

TEST_F(FrameParserTest, ZeroBytesBeforeAPacketDoNotHideIt) {
    const Bytes stream = Concat({Bytes{0, 0, 'x', 0}, EncodePacket(Text("after zeros"))});
    ASSERT_TRUE(rig.WriteSlot(stream));
    rig.ParseAll();
    EXPECT_EQ(rig.payloads, std::vector<Bytes>{Text("after zeros")});
}

TEST_F(FrameParserTest, EmptyPayloadIsHandedOnAndTheSearchGoesOnAfterTheHeader) {
    const Bytes stream = EncodePackets({Bytes{}, Text("next")});
    ASSERT_TRUE(rig.WriteSlot(stream));
    rig.ParseAll();
    EXPECT_EQ(rig.payloads, (std::vector<Bytes>{Bytes{}, Text("next")}));
}

TEST(FramePacket, LengthIsThreeBytesBigEndian) {
    const std::uint8_t length[] = {0x01, 0x00, 0x00};
    EXPECT_EQ(ReadFramePayloadLength(length), 65536u);
    const std::uint8_t max[] = {0xFF, 0xFF, 0xFF};
    EXPECT_EQ(ReadFramePayloadLength(max), kFrameMaxPayload);
}

TEST_F(FrameParserTest, PayloadOverThreeSlotsIsAssembledWithOneDebugText) {
    std::mt19937 rng(7);
    const Bytes payload = testing::RandomPayload(rng, 600);
    const Bytes stream = Concat({EncodePacket(payload), EncodePacket(Text("follower"))});
    // slot 1: header + 247 bytes, slot 2: 255 bytes, slot 3: the last 98 + follower.
    ASSERT_TRUE(rig.WriteSlot(Slice(stream, 0, 255)));
    ASSERT_TRUE(rig.WriteSlot(Slice(stream, 255, 510)));
    ASSERT_TRUE(rig.WriteSlot(Slice(stream, 510, stream.size())));
    EXPECT_EQ(rig.ParseAll(), (std::vector<int>{1, 1, 0}));
    ASSERT_EQ(rig.payloads.size(), 2u);
    EXPECT_EQ(rig.payloads[0], payload);
    EXPECT_EQ(rig.payloads[1], Text("follower"));
    EXPECT_EQ(debugTexts.size(), 1u) << "one text for the slot in the middle";
    EXPECT_EQ(rig.parser.AssemblyCapacity(), 800);
}

TEST_F(FrameParserTest, CompletingAPendingPayloadSendsTheCallerStraightBack) {
    // A frame handed on is a reason to come back at once, also when it was
    // assembled: otherwise the frame thread naps after most frames of a
    // steady stream and falls behind.
    const Bytes stream = EncodePacket(Bytes(300, 'p'));
    ASSERT_TRUE(rig.WriteSlot(Slice(stream, 0, 200)));
    ASSERT_TRUE(rig.WriteSlot(Slice(stream, 200, stream.size())));
    EXPECT_EQ(rig.ParseAll(), (std::vector<int>{1, 0}));
    EXPECT_EQ(rig.payloads, std::vector<Bytes>{Bytes(300, 'p')});
    EXPECT_FALSE(rig.parser.IsPending());

    rig.verdict = [](const Bytes&) { return false; };
    ASSERT_TRUE(rig.WriteSlot(Slice(stream, 0, 200)));
    ASSERT_TRUE(rig.WriteSlot(Slice(stream, 200, stream.size())));
    EXPECT_EQ(rig.ParseAll(), (std::vector<int>{1, 1})) << "a refused completion is no reason";
}

TEST_F(FrameParserTest, HeaderCutBySlotEndIsCompletedFromTheNextSlot) {
    const Bytes stream = EncodePackets({Text("one"), Text("two")});
    for (std::size_t cut : {1u, 3u, 5u, 7u, 8u}) {  // inside the magic, the length, and right after
        SCOPED_TRACE(cut);
        rig.payloads.clear();
        ASSERT_TRUE(rig.WriteSlot(Slice(stream, 0, cut)));
        ASSERT_TRUE(rig.WriteSlot(Slice(stream, cut, stream.size())));
        rig.ParseAll();
        EXPECT_EQ(rig.payloads, (std::vector<Bytes>{Text("one"), Text("two")}));
    }
}

TEST_F(FrameParserTest, CarriedBytesThatStartNoPacketCostNothing) {
    // "RO" at a slot end, then a slot that does not go on with "VOd".
    ASSERT_TRUE(rig.WriteSlot(Text("noise RO")));
    ASSERT_TRUE(rig.WriteSlot(Concat({Text("ROV"), EncodePacket(Text("real"))})));
    rig.ParseAll();
    EXPECT_EQ(rig.payloads, std::vector<Bytes>{Text("real")});
}

TEST_F(FrameParserTest, AssemblyBufferGrowsByAThirdAndIsReused) {
    CountingHeap::Reset();
    ParserRig counted(1u << 16, CountingHeap::Get());
    const Bytes big = EncodePacket(Bytes(30000, 'b'));
    const Bytes small = EncodePacket(Bytes(20000, 's'));
    ASSERT_TRUE(counted.WriteSlot(Slice(big, 0, 100)));
    ASSERT_TRUE(counted.WriteSlot(Slice(big, 100, big.size())));
    counted.ParseAll();
    EXPECT_EQ(CountingHeap::lastSize, 40000u);
    const int allocations = CountingHeap::calls;
    ASSERT_TRUE(counted.WriteSlot(Slice(small, 0, 100)));
    ASSERT_TRUE(counted.WriteSlot(Slice(small, 100, small.size())));
    counted.ParseAll();
    EXPECT_EQ(CountingHeap::calls, allocations);
    EXPECT_EQ(counted.parser.AssemblyCapacity(), 40000);
    EXPECT_EQ(counted.payloads, (std::vector<Bytes>{Bytes(30000, 'b'), Bytes(20000, 's')}));
}

TEST_F(FrameParserTest, NoMemoryForTheAssemblyDropsOnlyThatPacket) {
    CountingHeap::Reset(/*failFromCall=*/CRecvRing::kSlotCount);  // the ring's six succeed
    ParserRig counted(256, CountingHeap::Get());
    const Bytes stream = Concat({EncodePacket(Bytes(400, 'x')), EncodePacket(Text("kept"))});
    ASSERT_TRUE(counted.WriteSlot(Slice(stream, 0, 200)));
    ASSERT_TRUE(counted.WriteSlot(Slice(stream, 200, stream.size())));
    counted.ParseAll();
    EXPECT_FALSE(counted.parser.IsPending());
    EXPECT_EQ(counted.parser.AssemblyCapacity(), 0);
    EXPECT_EQ(counted.payloads, std::vector<Bytes>{Text("kept")});
}

TEST_F(FrameParserTest, HandlerRefusalDropsEverythingBuffered) {
    rig.verdict = [](const Bytes& payload) { return payload != Text("bad"); };
    ASSERT_TRUE(rig.WriteSlot(EncodePackets({Text("ok"), Text("bad"), Text("lost")})));
    ASSERT_TRUE(rig.WriteSlot(EncodePacket(Text("lost too"))));
    EXPECT_EQ(rig.parser.ParseDataPacket(), 0);
    EXPECT_EQ(rig.payloads, (std::vector<Bytes>{Text("ok"), Text("bad")}));
    for (int i = 0; i < CRecvRing::kSlotCount; ++i) EXPECT_EQ(rig.ring.Slot(i).state, SlotState::Free);
    EXPECT_EQ(rig.ring.ReadIndex(), rig.ring.WriteIndex());

    ASSERT_TRUE(rig.WriteSlot(EncodePacket(Text("fresh"))));
    rig.ParseAll();
    EXPECT_EQ(rig.payloads.back(), Text("fresh"));
}

TEST_F(FrameParserTest, PendingPayloadSurvivesARingReset) {
    // A reset of the ring alone (same connection) keeps the pending payload.
    const Bytes stream = EncodePacket(Bytes(300, 'q'));
    ASSERT_TRUE(rig.WriteSlot(Slice(stream, 0, 100)));
    rig.ParseAll();
    ASSERT_TRUE(rig.parser.IsPending());
    rig.ring.reset_RW_buf_state();
    ASSERT_TRUE(rig.WriteSlot(Slice(stream, 100, stream.size())));
    rig.ParseAll();
    EXPECT_EQ(rig.payloads, std::vector<Bytes>{Bytes(300, 'q')});
}

TEST_F(FrameParserTest, ANewConnectionDropsWhatTheLastOneLeftUnfinished) {
    // A peer announces 16 MB, sends 1,000 bytes and goes; the next phone's
    // first packet must not be swallowed as the rest of that payload.
    Bytes cut = Text("ROVOd");
    cut.insert(cut.end(), {0xFF, 0xFF, 0xFF});
    cut.insert(cut.end(), 200, 'x');
    rig.connection = 1;
    ASSERT_TRUE(rig.WriteSlot(cut));
    rig.ParseAll();
    ASSERT_TRUE(rig.parser.IsPending());

    rig.connection = 2;
    ASSERT_TRUE(rig.WriteSlot(EncodePackets({Text("first"), Text("second")})));
    EXPECT_EQ(rig.ParseAll(), std::vector<int>{0});
    EXPECT_EQ(rig.payloads, (std::vector<Bytes>{Text("first"), Text("second")}));
    EXPECT_FALSE(rig.parser.IsPending());
}

TEST_F(FrameParserTest, ANewConnectionDropsACarriedHeaderToo) {
    rig.connection = 1;
    ASSERT_TRUE(rig.WriteSlot(Text("junkROVOd\x01")));
    rig.ParseAll();
    ASSERT_TRUE(rig.parser.IsPending());
    rig.connection = 2;
    // Completed with the old header, these bytes would be taken as the
    // payload of a 65,536-byte packet.
    ASSERT_TRUE(rig.WriteSlot(Concat({Bytes{0, 0}, EncodePacket(Text("new"))})));
    rig.ParseAll();
    EXPECT_EQ(rig.payloads, std::vector<Bytes>{Text("new")});
}

TEST_F(FrameParserTest, AResetDuringAPassNeverLetsTheWriterOverwriteTheSlotBeingParsed) {
    // The writer's forced reset (a ring full for 30 s) comes while the frame
    // thread is inside a picture; the writer then fills what it is given.
    bool resetDone = false;
    rig.verdict = [this, &resetDone](const Bytes&) {
        if (!resetDone) {
            resetDone = true;
            rig.ring.reset_RW_buf_state();
            while (RecvSlot* slot = rig.ring.AcquireWriteSlot()) {
                slot->length = 0;
                const Bytes junk(slot->SpaceLeft(), 'z');
                slot->Append(junk.data(), static_cast<std::uint32_t>(junk.size()));
                rig.ring.ReleaseWriteSlot(slot, true);
            }
        }
        return true;
    };
    ASSERT_TRUE(rig.WriteSlot(EncodePackets({Text("one"), Text("two"), Text("three")})));
    EXPECT_EQ(rig.parser.ParseDataPacket(), 0);
    EXPECT_EQ(rig.payloads, (std::vector<Bytes>{Text("one"), Text("two"), Text("three")}));
    // The slot just parsed is the writer's again, after the five it filled.
    rig.ParseAll();
    EXPECT_TRUE(rig.WriteSlot(EncodePacket(Text("later"))));
}

}  // namespace
}  // namespace pavix

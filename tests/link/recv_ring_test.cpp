#include "link/recv_ring.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/write_slot_wait.h"
#include "shared/debug_text.h"
#include "tests/support/counting_heap.h"

namespace pavix {
namespace {

using testing::CountingHeap;

class RecvRingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ring.Init()); }

    RecvSlot* WriteSlot(const std::string& text) {
        RecvSlot* slot = ring.AcquireWriteSlot();
        if (slot == nullptr) return nullptr;
        slot->length = 0;
        slot->Append(text.data(), static_cast<std::uint32_t>(text.size()));
        ring.ReleaseWriteSlot(slot, true);
        return slot;
    }

    CRecvRing ring{LocalHeap(), 64};
};

TEST_F(RecvRingTest, StartsEmptyWithEverySlotFree) {
    for (int i = 0; i < CRecvRing::kSlotCount; ++i) {
        EXPECT_EQ(ring.Slot(i).state, SlotState::Free);
        EXPECT_EQ(ring.Slot(i).length, 0u);
        EXPECT_EQ(ring.Slot(i).capacity, 64u);
    }
    EXPECT_EQ(ring.ReadIndex(), 0);
    EXPECT_EQ(ring.WriteIndex(), 0);
    EXPECT_EQ(ring.AcquireReadSlot(), nullptr);
}

TEST_F(RecvRingTest, WriterHoldsOneSlotAtATimeAndFullRingRefuses) {
    RecvSlot* first = ring.AcquireWriteSlot();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->state, SlotState::Writing);
    EXPECT_EQ(ring.AcquireWriteSlot(), nullptr) << "the write index must not move on acquire";
    first->length = 0;
    first->Append("x", 1);
    ring.ReleaseWriteSlot(first, true);

    for (int i = 1; i < CRecvRing::kSlotCount; ++i) ASSERT_NE(WriteSlot("x"), nullptr);
    EXPECT_EQ(ring.AcquireWriteSlot(), nullptr);
    EXPECT_EQ(ring.WriteIndex(), 0);

    // Reading one slot frees exactly that one for the writer.
    RecvSlot* read = ring.AcquireReadSlot();
    ASSERT_EQ(read, first);
    EXPECT_EQ(ring.AcquireWriteSlot(), nullptr) << "slot 0 is still being read";
    ring.ReleaseReadSlot(read, true);
    EXPECT_EQ(read->length, 0u);
    EXPECT_EQ(ring.AcquireWriteSlot(), first);
}

TEST_F(RecvRingTest, SlotsComeOutInCommitOrderAcrossTheWrap) {
    int next = 0;
    std::vector<std::string> seen;
    for (int round = 0; round < 5; ++round) {
        // Write four, read three: the indices drift round the ring.
        for (int i = 0; i < 4 && WriteSlot(std::to_string(next)) != nullptr; ++i) ++next;
        for (int i = 0; i < 3; ++i) {
            RecvSlot* slot = ring.AcquireReadSlot();
            if (slot == nullptr) break;
            seen.emplace_back(reinterpret_cast<const char*>(slot->data), slot->length);
            ring.ReleaseReadSlot(slot, true);
        }
    }
    while (RecvSlot* slot = ring.AcquireReadSlot()) {
        seen.emplace_back(reinterpret_cast<const char*>(slot->data), slot->length);
        ring.ReleaseReadSlot(slot, true);
    }
    ASSERT_EQ(static_cast<int>(seen.size()), next);
    for (int i = 0; i < next; ++i) EXPECT_EQ(seen[i], std::to_string(i));
    EXPECT_EQ(ring.ReadIndex(), ring.WriteIndex());
}

TEST_F(RecvRingTest, HasFilledSlotFollowsTheReadIndex) {
    EXPECT_FALSE(ring.HasFilledSlot());
    ASSERT_NE(WriteSlot("a"), nullptr);
    EXPECT_TRUE(ring.HasFilledSlot());
    RecvSlot* slot = ring.AcquireReadSlot();
    EXPECT_FALSE(ring.HasFilledSlot()) << "the slot being read is not offered";
    ring.ReleaseReadSlot(slot, true);
    EXPECT_FALSE(ring.HasFilledSlot());
}

TEST_F(RecvRingTest, EmptyCommittedSlotIsSkippedOnce) {
    ASSERT_NE(WriteSlot(""), nullptr);
    ASSERT_NE(WriteSlot("data"), nullptr);
    EXPECT_EQ(ring.AcquireReadSlot(), nullptr);
    EXPECT_EQ(ring.Slot(0).state, SlotState::Free);
    EXPECT_EQ(ring.ReadIndex(), 1);
    RecvSlot* slot = ring.AcquireReadSlot();
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(slot->data), slot->length), "data");
}

TEST_F(RecvRingTest, ReleasesAfterAResetChangeNothing) {
    RecvSlot* written = ring.AcquireWriteSlot();
    ring.reset_RW_buf_state();
    ring.ReleaseWriteSlot(written, true);
    EXPECT_EQ(written->state, SlotState::Free);
    EXPECT_EQ(ring.WriteIndex(), 0);
}

TEST_F(RecvRingTest, ResetNeverHandsTheWriterTheSlotTheReaderHolds) {
    ASSERT_NE(WriteSlot("abc"), nullptr);
    RecvSlot* read = ring.AcquireReadSlot();
    ASSERT_NE(read, nullptr);
    ring.reset_RW_buf_state();
    // The writer may fill every other slot, but not the one being parsed.
    for (int i = 0; i < CRecvRing::kSlotCount - 1; ++i) {
        RecvSlot* slot = WriteSlot("new");
        ASSERT_NE(slot, nullptr);
        EXPECT_NE(slot, read);
    }
    EXPECT_EQ(ring.AcquireWriteSlot(), nullptr) << "the ring is full until the reader lets go";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(read->data), read->length), "abc");

    // The reader's late release frees its slot without disturbing the
    // order of the data written after the reset.
    ring.ReleaseReadSlot(read, true);
    EXPECT_EQ(read->state, SlotState::Free);
    for (int i = 0; i < CRecvRing::kSlotCount - 1; ++i) {
        RecvSlot* slot = ring.AcquireReadSlot();
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(slot->data), slot->length), "new");
        ring.ReleaseReadSlot(slot, true);
    }
    EXPECT_NE(WriteSlot("next"), nullptr) << "the released slot is the writer's again";
}

TEST_F(RecvRingTest, UnconsumedReadIsOfferedAgain) {
    ASSERT_NE(WriteSlot("again"), nullptr);
    RecvSlot* slot = ring.AcquireReadSlot();
    ring.ReleaseReadSlot(slot, false);
    EXPECT_EQ(ring.AcquireReadSlot(), slot);
}

TEST_F(RecvRingTest, AppendKeepsTheTerminatorAndNeverFillsTheLastByte) {
    RecvSlot* slot = ring.AcquireWriteSlot();
    slot->length = 0;
    const std::string big(100, 'z');
    EXPECT_EQ(slot->Append(big.data(), 10), 10u);
    EXPECT_EQ(slot->data[10], 0);
    EXPECT_EQ(slot->Append(big.data(), 100), 53u);
    EXPECT_EQ(slot->length, 63u);
    EXPECT_EQ(slot->data[63], 0);
    EXPECT_EQ(slot->SpaceLeft(), 0u);
}

TEST(RecvRingInit, RefusesWhenABufferCannotBeHadAndKeepsNothing) {
    CountingHeap::Reset(/*failFromCall=*/3);
    CRecvRing ring(CountingHeap::Get(), 64);
    EXPECT_FALSE(ring.Init());
    EXPECT_EQ(CountingHeap::outstanding, 0);
    EXPECT_EQ(ring.AcquireWriteSlot(), nullptr);

    CountingHeap::Reset();
    EXPECT_TRUE(ring.Init());
    EXPECT_EQ(CountingHeap::outstanding, CRecvRing::kSlotCount);
    ring.Shutdown();
    EXPECT_EQ(CountingHeap::outstanding, 0);
}

class WriteSlotWaitTest : public RecvRingTest {
protected:
    void SetUp() override {
        RecvRingTest::SetUp();
        for (int i = 0; i < CRecvRing::kSlotCount; ++i) ASSERT_NE(WriteSlot("full"), nullptr);
        previousSink = SetDebugTextSink([this](const char* text) { debugTexts.emplace_back(text); });
    }
    void TearDown() override { SetDebugTextSink(previousSink); }

    std::vector<std::string> debugTexts;
    DebugTextSink previousSink;
};

TEST_F(WriteSlotWaitTest, FullRingIsDroppedOnceAfterAHundredSleeps) {
    int sleeps = 0;
    RecvSlot* slot = WaitForWriteSlot(ring, [&](unsigned ms) {
        EXPECT_EQ(ms, 300u);
        ++sleeps;
        return true;
    });
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(sleeps, 100);
    EXPECT_EQ(debugTexts.size(), 1u) << "the drop is told once";
    EXPECT_EQ(slot, &ring.Slot(0));
    EXPECT_EQ(ring.AcquireReadSlot(), nullptr) << "the buffered data was dropped";
}

TEST_F(WriteSlotWaitTest, ReaderCatchingUpEndsTheWaitWithoutDroppingAnything) {
    int sleeps = 0;
    RecvSlot* slot = WaitForWriteSlot(ring, [&](unsigned) {
        if (++sleeps == 5) ring.ReleaseReadSlot(ring.AcquireReadSlot(), true);
        return true;
    });
    EXPECT_EQ(slot, &ring.Slot(0));
    EXPECT_EQ(sleeps, 5);
    EXPECT_TRUE(debugTexts.empty());
    EXPECT_EQ(ring.Slot(1).state, SlotState::Filled);
}

TEST_F(WriteSlotWaitTest, StopEndsTheWait) {
    int sleeps = 0;
    EXPECT_EQ(WaitForWriteSlot(ring, [&](unsigned) { return ++sleeps < 3; }), nullptr);
    EXPECT_EQ(sleeps, 3);
    EXPECT_EQ(ring.Slot(0).state, SlotState::Filled);
}

}  // namespace
}  // namespace pavix

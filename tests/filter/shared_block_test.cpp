// OpenSharedFrameBuffer: the named block both programs create or open.

#include <windows.h>

#include <gtest/gtest.h>

#include "shared/shared_frame_buffer.h"
#include "tests/filter/support/shared_block.h"

namespace pavix::testing {
namespace {

TEST(SharedBlockOpen, FirstOpenerCreatesAZeroBlockOthersShareIt) {
    HANDLE first = nullptr;
    void* firstView = nullptr;
    ASSERT_EQ(1, OpenSharedFrameBuffer(&first, &firstView));
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, firstView);
    const auto* bytes = static_cast<const uint8_t*>(firstView);
    // Fresh (no one else in this test run holds it): all zero.
    for (size_t i = 0; i < kSharedFrameBufferSize; ++i) {
        ASSERT_EQ(0, bytes[i]) << "byte " << i;
    }
    MEMORY_BASIC_INFORMATION region;
    ASSERT_NE(0u, VirtualQuery(firstView, &region, sizeof(region)));
    EXPECT_GE(region.RegionSize, kSharedFrameBufferSize);
    EXPECT_EQ(static_cast<DWORD>(PAGE_READWRITE), region.Protect);

    HANDLE second = nullptr;
    void* secondView = nullptr;
    ASSERT_EQ(1, OpenSharedFrameBuffer(&second, &secondView));
    EXPECT_NE(firstView, secondView);
    WriteFrameWord(secondView, 1234);
    static_cast<uint8_t*>(secondView)[kPixelAreaOffset] = 0x5A;
    EXPECT_EQ(1234, ReadFrameWord(firstView));
    EXPECT_EQ(0x5A, bytes[kPixelAreaOffset]);

    CloseSharedFrameBuffer(&second, &secondView);
    EXPECT_EQ(nullptr, second);
    EXPECT_EQ(nullptr, secondView);
    // The block lives on while one side holds it.
    EXPECT_EQ(1234, ReadFrameWord(firstView));
    CloseSharedFrameBuffer(&first, &firstView);

    // Once nobody holds it, it is gone: the next opener starts afresh.
    ASSERT_EQ(1, OpenSharedFrameBuffer(&first, &firstView));
    EXPECT_EQ(0, ReadFrameWord(firstView));
    CloseSharedFrameBuffer(&first, &firstView);
}

TEST(SharedBlockOpen, FailureLeavesNothingOpen) {
    BlockNameTaken taken;
    ASSERT_TRUE(taken.Taken()) << "another process holds the shared block";
    HANDLE mapping = reinterpret_cast<HANDLE>(1);
    void* view = reinterpret_cast<void*>(1);
    EXPECT_EQ(0, OpenSharedFrameBuffer(&mapping, &view));
    EXPECT_EQ(nullptr, mapping);
    EXPECT_EQ(nullptr, view);
}

}  // namespace
}  // namespace pavix::testing

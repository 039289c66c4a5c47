// The request slots' rules, on a section in ordinary memory: claiming,
// refreshing, going stale, giving back, and pavix.exe's reading of what
// untrusted cameras wrote.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <vector>

#include "shared/hd_camera_request.h"

namespace pavix::testing {
namespace {

constexpr std::uint64_t kStart = 1000000;

class RequestSection : public ::testing::Test {
protected:
    void* view() { return words_.data(); }
    // A slot's raw fields, as any camera process could write them.
    std::uint8_t* slot(int i) { return reinterpret_cast<std::uint8_t*>(words_.data()) + i * kRequestSlotSize; }
    void WriteRaw(int i, std::uint32_t owner, std::int32_t width, std::int32_t height, std::uint64_t heartbeat) {
        std::memcpy(slot(i), &owner, 4);
        std::memcpy(slot(i) + 4, &width, 4);
        std::memcpy(slot(i) + 8, &height, 4);
        std::memcpy(slot(i) + 16, &heartbeat, 8);
    }

    std::vector<std::uint64_t> words_ = std::vector<std::uint64_t>(kRequestSectionSize / 8);
};

TEST_F(RequestSection, ClaimsRefreshesAndReleasesByTicket) {
    EXPECT_EQ(0u, ReadCameraRequest(view(), kStart).liveSlots);
    const int a = ClaimRequestSlot(view(), 0x100, 1280, 720, kStart);
    const int b = ClaimRequestSlot(view(), 0x200, 640, 480, kStart);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(-1, ClaimRequestSlot(view(), 0, 640, 480, kStart)) << "ticket 0 means free";

    CameraRequest request = ReadCameraRequest(view(), kStart);
    EXPECT_EQ((1u << a) | (1u << b), request.liveSlots);
    EXPECT_EQ(1280, request.width);
    EXPECT_EQ(720, request.height);

    // A camera that changes its type says so at its next refresh; another
    // ticket's refresh or release changes nothing.
    EXPECT_TRUE(RefreshRequestSlot(view(), a, 0x100, 1920, 1080, kStart + 50));
    EXPECT_FALSE(RefreshRequestSlot(view(), a, 0x200, 320, 240, kStart + 50));
    ReleaseRequestSlot(view(), a, 0x200);
    request = ReadCameraRequest(view(), kStart + 60);
    EXPECT_EQ(1920, request.width);
    EXPECT_EQ(1080, request.height);

    ReleaseRequestSlot(view(), a, 0x100);
    request = ReadCameraRequest(view(), kStart + 60);
    EXPECT_EQ(1u << b, request.liveSlots);
    EXPECT_EQ(640, request.width);
    EXPECT_FALSE(RefreshRequestSlot(view(), a, 0x100, 1920, 1080, kStart + 70)) << "given back";
    EXPECT_EQ(a, ClaimRequestSlot(view(), 0x300, 320, 240, kStart + 80)) << "a free slot is taken again";
}

TEST_F(RequestSection, AStaleSlotCountsForNothingAndIsTakenOver) {
    const int hung = ClaimRequestSlot(view(), 0x100, 1920, 1080, kStart);
    ASSERT_EQ(0, hung);
    for (int i = 1; i < kRequestSlots; ++i) {
        ASSERT_EQ(i, ClaimRequestSlot(view(), 0x1000 + i, 640, 360, kStart + kRequestStaleMs));
    }
    EXPECT_EQ(-1, ClaimRequestSlot(view(), 0x9999, 640, 360, kStart + kRequestStaleMs)) << "all live";
    EXPECT_EQ(1920, ReadCameraRequest(view(), kStart + kRequestStaleMs).width) << "just not stale yet";

    const std::uint64_t later = kStart + kRequestStaleMs + 1;
    const CameraRequest request = ReadCameraRequest(view(), later);
    EXPECT_EQ(0u, request.liveSlots & 1u);
    EXPECT_EQ(640, request.width) << "the hung camera's size is no longer decoded for";
    EXPECT_EQ(hung, ClaimRequestSlot(view(), 0x9999, 480, 320, later));
    EXPECT_FALSE(RefreshRequestSlot(view(), hung, 0x100, 1920, 1080, later)) << "it must claim again";
    EXPECT_EQ(-1, ClaimRequestSlot(view(), 0x100, 1920, 1080, later));
}

TEST_F(RequestSection, WhatCamerasWroteIsBoundedBeforeItCounts) {
    const struct {
        const char* what;
        std::uint32_t owner;
        std::int32_t width, height;
        std::uint64_t heartbeat;
        bool live;
        int readWidth, readHeight;
    } cases[] = {
        {"a usual size", 7, 1280, 720, kStart, true, 1280, 720},
        {"huge", 7, INT_MAX, 100000, kStart, true, 1920, 1080},
        {"negative", 7, -1, INT_MIN, kStart, true, 0, 0},
        {"one side too large", 7, 640, 4000, kStart, true, 640, 1080},
        {"no owner", 0, 1920, 1080, kStart, false, 0, 0},
        {"heartbeat a little ahead", 7, 640, 480, kStart + 500, true, 640, 480},
        {"heartbeat far in the future", 7, 1920, 1080, kStart + 60000, false, 0, 0},
        {"heartbeat from before the clock began", 7, 1920, 1080, 0, false, 0, 0},
    };
    for (const auto& c : cases) {
        WriteRaw(5, c.owner, c.width, c.height, c.heartbeat);
        const CameraRequest request = ReadCameraRequest(view(), kStart);
        EXPECT_EQ(c.live ? 1u << 5 : 0u, request.liveSlots) << c.what;
        EXPECT_EQ(c.readWidth, request.width) << c.what;
        EXPECT_EQ(c.readHeight, request.height) << c.what;
    }
    for (int i = 0; i < kRequestSlots; ++i) WriteRaw(i, 100 + i, 2, 2, kStart);
    WriteRaw(5, 7, 1920, 1080, kStart + 60000);
    EXPECT_EQ(5, ClaimRequestSlot(view(), 8, 640, 480, kStart)) << "a slot from the future is free";
}

TEST(RequestTicket, NeverZeroAndDistinctAcrossProcessesAndClaims) {
    std::set<std::uint32_t> seen;
    for (const std::uint32_t processId : {0u, 4u, 8u, 0x3FFFFCu}) {
        for (int i = 0; i < 100; ++i) {
            const std::uint32_t ticket = NewRequestTicket(processId);
            EXPECT_NE(0u, ticket);
            EXPECT_TRUE(seen.insert(ticket).second) << processId << " " << i;
        }
    }
}

}  // namespace
}  // namespace pavix::testing

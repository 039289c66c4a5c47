#include "frames/jpeg_failure_rule.h"

#include <gtest/gtest.h>

#include "frames/jpeg_decoder.h"
#include "tests/support/jpeg_samples.h"

namespace pavix {
namespace {

TEST(JpegFailureRule, FourthFailureInARowReplacesTheDecoder) {
    CJpegFailureRule rule;
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(rule.OnFailed());
        EXPECT_FALSE(rule.OnFailed());
        EXPECT_FALSE(rule.OnFailed());
        EXPECT_EQ(rule.ConsecutiveFailures(), 3);
        EXPECT_TRUE(rule.OnFailed());
        EXPECT_EQ(rule.ConsecutiveFailures(), 0) << "the count starts afresh after a replacement";
    }
}

TEST(JpegFailureRule, ASuccessForgivesTheFailuresBeforeIt) {
    CJpegFailureRule rule;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(rule.OnFailed());
    rule.OnDecoded();
    EXPECT_EQ(rule.ConsecutiveFailures(), 0);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(rule.OnFailed());
    EXPECT_TRUE(rule.OnFailed());
}

// Three corrupt frames and a good one on the same decoder: the good one
// decodes, and nothing is replaced.
TEST(JpegFailureRule, ThreeCorruptFramesThenAGoodOneKeepTheDecoder) {
    CJpegDecoder decoder;
    CJpegFailureRule rule;
    const testing::JpegBytes good = testing::ColourJpeg(64, 64);
    const testing::JpegBytes corrupt(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    int width = 0;
    int height = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(decoder.Decode(corrupt.data(), corrupt.size(), &width, &height), nullptr);
        EXPECT_FALSE(rule.OnFailed());
    }
    ASSERT_NE(decoder.Decode(good.data(), good.size(), &width, &height), nullptr);
    rule.OnDecoded();
    EXPECT_EQ(rule.ConsecutiveFailures(), 0);
}

}  // namespace
}  // namespace pavix

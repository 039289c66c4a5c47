// The reader's side of the shared frame buffer as plain data: the layout and
// the copy of the picture into a sample (row order, bounds, no view).

#include "shared/shared_frame_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace pavix {
namespace {

// A block exactly as large as the real one, on the heap, so that a copy
// reading past its end is caught by the sanitizers.
std::unique_ptr<uint8_t[]> MakeBlock() {
    std::unique_ptr<uint8_t[]> block(new uint8_t[kSharedFrameBufferSize]());
    // Every block row holds its own row number, offset so that no row is 0.
    for (size_t row = 0; row < static_cast<size_t>(kPictureHeight); ++row) {
        std::memset(block.get() + kPixelAreaOffset + row * kPictureStride,
                    static_cast<int>(row % 250 + 1), kPictureStride);
    }
    return block;
}

uint8_t RowMark(size_t blockRow) {
    return static_cast<uint8_t>(blockRow % 250 + 1);
}

TEST(SharedFrameBufferLayout, MatchesTheBlockBothProgramsShare) {
    EXPECT_STREQ("PavixShMem", kSharedFrameBufferName);
    EXPECT_EQ(501760u, kSharedFrameBufferSize);
    EXPECT_EQ(0u, kFrameWordOffset);
    EXPECT_EQ(5u, kPixelAreaOffset);
    EXPECT_EQ(1440u, kPictureStride);
    EXPECT_EQ(460800u, kPixelAreaSize);
    // The unused tail: 40,955 bytes after the picture.
    EXPECT_EQ(40955u, kSharedFrameBufferSize - kPixelAreaOffset - kPixelAreaSize);
    EXPECT_EQ(-1, STATUS_SHUTDOWN);
    EXPECT_EQ(-2, STATUS_NO_LINK);
    EXPECT_EQ(0, STATUS_STARTUP);
}

TEST(SharedFrameBufferWord, ReadsWhatWasWrittenAndZeroWithoutView) {
    auto block = MakeBlock();
    WriteFrameWord(block.get(), -1);
    EXPECT_EQ(-1, ReadFrameWord(block.get()));
    WriteFrameWord(block.get(), kLargestFrameNumber);
    EXPECT_EQ(kLargestFrameNumber, ReadFrameWord(block.get()));
    const uint8_t littleEndian[4] = {0x0a, 0x00, 0x00, 0x00};
    WriteFrameWord(block.get(), 10);
    EXPECT_EQ(0, std::memcmp(block.get(), littleEndian, 4));
    // No view: the stream runs (never the shut-down word).
    EXPECT_EQ(STATUS_STARTUP, ReadFrameWord(nullptr));
}

TEST(SharedFrameBufferCopy, BottomUpIsTheAreaByteForByte) {
    auto block = MakeBlock();
    std::vector<uint8_t> sample(kPixelAreaSize, 0xEE);
    CopyPictureToSample(block.get(), sample.data(), sample.size(), RowOrder::BottomUp);
    EXPECT_EQ(0, std::memcmp(sample.data(), block.get() + kPixelAreaOffset, kPixelAreaSize));
}

TEST(SharedFrameBufferCopy, TopDownReversesTheRows) {
    auto block = MakeBlock();
    std::vector<uint8_t> sample(kPixelAreaSize, 0xEE);
    CopyPictureToSample(block.get(), sample.data(), sample.size(), RowOrder::TopDown);
    for (size_t row = 0; row < static_cast<size_t>(kPictureHeight); ++row) {
        const uint8_t* line = sample.data() + row * kPictureStride;
        uint8_t expected = RowMark(kPictureHeight - 1 - row);
        ASSERT_EQ(expected, line[0]) << "sample row " << row;
        ASSERT_EQ(expected, line[kPictureStride - 1]) << "sample row " << row;
    }
}

TEST(SharedFrameBufferCopy, LargerSampleGetsThePictureAndZerosNeverTheTail) {
    auto block = MakeBlock();
    // Mark the block's unused tail: it must never reach a sample.
    std::memset(block.get() + kPixelAreaOffset + kPixelAreaSize, 0x77,
                kSharedFrameBufferSize - kPixelAreaOffset - kPixelAreaSize);
    for (RowOrder order : {RowOrder::BottomUp, RowOrder::TopDown}) {
        std::vector<uint8_t> sample(kSharedFrameBufferSize + 4096, 0xEE);
        CopyPictureToSample(block.get(), sample.data(), sample.size(), order);
        for (size_t i = kPixelAreaSize; i < sample.size(); ++i) {
            ASSERT_EQ(0, sample[i]) << "byte " << i;
        }
        EXPECT_EQ(RowMark(order == RowOrder::BottomUp ? 0 : kPictureHeight - 1), sample[0]);
    }
}

TEST(SharedFrameBufferCopy, SmallerSampleGetsWhatFits) {
    auto block = MakeBlock();
    // Two and a half rows: bottom-up copies bytes, top-down whole rows only.
    const size_t size = kPictureStride * 2 + kPictureStride / 2;
    std::vector<uint8_t> sample(size, 0xEE);
    CopyPictureToSample(block.get(), sample.data(), size, RowOrder::BottomUp);
    EXPECT_EQ(0, std::memcmp(sample.data(), block.get() + kPixelAreaOffset, size));

    std::fill(sample.begin(), sample.end(), 0xEE);
    CopyPictureToSample(block.get(), sample.data(), size, RowOrder::TopDown);
    EXPECT_EQ(RowMark(kPictureHeight - 1), sample[0]);
    EXPECT_EQ(RowMark(kPictureHeight - 2), sample[kPictureStride]);
    EXPECT_EQ(0, sample[kPictureStride * 2]);
    EXPECT_EQ(0, sample[size - 1]);
}

TEST(SharedFrameBufferCopy, NoViewGivesBlackPictures) {
    std::vector<uint8_t> sample(kPixelAreaSize + 100, 0xEE);
    for (RowOrder order : {RowOrder::BottomUp, RowOrder::TopDown}) {
        CopyPictureToSample(nullptr, sample.data(), sample.size(), order);
        for (uint8_t byte : sample) {
            ASSERT_EQ(0, byte);
        }
        std::fill(sample.begin(), sample.end(), 0xEE);
    }
}

}  // namespace
}  // namespace pavix

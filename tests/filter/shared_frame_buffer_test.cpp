// The shared frame buffer as plain data: the layout, the copy of the
// picture into a sample (row order, bounds, no view), and whole pictures
// through the sequence count while a writer is at work.

#include "shared/shared_frame_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "shared/shared_picture_reader.h"

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

// Every byte of `picture` is `value`.
bool Uniform(const std::vector<uint8_t>& picture, uint8_t value) {
    for (uint8_t byte : picture) {
        if (byte != value) return false;
    }
    return true;
}

TEST(SharedPictureWrite, MarksTheWriteOddAndLeavesTheCountEven) {
    auto block = MakeBlock();
    std::vector<uint8_t> grey(kPixelAreaSize, 0x80);
    struct Case {
        const char* what;
        uint32_t before;
        uint32_t after;
    } cases[] = {
        {"fresh count", 0, 2},
        {"after many writes", 1000, 1002},
        {"left odd by a writer that died mid-write", 7, 10},
        {"wrapping round", 0xFFFFFFFEu, 0},
    };
    for (const Case& c : cases) {
        uint32_t sequence = c.before;
        WriteSharedPicture(block.get(), &sequence, grey.data(), 42);
        EXPECT_EQ(c.after, sequence) << c.what;
        EXPECT_EQ(42, ReadFrameWord(block.get())) << c.what;
        EXPECT_EQ(0, std::memcmp(block.get() + kPixelAreaOffset, grey.data(), kPixelAreaSize)) << c.what;
    }
    // No pixels: the picture stays, the word and the count move on; no
    // count: the block is written all the same.
    auto before = MakeBlock();
    uint32_t sequence = 4;
    WriteSharedPicture(block.get(), &sequence, nullptr, STATUS_NO_LINK);
    EXPECT_EQ(6u, sequence);
    EXPECT_EQ(STATUS_NO_LINK, ReadFrameWord(block.get()));
    EXPECT_EQ(0x80, block[kPixelAreaOffset]);
    WriteSharedPicture(before.get(), nullptr, grey.data(), 9);
    EXPECT_EQ(9, ReadFrameWord(before.get()));
    EXPECT_EQ(0x80, before[kPixelAreaOffset + kPixelAreaSize - 1]);
    EXPECT_EQ(0, before[kPixelAreaOffset + kPixelAreaSize]) << "the tail stays untouched";
}

TEST(SharedPictureReader, HandsOnWholePicturesOrTheLastWholeOne) {
    auto block = MakeBlock();
    std::vector<uint8_t> first(kPixelAreaSize, 0x11);
    std::vector<uint8_t> second(kPixelAreaSize, 0x22);
    std::vector<uint8_t> sample(kPixelAreaSize);
    uint32_t sequence = 0;
    SharedPictureReader reader;

    // The count odd before any whole picture (a writer died mid-write):
    // the block as it is.
    sequence = 1;
    EXPECT_EQ(SharedPictureReader::Copied::Unchecked,
              reader.CopyToSample(block.get(), &sequence, sample.data(), sample.size(), RowOrder::BottomUp));
    EXPECT_EQ(0, std::memcmp(sample.data(), block.get() + kPixelAreaOffset, kPixelAreaSize));

    WriteSharedPicture(block.get(), &sequence, first.data(), 1);
    EXPECT_EQ(SharedPictureReader::Copied::Whole,
              reader.CopyToSample(block.get(), &sequence, sample.data(), sample.size(), RowOrder::BottomUp));
    EXPECT_TRUE(Uniform(sample, 0x11));

    // A writer half-way through the next picture: the last whole one again.
    sequence += 1;
    std::memcpy(block.get() + kPixelAreaOffset, second.data(), kPixelAreaSize / 2);
    EXPECT_EQ(SharedPictureReader::Copied::LastWhole,
              reader.CopyToSample(block.get(), &sequence, sample.data(), sample.size(), RowOrder::TopDown));
    EXPECT_TRUE(Uniform(sample, 0x11));
    sequence += 1;
    std::memcpy(block.get() + kPixelAreaOffset, second.data(), kPixelAreaSize);
    EXPECT_EQ(SharedPictureReader::Copied::Whole,
              reader.CopyToSample(block.get(), &sequence, sample.data(), sample.size(), RowOrder::BottomUp));
    EXPECT_TRUE(Uniform(sample, 0x22));

    // No count (an older writer), no view: as CopyPictureToSample.
    block = MakeBlock();
    for (RowOrder order : {RowOrder::BottomUp, RowOrder::TopDown}) {
        std::vector<uint8_t> expected(kPixelAreaSize + 10);
        std::vector<uint8_t> seen(expected.size());
        CopyPictureToSample(block.get(), expected.data(), expected.size(), order);
        EXPECT_EQ(SharedPictureReader::Copied::Unchecked,
                  reader.CopyToSample(block.get(), nullptr, seen.data(), seen.size(), order));
        EXPECT_EQ(expected, seen);
        reader.CopyToSample(nullptr, &sequence, seen.data(), seen.size(), order);
        EXPECT_TRUE(Uniform(seen, 0));
    }
}

TEST(SharedPictureReader, NeverHandsOnAPictureTornByAWriterAtWork) {
    // A writer alternates two uniform pictures while the reader takes
    // samples: each must be one picture or the other, never the top of one
    // and the bottom of the next. Without a pause the writer is at work
    // nearly all the time and most tries meet it (each costs the reader
    // its wait, so fewer samples); with a 0.1 ms pause it still writes a
    // hundred times as often as the real one, and fresh pictures get
    // through.
    struct Case {
        int pauseUs;
        int samples;
    } cases[] = {{0, 300}, {100, 10000}};
    for (const Case& c : cases) {
        auto block = MakeBlock();
        uint32_t sequence = 0;
        std::vector<uint8_t> pictures[2] = {std::vector<uint8_t>(kPixelAreaSize, 0x40),
                                            std::vector<uint8_t>(kPixelAreaSize, 0xC0)};
        WriteSharedPicture(block.get(), &sequence, pictures[0].data(), 1);
        SharedPictureReader reader;
        std::vector<uint8_t> sample(kPixelAreaSize);
        // Before the writer starts: a whole picture to fall back on.
        ASSERT_EQ(SharedPictureReader::Copied::Whole,
                  reader.CopyToSample(block.get(), &sequence, sample.data(), sample.size(),
                                      RowOrder::BottomUp));
        std::atomic<bool> stop{false};
        std::atomic<int> written{0};
        std::thread writer([&] {
            for (int n = 0; !stop.load(std::memory_order_relaxed); ++n) {
                WriteSharedPicture(block.get(), &sequence, pictures[n % 2].data(), n);
                written.store(n + 1, std::memory_order_relaxed);
                if (c.pauseUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(c.pauseUs));
            }
        });
        int torn = 0;
        int copied[3] = {};  // Whole, LastWhole, Unchecked
        bool seen[2] = {};
        for (int n = 0; n < c.samples; ++n) {
            ++copied[static_cast<int>(reader.CopyToSample(block.get(), &sequence, sample.data(),
                                                          sample.size(), RowOrder::BottomUp))];
            const int which = sample[0] == 0xC0 ? 1 : 0;
            if (sample != pictures[which]) {
                ++torn;
            } else {
                seen[which] = true;
            }
        }
        stop = true;
        writer.join();
        std::printf("pause %d us: %d writes; %d samples: %d whole, %d the last whole one again\n",
                    c.pauseUs, written.load(), c.samples, copied[0], copied[1]);
        EXPECT_EQ(0, torn) << "pause " << c.pauseUs;
        EXPECT_EQ(0, copied[2]) << "pause " << c.pauseUs;
        // How many tries meet the writer depends on how the two threads
        // are scheduled; that fresh pictures of both kinds get through
        // does not.
        if (c.pauseUs > 0) {
            EXPECT_GT(copied[0], 0) << "pause " << c.pauseUs;
            EXPECT_TRUE(seen[0] && seen[1]) << "pause " << c.pauseUs;
        }
    }
}

}  // namespace
}  // namespace pavix

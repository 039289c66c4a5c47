#include "frames/preview_pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <thread>

#include "tests/support/counting_heap.h"

namespace pavix {
namespace {

using testing::CountingHeap;

TEST(PreviewPicturesTest, NothingToPaintUntilAPictureIsComplete) {
    CPreviewPictures pictures;
    EXPECT_EQ(pictures.BeginWrite(), nullptr) << "no buffers before Init";
    EXPECT_EQ(pictures.BeginRead(), nullptr);
    EXPECT_FALSE(pictures.Init(0, 10));
    ASSERT_TRUE(pictures.Init(8, 4));
    EXPECT_EQ(pictures.Stride(), 32);
    EXPECT_FALSE(pictures.Init(8, 4)) << "once only";

    std::uint8_t* first = pictures.BeginWrite();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(pictures.BeginRead(), nullptr) << "a picture being written is not shown";
    pictures.EndWrite();
    EXPECT_EQ(pictures.BeginRead(), first);
    pictures.EndRead();

    pictures.Clear();
    EXPECT_EQ(pictures.BeginRead(), nullptr);
}

TEST(PreviewPicturesTest, TheWriterNeverGetsThePictureBeingPaintedOrTheNewest) {
    CPreviewPictures pictures;
    ASSERT_TRUE(pictures.Init(4, 4));
    std::uint8_t* a = pictures.BeginWrite();
    pictures.EndWrite();
    const std::uint8_t* painting = pictures.BeginRead();
    EXPECT_EQ(painting, a);
    // Many pictures while one is painted: they take turns in the two other
    // buffers, and the painter's stays untouched.
    std::set<const std::uint8_t*> used;
    const std::uint8_t* newest = a;
    for (int i = 0; i < 5; ++i) {
        std::uint8_t* b = pictures.BeginWrite();
        EXPECT_NE(b, painting);
        EXPECT_NE(b, newest);
        used.insert(b);
        pictures.EndWrite();
        newest = b;
    }
    EXPECT_EQ(used.size(), 2u);
    pictures.EndRead();
    EXPECT_EQ(pictures.BeginRead(), newest) << "the next paint shows the newest picture";
    pictures.EndRead();
}

TEST(PreviewPicturesTest, RefusedMemoryLeavesNothingBehind) {
    CountingHeap::Reset(2);  // the third buffer is refused
    {
        CPreviewPictures pictures(CountingHeap::Get());
        EXPECT_FALSE(pictures.Init(16, 16));
        EXPECT_EQ(CountingHeap::outstanding, 0);
        EXPECT_EQ(pictures.BeginWrite(), nullptr);
    }
    CountingHeap::Reset();
    {
        CPreviewPictures pictures(CountingHeap::Get());
        EXPECT_TRUE(pictures.Init(16, 16));
        EXPECT_EQ(CountingHeap::outstanding, 3);
    }
    EXPECT_EQ(CountingHeap::outstanding, 0);
}

// A painter on another thread never sees a picture half written, and the
// pictures it sees only get newer.
TEST(PreviewPicturesTest, PainterNeverSeesAPictureBeingWritten) {
    constexpr int kSide = 32;
    constexpr std::uint32_t kPictures = 20000;
    CPreviewPictures pictures;
    ASSERT_TRUE(pictures.Init(kSide, kSide));
    const std::size_t bytes = static_cast<std::size_t>(pictures.Stride()) * kSide;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> backwards{0};
    std::atomic<int> paints{0};
    std::thread painter([&] {
        std::uint32_t last = 0;
        while (!done.load()) {
            const std::uint8_t* picture = pictures.BeginRead();
            if (picture == nullptr) continue;
            // Picture i: its number in the first 4 bytes, its low byte in all others.
            std::uint32_t number;
            std::memcpy(&number, picture, sizeof number);
            const std::uint8_t low = static_cast<std::uint8_t>(number);
            if (!std::all_of(picture + 4, picture + bytes, [low](std::uint8_t b) { return b == low; })) {
                ++torn;
            }
            if (number < last) ++backwards;
            last = number;
            pictures.EndRead();
            ++paints;
        }
    });
    // At least kPictures, and on until the painter has had its turns: on a
    // loaded machine it may not run at all while the first ones are written.
    for (std::uint32_t i = 1; i <= kPictures || (paints.load() < 100 && i < 100 * kPictures);
         ++i) {
        std::uint8_t* buffer = pictures.BeginWrite();
        std::memset(buffer + 4, static_cast<std::uint8_t>(i), bytes - 4);
        std::memcpy(buffer, &i, sizeof i);
        pictures.EndWrite();
        if (i > kPictures) std::this_thread::yield();
    }
    done = true;
    painter.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(backwards.load(), 0);
    EXPECT_GT(paints.load(), 0);
}

}  // namespace
}  // namespace pavix

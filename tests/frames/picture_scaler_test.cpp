#include "frames/picture_scaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "shared/shared_frame_buffer.h"
#include "tests/support/counting_heap.h"
#include "tests/support/scaling_reference.h"

namespace pavix {
namespace {

using testing::CountingHeap;
using testing::ReferencePicture;
using testing::ScenePicture;

struct Size {
    int width;
    int height;
};

std::string Name(Size size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

// Pictures of the sizes phones and odd sources give: shrunk, enlarged, both
// at once, unchanged, by whole factors and from a single pixel.
const Size kSourceSizes[] = {{641, 479}, {1, 1},    {1366, 768}, {4000, 3000}, {640, 480},
                             {1280, 720}, {1920, 1080}, {320, 240}, {480, 320},  {1440, 960},
                             {2, 2},     {1280, 200}, {100, 1200}};

// The block's picture from the scaler against the reference, row r of the
// area being row 319 - r of the picture.
testing::Difference CompareBlock(const std::vector<std::uint8_t>& area, const ReferencePicture& want) {
    testing::Difference difference;
    for (int row = 0; row < kPictureHeight; ++row) {
        const std::uint8_t* got = area.data() + static_cast<std::size_t>(row) * kPictureStride;
        for (int x = 0; x < kPictureWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                difference.Add(got[x * 3 + c], want.At(x, kPictureHeight - 1 - row, c));
            }
        }
    }
    return difference;
}

TEST(PictureScalerTest, EverySizeLandsInTheBlockUprightWithinAFewStepsOfTheReference) {
    CPictureScaler scaler;
    std::vector<std::uint8_t> area(kPixelAreaSize);
    for (const Size size : kSourceSizes) {
        SCOPED_TRACE(Name(size));
        const std::vector<std::uint8_t> source = ScenePicture(size.width, size.height);
        const BgrxPicture picture{source.data(), size.width, size.height,
                                  static_cast<std::ptrdiff_t>(size.width) * kBgrxBytesPerPixel};
        std::fill(area.begin(), area.end(), 0x5A);
        ASSERT_TRUE(scaler.ToSharedPicture(picture, area.data()));
        const testing::Difference difference =
            CompareBlock(area, ReferencePicture(picture, kPictureWidth, kPictureHeight));
        EXPECT_LE(difference.largest, testing::kScalingTolerance);
        EXPECT_LT(difference.Mean(), testing::kScalingMeanTolerance);
    }
}

TEST(PictureScalerTest, ColoursKeepTheBlocksByteOrder) {
    // Top half red, bottom half blue: the block's first row (the bottom of
    // the picture) is blue, its last row red, each pixel blue, green, red.
    std::vector<std::uint8_t> source(64 * 64 * 4);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            std::uint8_t* p = &source[(static_cast<std::size_t>(y) * 64 + x) * 4];
            p[0] = y < 32 ? 0 : 255;    // blue
            p[1] = 0;                   // green
            p[2] = y < 32 ? 255 : 0;    // red
            p[3] = 0x77;                // unused
        }
    }
    CPictureScaler scaler;
    std::vector<std::uint8_t> area(kPixelAreaSize);
    ASSERT_TRUE(scaler.ToSharedPicture({source.data(), 64, 64, 64 * 4}, area.data()));
    const std::uint8_t* bottom = area.data();
    const std::uint8_t* top = area.data() + (kPictureHeight - 1) * kPictureStride;
    const int full = 255 - testing::kScalingTolerance;
    EXPECT_GE(bottom[0], full);
    EXPECT_EQ(bottom[1], 0);
    EXPECT_EQ(bottom[2], 0);
    EXPECT_EQ(top[1437], 0);
    EXPECT_EQ(top[1438], 0);
    EXPECT_GE(top[1439], full);
}

TEST(PictureScalerTest, RowsWithPaddingAreReadAtTheirStride) {
    // The same scene with 12 spare bytes after each row.
    const Size size{641, 479};
    const std::vector<std::uint8_t> packed = ScenePicture(size.width, size.height);
    const std::size_t rowBytes = static_cast<std::size_t>(size.width) * 4;
    const std::size_t stride = rowBytes + 12;
    std::vector<std::uint8_t> padded(stride * size.height, 0xEE);
    for (int y = 0; y < size.height; ++y) {
        std::copy_n(packed.begin() + y * rowBytes, rowBytes, padded.begin() + y * stride);
    }
    CPictureScaler scaler;
    std::vector<std::uint8_t> fromPacked(kPixelAreaSize);
    std::vector<std::uint8_t> fromPadded(kPixelAreaSize);
    ASSERT_TRUE(scaler.ToSharedPicture({packed.data(), size.width, size.height,
                                        static_cast<std::ptrdiff_t>(rowBytes)},
                                       fromPacked.data()));
    ASSERT_TRUE(scaler.ToSharedPicture({padded.data(), size.width, size.height,
                                        static_cast<std::ptrdiff_t>(stride)},
                                       fromPadded.data()));
    EXPECT_EQ(fromPacked, fromPadded);
}

TEST(PictureScalerTest, PreviewPictureOfAnySizeMatchesTheReference) {
    const Size targets[] = {{493, 389}, {1, 1}, {800, 600}};
    const std::vector<std::uint8_t> source = ScenePicture(641, 479);
    const BgrxPicture picture{source.data(), 641, 479, 641 * 4};
    for (const Size target : targets) {
        SCOPED_TRACE(Name(target));
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(target.width) * 4;
        std::vector<std::uint8_t> out(static_cast<std::size_t>(stride) * target.height);
        ASSERT_TRUE(CPictureScaler::ToBgrx(picture, out.data(), target.width, target.height, stride));
        const ReferencePicture want(picture, target.width, target.height);
        testing::Difference difference;
        for (int y = 0; y < target.height; ++y) {
            for (int x = 0; x < target.width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    difference.Add(out[static_cast<std::size_t>(y) * stride + x * 4 + c], want.At(x, y, c));
                }
            }
        }
        EXPECT_LE(difference.largest, testing::kScalingTolerance);
    }
}

TEST(PictureScalerTest, UnreadablePicturesAreRefusedAndTheTargetKept) {
    std::vector<std::uint8_t> source(16 * 16 * 4, 0x40);
    const BgrxPicture refused[] = {
        {nullptr, 16, 16, 64},      // no pixels
        {source.data(), 0, 16, 64},  // empty
        {source.data(), 16, 0, 64},
        {source.data(), 16, -4, 64},
        {source.data(), 16, 16, 60},  // rows overlap
        {source.data(), 16, 16, -64},
    };
    CPictureScaler scaler;
    std::vector<std::uint8_t> area(kPixelAreaSize, 0x5A);
    std::vector<std::uint8_t> preview(8 * 8 * 4, 0x5A);
    for (const BgrxPicture& picture : refused) {
        EXPECT_FALSE(scaler.ToSharedPicture(picture, area.data()));
        EXPECT_FALSE(CPictureScaler::ToBgrx(picture, preview.data(), 8, 8, 32));
    }
    const BgrxPicture good{source.data(), 16, 16, 64};
    EXPECT_FALSE(scaler.ToSharedPicture(good, nullptr));
    EXPECT_FALSE(CPictureScaler::ToBgrx(good, preview.data(), 8, 8, 28));  // target rows too short
    EXPECT_FALSE(CPictureScaler::ToBgrx(good, preview.data(), 0, 8, 32));
    EXPECT_TRUE(std::all_of(area.begin(), area.end(), [](std::uint8_t b) { return b == 0x5A; }));
    EXPECT_TRUE(std::all_of(preview.begin(), preview.end(), [](std::uint8_t b) { return b == 0x5A; }));
}

TEST(PictureScalerTest, ScratchIsTakenOnceAndARefusalFailsCleanly) {
    std::vector<std::uint8_t> source(16 * 16 * 4, 0x40);
    const BgrxPicture picture{source.data(), 16, 16, 64};
    std::vector<std::uint8_t> area(kPixelAreaSize, 0x5A);

    CountingHeap::Reset(0);
    {
        CPictureScaler refusing(CountingHeap::Get());
        EXPECT_FALSE(refusing.ToSharedPicture(picture, area.data()));
        EXPECT_EQ(area[0], 0x5A);
    }
    CountingHeap::Reset();
    {
        CPictureScaler scaler(CountingHeap::Get());
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(scaler.ToSharedPicture(picture, area.data()));
        EXPECT_EQ(CountingHeap::calls, 1);
        EXPECT_NEAR(area[0], 0x40, testing::kScalingTolerance);
    }
    EXPECT_EQ(CountingHeap::outstanding, 0);
}

}  // namespace
}  // namespace pavix

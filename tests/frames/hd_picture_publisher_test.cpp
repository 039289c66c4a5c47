// Pictures into the HD block as I420: the size each lands at, upright and
// in its colours (which side is blue, which red), numbered in order, and a
// refused one leaving the block as it was.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "frames/hd_picture_publisher.h"
#include "shared/hd_picture_block.h"
#include "shared/shared_frame_buffer.h"

namespace pavix::testing {
namespace {

struct Colour {
    std::uint8_t blue, green, red;
    // As libyuv's BT.601 limited range gives them.
    int y, u, v;
};
constexpr Colour kRed = {0, 0, 255, 82, 90, 240};
constexpr Colour kBlue = {255, 0, 0, 41, 240, 110};

// A BGRX picture: its top half `top`, its bottom half `bottom`.
std::vector<std::uint8_t> Halves(int width, int height, Colour top, Colour bottom) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    for (int row = 0; row < height; ++row) {
        const Colour& c = row < height / 2 ? top : bottom;
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &pixels[(static_cast<std::size_t>(row) * width + x) * 4];
            p[0] = c.blue;
            p[1] = c.green;
            p[2] = c.red;
            p[3] = 0xFF;
        }
    }
    return pixels;
}

// The picture's top rows are `top` and its bottom rows `bottom`, in all
// three planes.
void ExpectHalves(const HdPictureView& p, Colour top, Colour bottom, const char* what) {
    const int lastUV = p.height / 2 - 1;
    const int midY = p.width / 2;
    const int midUV = p.width / 4;
    EXPECT_NEAR(top.y, p.y[midY], 2) << what;
    EXPECT_NEAR(top.u, p.u[midUV], 2) << what;
    EXPECT_NEAR(top.v, p.v[midUV], 2) << what;
    EXPECT_NEAR(bottom.y, p.y[(p.height - 1) * p.strideY + midY], 2) << what;
    EXPECT_NEAR(bottom.u, p.u[lastUV * p.strideUV + midUV], 2) << what;
    EXPECT_NEAR(bottom.v, p.v[lastUV * p.strideUV + midUV], 2) << what;
}

class HdPublisher : public ::testing::Test {
protected:
    void SetUp() override { InitHdBlock(block_.data(), 1, 1); }
    std::vector<std::uint64_t> block_ = std::vector<std::uint64_t>(kHdBlockSize / 8);
    CHdPicturePublisher publisher_;
};

TEST_F(HdPublisher, PhonePicturesLandUprightAtTheirFittedSize) {
    const struct {
        int width, height, publishedWidth, publishedHeight;
    } cases[] = {
        {640, 480, 640, 480},
        {641, 479, 640, 478},      // odd sides: the last column and row left out
        {1920, 1080, 1920, 1080},
        {2000, 1500, 1440, 1080},  // larger than the block: scaled to fit
        {2560, 720, 1920, 540},
    };
    std::uint64_t number = 0;
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> pixels = Halves(c.width, c.height, kRed, kBlue);
        const BgrxPicture picture{pixels.data(), c.width, c.height,
                                  static_cast<std::ptrdiff_t>(c.width) * 4};
        ASSERT_TRUE(publisher_.PublishBgrx(block_.data(), picture, 40 + static_cast<int>(number), 777))
            << c.width << "x" << c.height;
        ++number;
        HdPictureView found;
        ASSERT_TRUE(FindLatestHdPicture(block_.data(), &found));
        EXPECT_EQ(c.publishedWidth, found.width) << c.width << "x" << c.height;
        EXPECT_EQ(c.publishedHeight, found.height) << c.width << "x" << c.height;
        EXPECT_EQ(number, found.pictureNumber);
        EXPECT_EQ(40 + static_cast<int>(number) - 1, found.frameWord);
        EXPECT_EQ(777, found.arrivalTime);
        ExpectHalves(found, kRed, kBlue, "phone picture");
    }
}

TEST_F(HdPublisher, TheIdlePictureIsTurnedUprightAndRefusalsChangeNothing) {
    // PavixShMem's rows: the bottom row first. Top half of the picture red.
    std::vector<std::uint8_t> idle(kPixelAreaSize);
    for (int row = 0; row < kPictureHeight; ++row) {  // row in memory
        const Colour& c = row < kPictureHeight / 2 ? kBlue : kRed;
        for (int x = 0; x < kPictureWidth; ++x) {
            std::uint8_t* p = &idle[row * kPictureStride + x * 3];
            p[0] = c.blue;
            p[1] = c.green;
            p[2] = c.red;
        }
    }
    ASSERT_TRUE(publisher_.PublishIdle(block_.data(), idle.data(), STATUS_NO_LINK, 5));
    HdPictureView found;
    ASSERT_TRUE(FindLatestHdPicture(block_.data(), &found));
    EXPECT_EQ(kPictureWidth, found.width);
    EXPECT_EQ(kPictureHeight, found.height);
    EXPECT_EQ(STATUS_NO_LINK, found.frameWord);
    EXPECT_EQ(1u, found.pictureNumber);
    ExpectHalves(found, kRed, kBlue, "idle picture");

    const std::uint8_t one[4] = {};
    EXPECT_FALSE(publisher_.PublishBgrx(block_.data(), BgrxPicture{one, 1, 1, 4}, 9, 0));
    EXPECT_FALSE(publisher_.PublishBgrx(block_.data(), BgrxPicture{nullptr, 640, 480, 2560}, 9, 0));
    EXPECT_FALSE(publisher_.PublishIdle(block_.data(), nullptr, 9, 0));
    HdPictureView after;
    ASSERT_TRUE(FindLatestHdPicture(block_.data(), &after));
    EXPECT_EQ(found.index, after.index);
    EXPECT_EQ(1u, after.pictureNumber);
    EXPECT_TRUE(IsHdPictureUnchanged(block_.data(), found));
}

}  // namespace
}  // namespace pavix::testing

#include "frames/jpeg_decoder.h"

#include <gtest/gtest.h>

#include <cstring>

#include <cstdlib>
#include <string>
#include <vector>

#include "shared/debug_text.h"
#include "tests/support/counting_heap.h"
#include "tests/support/jpeg_samples.h"

namespace pavix {
namespace {

using testing::CountingHeap;
using testing::JpegBytes;

constexpr int kTolerance = 3;  // flat blocks come back within a few steps

class JpegDecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        CountingHeap::Reset();
        previousSink = SetDebugTextSink([this](const char* text) { debugTexts.emplace_back(text); });
    }
    void TearDown() override { SetDebugTextSink(previousSink); }

    const std::uint8_t* Decode(const JpegBytes& jpeg) {
        return Decode(jpeg.data(), jpeg.size());
    }
    const std::uint8_t* Decode(const std::uint8_t* data, std::size_t length) {
        width = -1;
        height = -1;
        return decoder.Decode(data, length, &width, &height);
    }

    // The decoded pixel at (x, y) of the last picture as blue, green, red.
    std::vector<int> PixelAt(int x, int y) const {
        const std::uint8_t* p = decoder.Pixels() + (static_cast<std::size_t>(y) * width + x) * 3;
        return {p[0], p[1], p[2]};
    }

    void ExpectBgr(int x, int y, testing::Rgb rgb) const {
        const std::vector<int> bgr = PixelAt(x, y);
        EXPECT_NEAR(bgr[0], rgb.b, kTolerance) << "blue at " << x << "," << y;
        EXPECT_NEAR(bgr[1], rgb.g, kTolerance) << "green at " << x << "," << y;
        EXPECT_NEAR(bgr[2], rgb.r, kTolerance) << "red at " << x << "," << y;
    }

    void ExpectQuadrantPicture() {
        ASSERT_NE(decoder.Pixels(), nullptr);
        ASSERT_EQ(width, 16);
        ASSERT_EQ(height, 16);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) ExpectBgr(x, y, testing::kQuadrantColours[y / 8][x / 8]);
        }
    }

    CJpegDecoder decoder{CountingHeap::Get()};
    int width = -1;
    int height = -1;
    std::vector<std::string> debugTexts;
    DebugTextSink previousSink;
};

TEST_F(JpegDecoderTest, ColourPictureComesOutBlueGreenRedTopRowFirst) {
    const std::uint8_t* pixels = Decode(testing::QuadrantJpeg());
    ASSERT_NE(pixels, nullptr) << decoder.LastError();
    EXPECT_EQ(pixels, decoder.Pixels());
    EXPECT_EQ(decoder.Capacity(), 16 * 16 * 3);
    ExpectQuadrantPicture();
    EXPECT_TRUE(debugTexts.empty());
}

TEST_F(JpegDecoderTest, VgaPictureFillsExactlyItsBuffer) {
    ASSERT_NE(Decode(testing::ColourJpeg(640, 480)), nullptr) << decoder.LastError();
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(decoder.Capacity(), 921600);
    EXPECT_EQ(CountingHeap::lastSize, 921600u);
    // Block (0, 0) is black, block (1, 0) is (37, 0, 29): rows are W x 3 apart.
    ExpectBgr(0, 0, {0, 0, 0});
    ExpectBgr(12, 3, {37, 0, 29});
    ExpectBgr(3, 12, {0, 53, 29});
    ExpectBgr(639, 479, {static_cast<std::uint8_t>(79 * 37), static_cast<std::uint8_t>(59 * 53),
                         static_cast<std::uint8_t>(138 * 29)});
}

TEST_F(JpegDecoderTest, BufferGrowsToTheLargestPictureUpToFullHd) {
    const JpegBytes small = testing::ColourJpeg(32, 16);
    const JpegBytes large = testing::ColourJpeg(64, 48);

    ASSERT_NE(Decode(small), nullptr);
    EXPECT_EQ(decoder.Capacity(), 32 * 16 * 3);
    ASSERT_NE(Decode(small), nullptr);
    EXPECT_EQ(CountingHeap::calls, 1) << "the same size again needs no allocation";

    ASSERT_NE(Decode(large), nullptr);
    EXPECT_EQ(decoder.Capacity(), 64 * 48 * 3);
    EXPECT_EQ(CountingHeap::calls, 2);
    EXPECT_EQ(CountingHeap::outstanding, 1) << "the old buffer was released";

    ASSERT_NE(Decode(small), nullptr);
    EXPECT_EQ(width, 32);
    EXPECT_EQ(height, 16);
    EXPECT_EQ(decoder.Capacity(), 64 * 48 * 3);
    EXPECT_EQ(CountingHeap::calls, 2);
}

TEST_F(JpegDecoderTest, MemoryAboveFullHdIsGivenBackAfterALargerPicture) {
    const JpegBytes huge = testing::ColourJpeg(2048, 1152);
    const JpegBytes vga = testing::ColourJpeg(640, 480);
    ASSERT_NE(Decode(huge), nullptr);
    EXPECT_EQ(decoder.Capacity(), 2048 * 1152 * 3);
    ASSERT_NE(Decode(huge), nullptr);
    EXPECT_EQ(CountingHeap::calls, 1) << "large pictures in a row keep their buffer";

    ASSERT_NE(Decode(vga), nullptr);
    EXPECT_LE(decoder.Capacity(), 1920 * 1080 * 3);
    EXPECT_GE(decoder.Capacity(), 640 * 480 * 3);
    EXPECT_EQ(CountingHeap::outstanding, 1) << "the large buffer was released";
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    CJpegDecoder fresh;
    int freshWidth = 0;
    int freshHeight = 0;
    const std::uint8_t* expected = fresh.Decode(vga.data(), vga.size(), &freshWidth, &freshHeight);
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(std::memcmp(decoder.Pixels(), expected, 640 * 480 * 3), 0);
}

TEST_F(JpegDecoderTest, TruncatedOrEmptyPayloadIsTheInputReadError) {
    const JpegBytes whole = testing::ColourJpeg(64, 64);
    const JpegBytes truncated(whole.begin(), whole.end() - 2);  // just the end marker missing
    EXPECT_EQ(Decode(truncated), nullptr);
    EXPECT_STREQ(decoder.LastError(), "Input file read error");
    EXPECT_EQ(decoder.Pixels(), nullptr);
    EXPECT_EQ(decoder.Width(), 0);
    EXPECT_FALSE(debugTexts.empty()) << "the failure is told";

    EXPECT_EQ(Decode(nullptr, 0), nullptr);
    EXPECT_STREQ(decoder.LastError(), "Input file read error");
}

// After a library error the decompressor is made ready again; left in its
// decompressing state it would refuse every later header.
TEST_F(JpegDecoderTest, OneCorruptFrameCostsThatFrameOnly) {
    const JpegBytes good = testing::QuadrantJpeg();
    const JpegBytes big = testing::ColourJpeg(64, 64);
    const std::size_t scan = testing::FindMarker(big, 0xDA);
    const JpegBytes cutInScan(big.begin(), big.begin() + scan + (big.size() - scan) / 2);
    JpegBytes badHeader = good;
    badHeader[testing::FindMarker(badHeader, 0xC0) + 4] = 3;  // 3-bit samples

    for (const JpegBytes* bad : {&cutInScan, static_cast<const JpegBytes*>(&badHeader)}) {
        ASSERT_EQ(Decode(*bad), nullptr);
        ASSERT_NE(Decode(good), nullptr) << decoder.LastError();
        ExpectQuadrantPicture();
    }
}

// A marker segment whose length runs past the payload: the source must not
// follow it out. The bytes behind the payload would make a good picture.
TEST_F(JpegDecoderTest, SkipPastThePayloadEndIsTheInputReadError) {
    const JpegBytes good = testing::QuadrantJpeg();
    JpegBytes memory = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x22};  // APP1 of 32 bytes
    memory.resize(memory.size() + 32, 0x55);
    memory.insert(memory.end(), good.begin() + 2, good.end());  // the rest of a picture

    const std::size_t payload = 6 + 16;  // ends inside the APP1 segment
    EXPECT_EQ(Decode(memory.data(), payload), nullptr);
    EXPECT_STREQ(decoder.LastError(), "Input file read error");

    ASSERT_NE(Decode(memory), nullptr) << "the whole block is a picture: " << decoder.LastError();
    ExpectQuadrantPicture();
}

TEST_F(JpegDecoderTest, GreyscaleComesOutAsEqualBlueGreenRed) {
    const auto level = [](int x, int y) { return static_cast<std::uint8_t>(0x20 + 0x60 * x + 0x10 * y); };
    ASSERT_NE(Decode(testing::GreyJpeg(16, 16, level)), nullptr) << decoder.LastError();
    EXPECT_EQ(decoder.Capacity(), 16 * 16 * 3);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const std::uint8_t grey = level(x / 8, y / 8);
            ExpectBgr(x, y, {grey, grey, grey});
        }
    }
}

TEST_F(JpegDecoderTest, OtherComponentLayoutsFailCleanly) {
    std::vector<std::uint8_t> twoComponents(16 * 8 * 2, 0x70);
    const JpegBytes unusual[] = {
        testing::CmykJpeg(16, 16),
        testing::CompressJpeg(twoComponents, 16, 8, 2, JCS_UNKNOWN),
    };
    for (const JpegBytes& jpeg : unusual) {
        EXPECT_EQ(Decode(jpeg), nullptr);
        EXPECT_STREQ(decoder.LastError(), "Unsupported color conversion request");
        EXPECT_EQ(CountingHeap::calls, 0) << "no pixel memory for a picture we cannot show";
    }
    ASSERT_NE(Decode(testing::QuadrantJpeg()), nullptr);
    ExpectQuadrantPicture();
}

TEST_F(JpegDecoderTest, AbsurdPictureSizeIsRefusedBeforeAnyAllocation) {
    JpegBytes absurd = testing::QuadrantJpeg();
    testing::SetFrameSize(&absurd, 60000, 60000);
    EXPECT_EQ(Decode(absurd), nullptr);
    EXPECT_EQ(CountingHeap::calls, 0);
    EXPECT_EQ(decoder.Capacity(), 0);
    EXPECT_EQ(std::string(decoder.LastError()), "Maximum supported image dimension is " +
                                                    std::to_string(kMaxPictureSide) + " pixels");

    JpegBytes tooWide = testing::QuadrantJpeg();
    testing::SetFrameSize(&tooWide, kMaxPictureSide + 1, 16);
    EXPECT_EQ(Decode(tooWide), nullptr);
    EXPECT_EQ(CountingHeap::calls, 0);

    // The largest side is taken (whatever the short scan data then gives).
    JpegBytes tallest = testing::QuadrantJpeg();
    testing::SetFrameSize(&tallest, 16, kMaxPictureSide);
    Decode(tallest);
    EXPECT_EQ(CountingHeap::calls, 1);
    EXPECT_EQ(CountingHeap::lastSize, 16u * kMaxPictureSide * 3);
}

TEST_F(JpegDecoderTest, RefusedPixelMemoryFailsTheDecode) {
    CountingHeap::Reset(0);
    EXPECT_EQ(Decode(testing::QuadrantJpeg()), nullptr);
    EXPECT_EQ(CountingHeap::calls, 1);
    EXPECT_EQ(decoder.Capacity(), 0);
    EXPECT_STREQ(decoder.LastError(), "Insufficient memory (case 0)");

    CountingHeap::Reset();
    ASSERT_NE(Decode(testing::QuadrantJpeg()), nullptr);
    ExpectQuadrantPicture();
}

TEST_F(JpegDecoderTest, WarningsAreDebugTextsAndTheDecodeGoesOn) {
    // Stray bytes before a marker: the library warns and decodes anyway.
    JpegBytes jpeg = testing::QuadrantJpeg();
    const std::size_t dqt = testing::FindMarker(jpeg, 0xDB);
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(dqt), {0x12, 0x34});
    ASSERT_NE(Decode(jpeg), nullptr) << decoder.LastError();
    ExpectQuadrantPicture();
    EXPECT_EQ(debugTexts.size(), 1u) << "the warning is told once";
    EXPECT_STREQ(decoder.LastError(), "") << "a warning is no failure";
}

TEST_F(JpegDecoderTest, FourBytePixelsForTheScaler) {
    decoder.SetLayout(CJpegDecoder::Layout::Bgrx);
    EXPECT_EQ(decoder.BytesPerPixel(), 4);
    const auto level = [](int x, int y) { return static_cast<std::uint8_t>(0x20 + 0x60 * x + 0x10 * y); };
    const JpegBytes grey = testing::GreyJpeg(16, 16, level);
    for (const JpegBytes* jpeg : {&grey, static_cast<const JpegBytes*>(nullptr)}) {
        const JpegBytes quadrant = testing::QuadrantJpeg();
        ASSERT_NE(Decode(jpeg != nullptr ? *jpeg : quadrant), nullptr) << decoder.LastError();
        ASSERT_EQ(width, 16);
        EXPECT_EQ(decoder.Capacity(), 16 * 16 * 4);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const std::uint8_t* p = decoder.Pixels() + (y * 16 + x) * 4;
                const std::uint8_t g = level(x / 8, y / 8);
                const testing::Rgb want = jpeg != nullptr ? testing::Rgb{g, g, g}
                                                          : testing::kQuadrantColours[y / 8][x / 8];
                EXPECT_NEAR(p[0], want.b, kTolerance);
                EXPECT_NEAR(p[1], want.g, kTolerance);
                EXPECT_NEAR(p[2], want.r, kTolerance);
            }
        }
    }
}

TEST_F(JpegDecoderTest, LargePicturesShrinkWhileDecodingDownToTheLeastSize) {
    // The rule at a small least size, so that the pictures stay cheap: for
    // 493 x 389 it turns 1920 x 1080 into 960 x 540 the same way.
    decoder.SetLeastSize(60, 40);
    struct Case {
        int width, height, decodedWidth, decodedHeight;
    };
    const Case cases[] = {
        {96, 64, 96, 64},     // half would be too small
        {160, 72, 160, 72},   // so would half its height
        {128, 96, 64, 48},    // half
        {240, 160, 60, 40},   // a quarter: an eighth is too small
        {480, 320, 60, 40},   // an eighth
        {473, 313, 60, 40},   // an eighth, rounded up
        {1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        ASSERT_NE(Decode(testing::ColourJpeg(c.width, c.height)), nullptr) << decoder.LastError();
        EXPECT_EQ(width, c.decodedWidth);
        EXPECT_EQ(height, c.decodedHeight);
        EXPECT_EQ(decoder.SourceWidth(), c.width);
        EXPECT_EQ(decoder.SourceHeight(), c.height);
    }
    // Halved, each 8 x 8 block of the picture is 4 x 4 pixels of its colour.
    ASSERT_NE(Decode(testing::ColourJpeg(128, 96)), nullptr);
    ExpectBgr(4 * 3 + 1, 4 * 2 + 1, {3 * 37, 2 * 53, 5 * 29});

    decoder.SetLeastSize(0, 0);
    ASSERT_NE(Decode(testing::ColourJpeg(480, 320)), nullptr);
    EXPECT_EQ(width, 480);
}

TEST_F(JpegDecoderTest, DestructorReleasesThePixels) {
    {
        CJpegDecoder local(CountingHeap::Get());
        int w = 0;
        int h = 0;
        const JpegBytes jpeg = testing::QuadrantJpeg();
        ASSERT_NE(local.Decode(jpeg.data(), jpeg.size(), &w, &h), nullptr);
        EXPECT_EQ(CountingHeap::outstanding, 1);
    }
    EXPECT_EQ(CountingHeap::outstanding, 0);
}

}  // namespace
}  // namespace pavix

// The BMP reader of the camera tools takes files from anywhere: it must
// refuse what it cannot read without reading past the data.

#include "tools/shmtool/picture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pavix::tools {
namespace {

void Put32(std::vector<uint8_t>& file, size_t at, uint32_t value) {
    std::memcpy(&file[at], &value, 4);
}

TEST(PictureFile, EncodedPicturesReadBackTheSame) {
    Picture quadrants = QuadrantPicture(31, 17);  // odd width: padded rows
    std::vector<uint8_t> file = EncodeBmp(quadrants);
    Picture back;
    std::string error;
    ASSERT_TRUE(DecodeBmp(file, &back, &error)) << error;
    EXPECT_EQ(31, back.width);
    EXPECT_EQ(17, back.height);
    EXPECT_EQ(quadrants.bgr, back.bgr);

    // Top-down files are read upright too.
    std::vector<uint8_t> topDown = file;
    Put32(topDown, 22, static_cast<uint32_t>(-17));
    ASSERT_TRUE(DecodeBmp(topDown, &back, &error));
    Rgb corners[4];
    QuadrantAverages(back, corners);
    EXPECT_EQ(kQuadrantColours[2], corners[0]);  // flipped: the file's first row is now the top
}

TEST(PictureFile, RefusesWhatItCannotRead) {
    std::vector<uint8_t> good = EncodeBmp(QuadrantPicture(8, 8));
    Picture picture;
    std::string error;
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"pixels beyond the file", 10, 1000000},
        {"huge width", 18, 0x7FFFFFFF},
        {"zero height", 22, 0},
        {"8 bits", 28, 8},
        {"compressed", 30, 1},
        {"header larger than the file", 14, 100000},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = good;
        if (c.at == 28) {
            file[28] = static_cast<uint8_t>(c.value);
            file[29] = 0;
        } else {
            Put32(file, c.at, c.value);
        }
        EXPECT_FALSE(DecodeBmp(file, &picture, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    EXPECT_FALSE(DecodeBmp(truncated, &picture, &error));
    EXPECT_FALSE(DecodeBmp(std::vector<uint8_t>(good.begin(), good.begin() + 20), &picture, &error));
}

TEST(PictureFile, PixelAreaHoldsTheBottomRowFirst) {
    Picture quadrants = QuadrantPicture(480, 320);
    std::vector<uint8_t> area(460800);
    PictureToPixelArea(quadrants, area.data());
    // First bytes: the bottom-left quadrant, blue (B, G, R = 255, 0, 0).
    EXPECT_EQ(255, area[0]);
    EXPECT_EQ(0, area[2]);
    EXPECT_EQ(quadrants.bgr, PixelAreaToPicture(area.data()).bgr);
    // Other sizes are scaled to fit.
    PictureToPixelArea(QuadrantPicture(64, 48), area.data());
    Rgb seen[4];
    QuadrantAverages(PixelAreaToPicture(area.data()), seen);
    for (int q = 0; q < 4; ++q) {
        EXPECT_EQ(kQuadrantColours[q], seen[q]);
    }
}

}  // namespace
}  // namespace pavix::tools

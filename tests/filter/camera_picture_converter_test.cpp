// The camera's picture conversion: the centre crop, every format's colours
// and row order from an I420 picture and from PavixShMem's pixels, and the
// refusals that leave a sample untouched.

#include "filter/camera_picture_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shared/shared_frame_buffer.h"
#include "tests/filter/support/camera_sample_picture.h"
#include "tests/support/counting_heap.h"

namespace pavix {
namespace {

struct Rgb {
    int r, g, b;
};

// The three bands of the test pictures, top to bottom.
constexpr Rgb kTop = {200, 40, 40};
constexpr Rgb kMiddle = {40, 180, 60};
constexpr Rgb kBottom = {50, 60, 210};

// BT.601 limited range, written out here rather than taken from libyuv.
void RgbToYuv(const Rgb& c, int* y, int* u, int* v) {
    *y = static_cast<int>(16 + 0.257 * c.r + 0.504 * c.g + 0.098 * c.b + 0.5);
    *u = static_cast<int>(128 - 0.148 * c.r - 0.291 * c.g + 0.439 * c.b + 0.5);
    *v = static_cast<int>(128 + 0.439 * c.r - 0.368 * c.g - 0.071 * c.b + 0.5);
}

// An I420 picture that owns its planes, with strides wider than the
// picture so that a converter assuming packed planes is caught.
struct OwnedI420 {
    int width, height, strideY, strideUV;
    std::vector<std::uint8_t> y, u, v;

    OwnedI420(int w, int h)
        : width(w), height(h), strideY(w + 16), strideUV(w / 2 + 8),
          y(static_cast<std::size_t>(strideY) * h), u(static_cast<std::size_t>(strideUV) * h / 2),
          v(static_cast<std::size_t>(strideUV) * h / 2) {}

    I420Picture View() const {
        return {y.data(), u.data(), v.data(), strideY, strideUV, width, height};
    }
};

// Three horizontal bands of equal height.
OwnedI420 BandedI420(int width, int height) {
    OwnedI420 picture(width, height);
    for (int row = 0; row < height; ++row) {
        const Rgb& colour = row < height / 3 ? kTop : row < 2 * height / 3 ? kMiddle : kBottom;
        int y, u, v;
        RgbToYuv(colour, &y, &u, &v);
        std::memset(&picture.y[static_cast<std::size_t>(row) * picture.strideY], y, width);
        if (row % 2 == 0) {
            std::size_t at = static_cast<std::size_t>(row / 2) * picture.strideUV;
            std::memset(&picture.u[at], u, width / 2);
            std::memset(&picture.v[at], v, width / 2);
        }
    }
    return picture;
}

// The same bands as PavixShMem holds them: BGR, bottom row first.
std::vector<std::uint8_t> BandedSharedPixels() {
    std::vector<std::uint8_t> pixels(kPixelAreaSize);
    for (int row = 0; row < kPictureHeight; ++row) {
        const Rgb& colour = row < kPictureHeight / 3         ? kTop
                            : row < 2 * kPictureHeight / 3 ? kMiddle
                                                             : kBottom;
        std::uint8_t* line = &pixels[(kPictureHeight - 1 - row) * kPictureStride];
        for (int x = 0; x < kPictureWidth; ++x) {
            line[3 * x] = static_cast<std::uint8_t>(colour.b);
            line[3 * x + 1] = static_cast<std::uint8_t>(colour.g);
            line[3 * x + 2] = static_cast<std::uint8_t>(colour.r);
        }
    }
    return pixels;
}

void ExpectColour(const Rgb& want, const tools::Rgb& got, const std::string& where) {
    constexpr int kTolerance = 12;
    EXPECT_LE(std::abs(want.r - got.r), kTolerance) << where << " red " << got.r;
    EXPECT_LE(std::abs(want.g - got.g), kTolerance) << where << " green " << got.g;
    EXPECT_LE(std::abs(want.b - got.b), kTolerance) << where << " blue " << got.b;
}

std::vector<CameraType> EveryFormatAt(std::initializer_list<std::pair<int, int>> sizes) {
    std::vector<CameraType> types;
    for (auto [w, h] : sizes) {
        for (CameraFormat f : {CameraFormat::NV12, CameraFormat::I420, CameraFormat::YUY2,
                               CameraFormat::RGB24, CameraFormat::RGB32}) {
            types.push_back({f, w, h, false});
            if (f == CameraFormat::RGB24 || f == CameraFormat::RGB32) {
                types.push_back({f, w, h, true});
            }
        }
    }
    return types;
}

// The bands land where they were, in their colours: top, middle and bottom
// rows sampled at the left edge, the centre and the right edge.
void ExpectBands(const std::vector<std::uint8_t>& sample, const CameraType& type) {
    const std::string where = std::string(pavix::CameraFormatName(type.format)) + " " + std::to_string(type.width) +
                              "x" + std::to_string(type.height) +
                              (type.topDown ? " top-down" : "");
    tools::Picture seen;
    ASSERT_TRUE(testing::CameraSampleToPicture(sample.data(), sample.size(), type, &seen)) << where;
    auto at = [&](int x, int row) {
        const std::uint8_t* p = seen.Pixel(x, row);
        return tools::Rgb{p[2], p[1], p[0]};
    };
    for (int x : {0, type.width / 2, type.width - 1}) {
        ExpectColour(kTop, at(x, 1), where + " top");
        ExpectColour(kMiddle, at(x, type.height / 2), where + " middle");
        ExpectColour(kBottom, at(x, type.height - 2), where + " bottom");
    }
}

TEST(CameraImageSize, CountsEachFormatsBytesAndRefusesUnusableSizes) {
    struct Case {
        CameraType type;
        std::size_t bytes;
    } cases[] = {
        {{CameraFormat::NV12, 1920, 1080}, 3110400},
        {{CameraFormat::I420, 1280, 720}, 1382400},
        {{CameraFormat::YUY2, 640, 480}, 614400},
        {{CameraFormat::RGB24, 480, 320}, 460800},
        {{CameraFormat::RGB24, 2, 2}, 16},  // 6-byte rows padded to 8
        {{CameraFormat::RGB32, 640, 360}, 921600},
        {{CameraFormat::NV12, 0, 480}, 0},
        {{CameraFormat::NV12, 640, -480}, 0},
        {{CameraFormat::RGB24, 641, 480}, 0},
        {{CameraFormat::I420, 640, 481}, 0},
        {{CameraFormat::RGB32, 65536, 65536}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.bytes, CameraImageSize(c.type))
            << pavix::CameraFormatName(c.type.format) << " " << c.type.width << "x" << c.type.height;
    }
}

TEST(CentreCrop, KeepsTheMiddleWithEvenCornerAndSides) {
    struct Case {
        int w, h, tw, th;
        CropRect want;
    } cases[] = {
        {640, 480, 1280, 720, {0, 60, 640, 360}},     // 4:3 into 16:9: top and bottom
        {1280, 720, 640, 480, {160, 0, 960, 720}},    // 16:9 into 4:3: the sides
        {1920, 1080, 1280, 720, {0, 0, 1920, 1080}},  // same aspect: all of it
        {480, 320, 480, 320, {0, 0, 480, 320}},
        {480, 320, 1280, 720, {0, 24, 480, 270}},  // 25 rows off each side, corner even
        {480, 320, 640, 480, {26, 0, 426, 320}},
        {2, 2, 1920, 1080, {0, 0, 2, 2}},  // never narrower than one chroma sample
    };
    for (const Case& c : cases) {
        CropRect got = CentreCrop(c.w, c.h, c.tw, c.th);
        EXPECT_EQ(c.want.x, got.x) << c.w << "x" << c.h << " into " << c.tw << "x" << c.th;
        EXPECT_EQ(c.want.y, got.y) << c.w << "x" << c.h << " into " << c.tw << "x" << c.th;
        EXPECT_EQ(c.want.width, got.width) << c.w << "x" << c.h << " into " << c.tw << "x" << c.th;
        EXPECT_EQ(c.want.height, got.height) << c.w << "x" << c.h << " into " << c.tw << "x" << c.th;
    }
}

TEST(CameraPictureConverter, EveryFormatFromI420KeepsColoursAndTopRow) {
    // Scaled up and down, cropped either way, and at the source's own size.
    const OwnedI420 source = BandedI420(640, 480);
    CCameraPictureConverter converter;
    for (const CameraType& type : EveryFormatAt({{1280, 720}, {640, 480}, {480, 320}})) {
        std::vector<std::uint8_t> sample(CameraImageSize(type));
        ASSERT_TRUE(converter.FromI420(source.View(), type, sample.data(), sample.size()))
            << pavix::CameraFormatName(type.format) << " " << type.width << "x" << type.height;
        ExpectBands(sample, type);
    }
}

TEST(CameraPictureConverter, EveryFormatFromSharedPixelsKeepsColoursAndTopRow) {
    const std::vector<std::uint8_t> pixels = BandedSharedPixels();
    CCameraPictureConverter converter;
    for (const CameraType& type : EveryFormatAt({{1920, 1080}, {640, 480}, {480, 320}})) {
        std::vector<std::uint8_t> sample(CameraImageSize(type));
        ASSERT_TRUE(converter.FromSharedPixels(pixels.data(), type, sample.data(), sample.size()))
            << pavix::CameraFormatName(type.format) << " " << type.width << "x" << type.height;
        ExpectBands(sample, type);
    }
}

TEST(CameraPictureConverter, SharedPixelsAtTheirOwnTypeAreCopiedAsBefore) {
    std::vector<std::uint8_t> pixels(kPixelAreaSize);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>(i * 7 + i / kPictureStride);
    }
    CCameraPictureConverter converter;
    for (bool topDown : {false, true}) {
        const CameraType type{CameraFormat::RGB24, kPictureWidth, kPictureHeight, topDown};
        std::vector<std::uint8_t> want(kPixelAreaSize), got(kPixelAreaSize);
        CopyPixelsToSample(pixels.data(), want.data(), want.size(),
                           topDown ? RowOrder::TopDown : RowOrder::BottomUp);
        ASSERT_TRUE(converter.FromSharedPixels(pixels.data(), type, got.data(), got.size()));
        EXPECT_EQ(want, got) << (topDown ? "top-down" : "bottom-up");
    }
}

// A picture whose luma counts up along one axis: the sample's first and
// last rows or columns tell which part of the source was kept.
TEST(CameraPictureConverter, CropsTheDifferingAspectEquallyFromBothEnds) {
    struct Case {
        int w, h, tw, th;
        bool alongRows;  // luma counts up by row (else by column)
        int first, last; // source row or column at the sample's two edges
    } cases[] = {
        {640, 480, 1280, 720, true, 60, 419},   // 4:3 into 16:9: 60 rows off top and bottom
        {1280, 720, 640, 480, false, 160, 1119},  // 16:9 into 4:3: 160 columns off each side
        {640, 480, 640, 360, true, 60, 419},
    };
    CCameraPictureConverter converter;
    for (const Case& c : cases) {
        OwnedI420 source(c.w, c.h);
        std::fill(source.u.begin(), source.u.end(), 128);
        std::fill(source.v.begin(), source.v.end(), 128);
        const int steps = c.alongRows ? c.h : c.w;
        auto level = [&](int i) { return 16 + i * 219 / (steps - 1); };
        for (int row = 0; row < c.h; ++row) {
            for (int x = 0; x < c.w; ++x) {
                source.y[static_cast<std::size_t>(row) * source.strideY + x] =
                    static_cast<std::uint8_t>(level(c.alongRows ? row : x));
            }
        }
        const CameraType type{CameraFormat::I420, c.tw, c.th, false};
        std::vector<std::uint8_t> sample(CameraImageSize(type));
        ASSERT_TRUE(converter.FromI420(source.View(), type, sample.data(), sample.size()));
        const int lastRow = c.th - 1;
        const int lastColumn = c.tw - 1;
        const int atFirst = sample[0];
        const int atLast = c.alongRows ? sample[static_cast<std::size_t>(lastRow) * c.tw]
                                       : sample[lastColumn];
        // Within one level of a source step either way (bilinear edges).
        EXPECT_NEAR(level(c.first), atFirst, 2) << c.w << "x" << c.h << " into " << c.tw << "x" << c.th;
        EXPECT_NEAR(level(c.last), atLast, 2) << c.w << "x" << c.h << " into " << c.tw << "x" << c.th;
    }
}

TEST(CameraPictureConverter, RefusesBadSourcesAndShortSamplesUntouched) {
    const OwnedI420 good = BandedI420(640, 480);
    const CameraType nv12{CameraFormat::NV12, 640, 360, false};
    const std::vector<std::uint8_t> pixels = BandedSharedPixels();
    struct Case {
        const char* what;
        I420Picture source;
        CameraType type;
        std::size_t shortBy;
    };
    auto with = [&](auto change) {
        I420Picture p = good.View();
        change(p);
        return p;
    };
    const Case cases[] = {
        {"sample one byte short", good.View(), nv12, 1},
        {"odd source width", with([](I420Picture& p) { p.width = 639; }), nv12, 0},
        {"odd source height", with([](I420Picture& p) { p.height = 479; }), nv12, 0},
        {"empty source", with([](I420Picture& p) { p.width = 0; }), nv12, 0},
        {"no chroma plane", with([](I420Picture& p) { p.v = nullptr; }), nv12, 0},
        {"luma stride under the width", with([](I420Picture& p) { p.strideY = 600; }), nv12, 0},
        {"chroma stride under half", with([](I420Picture& p) { p.strideUV = 300; }), nv12, 0},
        {"odd type height", good.View(), {CameraFormat::RGB24, 640, 359, false}, 0},
    };
    CCameraPictureConverter converter;
    for (const Case& c : cases) {
        const std::size_t needed = std::max<std::size_t>(CameraImageSize(c.type), 64);
        std::vector<std::uint8_t> sample(needed - c.shortBy, 0xA5);
        EXPECT_FALSE(converter.FromI420(c.source, c.type, sample.data(), sample.size())) << c.what;
        EXPECT_TRUE(std::all_of(sample.begin(), sample.end(), [](std::uint8_t b) { return b == 0xA5; }))
            << c.what;
        if (c.shortBy != 0) {
            EXPECT_FALSE(
                converter.FromSharedPixels(pixels.data(), c.type, sample.data(), sample.size()))
                << c.what;
            EXPECT_TRUE(std::all_of(sample.begin(), sample.end(),
                                    [](std::uint8_t b) { return b == 0xA5; }))
                << c.what;
        }
    }
    std::vector<std::uint8_t> sample(CameraImageSize(nv12));
    EXPECT_FALSE(converter.FromSharedPixels(nullptr, nv12, sample.data(), sample.size()));
}

TEST(CameraPictureConverter, ScratchIsKeptAtASteadyTypeAndARefusalLeavesTheSample) {
    using testing::CountingHeap;
    const std::vector<std::uint8_t> pixels = BandedSharedPixels();
    const CameraType big{CameraFormat::NV12, 1280, 720, false};
    const CameraType small{CameraFormat::YUY2, 640, 360, false};
    std::vector<std::uint8_t> sample(CameraImageSize(big));

    CountingHeap::Reset(0);  // the first allocation is refused
    {
        CCameraPictureConverter converter(CountingHeap::Get());
        std::fill(sample.begin(), sample.end(), 0xA5);
        EXPECT_FALSE(converter.FromSharedPixels(pixels.data(), big, sample.data(), sample.size()));
        EXPECT_TRUE(std::all_of(sample.begin(), sample.end(), [](std::uint8_t b) { return b == 0xA5; }));
    }
    EXPECT_EQ(0, CountingHeap::outstanding);

    CountingHeap::Reset();
    {
        CCameraPictureConverter converter(CountingHeap::Get());
        ASSERT_TRUE(converter.FromSharedPixels(pixels.data(), big, sample.data(), sample.size()));
        const int afterFirst = CountingHeap::calls;
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(converter.FromSharedPixels(pixels.data(), big, sample.data(), sample.size()));
            // A smaller type fits in what the larger one grew.
            ASSERT_TRUE(converter.FromSharedPixels(pixels.data(), small, sample.data(), sample.size()));
        }
        EXPECT_EQ(afterFirst, CountingHeap::calls);
        EXPECT_EQ(1, CountingHeap::outstanding);
    }
    EXPECT_EQ(0, CountingHeap::outstanding);
}

}  // namespace
}  // namespace pavix

// camcheck's reading of samples: every offered format back to an upright
// picture, the test pattern's frame number and colours read off it, crop
// told from squeeze, and the picture ids counted. The samples here are made
// with libyuv's own encoders, not camcheck's code, so a wrong plane order,
// row order or channel order on camcheck's side shows.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "libyuv/convert_from_argb.h"
#include "libyuv/convert_argb.h"
#include "libyuv/scale_argb.h"
#include "pattern/test_pattern.h"
#include "tools/camcheck/pattern_content.h"
#include "tools/camcheck/picture_ids.h"
#include "tools/camcheck/sample_picture.h"

namespace pavix::tools {
namespace {

constexpr uint32_t kFrame = 1234567;

// The pattern as 4-byte B, G, R, A pixels, top row first.
std::vector<uint8_t> PatternArgb(int width, int height) {
    std::vector<uint8_t> rgb;
    phonesim::RenderPattern(kFrame, width, height, &rgb);
    std::vector<uint8_t> argb(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0, j = 0; i < rgb.size(); i += 3, j += 4) {
        argb[j] = rgb[i + 2];
        argb[j + 1] = rgb[i + 1];
        argb[j + 2] = rgb[i];
        argb[j + 3] = 255;
    }
    return argb;
}

// A sample of `layout` holding the picture, as a camera would deliver it.
std::vector<uint8_t> MakeSample(const std::vector<uint8_t>& argb, const SampleLayout& layout) {
    const int w = layout.width;
    const int h = layout.height;
    std::vector<uint8_t> sample(SampleBytes(layout));
    uint8_t* y = sample.data();
    uint8_t* u = y + static_cast<size_t>(w) * h;
    uint8_t* v = u + static_cast<size_t>(w / 2) * (h / 2);
    switch (layout.format) {
        case SampleFormat::NV12:
            libyuv::ARGBToNV12(argb.data(), w * 4, y, w, u, w, w, h);
            break;
        case SampleFormat::I420:
            libyuv::ARGBToI420(argb.data(), w * 4, y, w, u, w / 2, v, w / 2, w, h);
            break;
        case SampleFormat::YUY2:
            libyuv::ARGBToYUY2(argb.data(), w * 4, y, w * 2, w, h);
            break;
        case SampleFormat::RGB24:
        case SampleFormat::RGB32: {
            const int bytes = layout.format == SampleFormat::RGB24 ? 3 : 4;
            const size_t stride = (static_cast<size_t>(w) * bytes + 3) & ~size_t{3};
            for (int row = 0; row < h; ++row) {
                const int at = layout.topDown ? row : h - 1 - row;
                for (int x = 0; x < w; ++x) {
                    std::memcpy(&sample[at * stride + x * bytes],
                                &argb[(static_cast<size_t>(row) * w + x) * 4], bytes);
                }
            }
            break;
        }
    }
    return sample;
}

struct FormatCase {
    SampleFormat made;
    bool madeTopDown;
    SampleFormat readAs;
    bool readTopDown;
    bool readable;  // upright, true colours and the frame number
};

TEST(CamcheckSamples, EveryFormatReadsBackUprightAndAMisreadShows) {
    const FormatCase cases[] = {
        {SampleFormat::NV12, false, SampleFormat::NV12, false, true},
        {SampleFormat::I420, false, SampleFormat::I420, false, true},
        {SampleFormat::YUY2, false, SampleFormat::YUY2, false, true},
        {SampleFormat::RGB24, false, SampleFormat::RGB24, false, true},
        {SampleFormat::RGB24, true, SampleFormat::RGB24, true, true},
        {SampleFormat::RGB32, false, SampleFormat::RGB32, false, true},
        {SampleFormat::RGB32, true, SampleFormat::RGB32, true, true},
        // Rows in the other order, chroma planes taken for another layout.
        {SampleFormat::RGB24, true, SampleFormat::RGB24, false, false},
        {SampleFormat::RGB32, false, SampleFormat::RGB32, true, false},
        {SampleFormat::NV12, false, SampleFormat::I420, false, false},
        {SampleFormat::I420, false, SampleFormat::NV12, false, false},
    };
    // 642 x 362: RGB24 rows need padding; odd halves for the chroma planes.
    const int w = 642;
    const int h = 362;
    const std::vector<uint8_t> argb = PatternArgb(w, h);
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(std::string(SampleFormatName(c.made)) + (c.madeTopDown ? " top-down" : "") +
                     " read as " + SampleFormatName(c.readAs) + (c.readTopDown ? " top-down" : ""));
        std::vector<uint8_t> sample = MakeSample(argb, {c.made, w, h, c.madeTopDown});
        Picture picture;
        ASSERT_TRUE(SampleToPicture(sample.data(), sample.size(), {c.readAs, w, h, c.readTopDown},
                                    &picture));
        ASSERT_EQ(w, picture.width);
        ASSERT_EQ(h, picture.height);
        PatternContent content = ReadPatternContent(picture);
        bool readable = content.frame == kFrame && content.orientation.upright() &&
                        content.coloursTrue;
        EXPECT_EQ(c.readable, readable)
            << "frame " << content.frame << " upright " << content.orientation.upright()
            << " colours " << content.coloursTrue;
    }
}

TEST(CamcheckSamples, ShortSamplesAndBadLayoutsAreRefused) {
    for (SampleFormat format : kSampleFormats) {
        SCOPED_TRACE(SampleFormatName(format));
        SampleLayout layout{format, 64, 48, false};
        std::vector<uint8_t> sample(SampleBytes(layout));
        Picture picture;
        EXPECT_TRUE(SampleToPicture(sample.data(), sample.size(), layout, &picture));
        EXPECT_FALSE(SampleToPicture(sample.data(), sample.size() - 1, layout, &picture));
        EXPECT_FALSE(SampleToPicture(sample.data(), sample.size(), {format, 63, 48, false}, &picture));
        EXPECT_FALSE(SampleToPicture(sample.data(), sample.size(), {format, 64, 0, false}, &picture));
    }
}

TEST(CamcheckOptions, SizesAndFormatsParseStrictly) {
    struct {
        const char* text;
        bool ok;
        int width, height;
    } sizes[] = {
        {"1920x1080", true, 1920, 1080}, {"480x320", true, 480, 320}, {"1281x720", false, 0, 0},
        {"1280x721", false, 0, 0},       {"0x0", false, 0, 0},        {"x720", false, 0, 0},
        {"1280x", false, 0, 0},          {"12a0x720", false, 0, 0},   {"-2x4", false, 0, 0},
        {"4098x2", false, 0, 0},         {"1280X720", false, 0, 0},   {"1280x720x3", false, 0, 0},
    };
    for (const auto& s : sizes) {
        int w = 0;
        int h = 0;
        EXPECT_EQ(s.ok, ParseSize(s.text, &w, &h)) << s.text;
        if (s.ok) {
            EXPECT_EQ(s.width, w) << s.text;
            EXPECT_EQ(s.height, h) << s.text;
        }
    }
    SampleFormat format = SampleFormat::RGB24;
    EXPECT_TRUE(ParseSampleFormat("nv12", &format));
    EXPECT_EQ(SampleFormat::NV12, format);
    EXPECT_TRUE(ParseSampleFormat("RGB32", &format));
    EXPECT_EQ(SampleFormat::RGB32, format);
    for (const char* bad : {"NV21", "", "RGB", "I4200"}) {
        EXPECT_FALSE(ParseSampleFormat(bad, &format)) << bad;
    }
}

// The pattern at the source size fitted into the type: its centre cropped
// (the camera's rule), squeezed whole, or whole with black bars.
enum class Fit { Crop, Squeeze, Bars };

Picture FitPattern(int sw, int sh, int tw, int th, Fit fit) {
    std::vector<uint8_t> source = PatternArgb(sw, sh);
    std::vector<uint8_t> target(static_cast<size_t>(tw) * th * 4, 0);
    int cx = 0, cy = 0, cw = sw, ch = sh;  // part of the source
    int ox = 0, oy = 0, ow = tw, oh = th;  // part of the target
    if (fit == Fit::Crop) {
        if (int64_t{sw} * th > int64_t{tw} * sh) {
            cw = static_cast<int>(int64_t{sh} * tw / th);
            cx = (sw - cw) / 2;
        } else {
            ch = static_cast<int>(int64_t{sw} * th / tw);
            cy = (sh - ch) / 2;
        }
    } else if (fit == Fit::Bars) {
        if (int64_t{sw} * th > int64_t{tw} * sh) {
            oh = static_cast<int>(int64_t{sh} * tw / sw);
            oy = (th - oh) / 2;
        } else {
            ow = static_cast<int>(int64_t{sw} * th / sh);
            ox = (tw - ow) / 2;
        }
    }
    libyuv::ARGBScale(&source[(static_cast<size_t>(cy) * sw + cx) * 4], sw * 4, cw, ch,
                      &target[(static_cast<size_t>(oy) * tw + ox) * 4], tw * 4, ow, oh,
                      libyuv::kFilterBilinear);
    Picture picture;
    EXPECT_TRUE(SampleToPicture(target.data(), target.size(),
                                {SampleFormat::RGB32, tw, th, true}, &picture));
    return picture;
}

TEST(CamcheckFit, CropToldFromSqueezeAndBarsForEveryOfferedSize) {
    struct {
        int sw, sh, tw, th;
    } cases[] = {
        {640, 480, 1920, 1080}, {640, 480, 1280, 720}, {640, 480, 640, 480},
        {640, 480, 640, 360},   {640, 480, 480, 320},  {480, 320, 1280, 720},
        {480, 320, 480, 320},   {1280, 720, 1920, 1080},
        // A wider source loses bands at the sides: the start marker narrows.
        {720, 480, 640, 480},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sw) + "x" + std::to_string(c.sh) + " in " +
                     std::to_string(c.tw) + "x" + std::to_string(c.th));
        const bool sameAspect = int64_t{c.sw} * c.th == int64_t{c.tw} * c.sh;
        for (Fit fit : {Fit::Crop, Fit::Squeeze, Fit::Bars}) {
            PatternGeometry measured = MeasurePatternGeometry(FitPattern(c.sw, c.sh, c.tw, c.th, fit));
            ASSERT_TRUE(measured.measured);
            FitVerdict verdict = JudgeFit(measured, c.sw, c.sh, c.tw, c.th);
            FitVerdict expected = fit == Fit::Crop || sameAspect ? FitVerdict::Cropped
                                  : fit == Fit::Squeeze          ? FitVerdict::Squeezed
                                                                 : FitVerdict::Neither;
            EXPECT_EQ(FitVerdictName(expected), std::string(FitVerdictName(verdict)))
                << "fit " << static_cast<int>(fit) << ": top " << measured.topBandEnd
                << " bottom " << measured.bottomBandStart << " marker " << measured.startMarker;
        }
    }
}

TEST(CamcheckFit, APictureWithoutThePatternIsNotMeasured) {
    Picture grey;
    grey.width = 640;
    grey.height = 360;
    grey.bgr.assign(640 * 360 * 3, 128);
    EXPECT_FALSE(MeasurePatternGeometry(grey).measured);
    EXPECT_EQ(FitVerdict::Neither, JudgeFit(MeasurePatternGeometry(grey), 640, 480, 640, 360));
    EXPECT_EQ(-1, ReadPatternContent(grey).frame);
    EXPECT_FALSE(ReadPatternContent(grey).coloursTrue);
}

TEST(CamcheckPictureIds, RepeatsAndGapsAreCounted) {
    struct {
        std::vector<int64_t> ids;
        size_t distinct, repeats, gaps, unreadable;
    } cases[] = {
        {{}, 0, 0, 0, 0},
        {{5, 6, 7, 8}, 4, 0, 0, 0},
        {{5, 5, 6, 6, 6, 7}, 3, 3, 0, 0},
        {{5, 7, 10}, 3, 0, 3, 0},
        // Unreadable samples between two ids neither repeat nor skip.
        {{5, -1, 6, -1, -1, 6}, 2, 1, 0, 3},
        // The phone counting from 0 again skips nothing.
        {{900, 901, 0, 1, 3}, 5, 0, 1, 0},
        {{-1, -1}, 0, 0, 0, 2},
    };
    for (const auto& c : cases) {
        PictureIdSummary s = SummarisePictureIds(c.ids);
        std::string ids;
        for (int64_t id : c.ids) ids += std::to_string(id) + " ";
        SCOPED_TRACE(ids);
        EXPECT_EQ(c.ids.size(), s.samples);
        EXPECT_EQ(c.distinct, s.distinct);
        EXPECT_EQ(c.repeats, s.repeats);
        EXPECT_EQ(c.gaps, s.gaps);
        EXPECT_EQ(c.unreadable, s.unreadable);
    }
}

}  // namespace
}  // namespace pavix::tools

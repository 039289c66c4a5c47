// The capture client's frame reader: each raw format ffmpeg writes for the
// camera's types reads back as the simulator's picture, and a run of frame
// numbers is tallied into repeats and missed pictures.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "pattern/test_pattern.h"
#include "tests/filter/capture_client/picture_tally.h"
#include "tests/filter/capture_client/raw_frames.h"

namespace pavix::testing {
namespace {

struct FormatCase {
    const char* name;
    RawFormat format;
    std::size_t bytesAt640x480;
};

const FormatCase kFormats[] = {
    {"nv12", RawFormat::Nv12, 460800},      {"yuv420p", RawFormat::Yuv420p, 460800},
    {"yuyv422", RawFormat::Yuyv422, 614400}, {"bgr24", RawFormat::Bgr24, 921600},
    {"bgr0", RawFormat::Bgr0, 1228800},
};

TEST(RawFrames, EachFormatReadsBackAsTheUprightPattern) {
    constexpr int kWidth = 320;
    constexpr int kHeight = 240;
    constexpr std::uint64_t kFrame = 0x5A5A5A;  // alternating bits in every half of the code
    std::vector<std::uint8_t> pattern;
    phonesim::RenderPattern(kFrame, kWidth, kHeight, &pattern);
    for (const FormatCase& c : kFormats) {
        SCOPED_TRACE(c.name);
        RawFormat parsed;
        ASSERT_TRUE(ParseRawFormat(c.name, &parsed));
        EXPECT_EQ(parsed, c.format);
        EXPECT_EQ(RawFrameSize(c.format, 640, 480), c.bytesAt640x480);

        std::vector<std::uint8_t> frame;
        RgbToRawFrame(c.format, kWidth, kHeight, pattern.data(), &frame);
        ASSERT_EQ(frame.size(), RawFrameSize(c.format, kWidth, kHeight));
        std::vector<std::uint8_t> rgb;
        RawFrameToRgb(c.format, kWidth, kHeight, frame.data(), &rgb);
        const phonesim::ImageView view = phonesim::RgbView(rgb.data(), kWidth, kHeight);
        EXPECT_EQ(phonesim::ReadFrameNumber(view), static_cast<std::int64_t>(kFrame));
        EXPECT_TRUE(phonesim::ReadOrientation(view).upright());
        // The corners' colours survive, within what chroma rounding costs.
        EXPECT_GE(rgb[0], 240);
        EXPECT_LE(rgb[2], 15);
    }
}

TEST(RawFrames, AFrameReadInTheWrongFormatIsNotThePattern) {
    constexpr int kWidth = 320;
    constexpr int kHeight = 240;
    std::vector<std::uint8_t> pattern;
    phonesim::RenderPattern(77, kWidth, kHeight, &pattern);
    std::vector<std::uint8_t> frame;
    RgbToRawFrame(RawFormat::Nv12, kWidth, kHeight, pattern.data(), &frame);
    std::vector<std::uint8_t> rgb;
    RawFrameToRgb(RawFormat::Yuv420p, kWidth, kHeight, frame.data(), &rgb);
    EXPECT_FALSE(phonesim::ReadOrientation(phonesim::RgbView(rgb.data(), kWidth, kHeight)).upright());
}

TEST(RawFrames, RefusesUnknownNamesAndOddSizes) {
    RawFormat format;
    EXPECT_FALSE(ParseRawFormat("rgb24", &format));
    EXPECT_FALSE(ParseRawFormat("", &format));
    EXPECT_EQ(RawFrameSize(RawFormat::Nv12, 641, 480), 0u);
    EXPECT_EQ(RawFrameSize(RawFormat::Bgr24, 640, 0), 0u);
    EXPECT_EQ(RawFrameSize(RawFormat::Yuyv422, -2, 2), 0u);
}

TEST(PictureTally, CountsRepeatsMissedAndOutOfOrderPictures) {
    struct Case {
        const char* what;
        std::initializer_list<std::int64_t> frames;
        std::size_t unreadable, repeats, missed, backwards, delivered;
        std::int64_t first, last;
    };
    const Case cases[] = {
        {"every picture once", {5, 6, 7, 8}, 0, 0, 0, 0, 4, 5, 8},
        {"a picture shown twice", {5, 6, 6, 7}, 0, 1, 0, 0, 3, 5, 7},
        {"two pictures skipped", {5, 6, 9}, 0, 0, 2, 0, 3, 5, 9},
        {"unreadable samples are neither", {-1, 5, -1, 6}, 2, 0, 0, 0, 2, 5, 6},
        {"an older picture after a newer", {5, 8, 7, 8}, 0, 0, 2, 1, 4, 5, 8},
        {"nothing readable", {-1, -1}, 2, 0, 0, 0, 0, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PictureTally tally;
        for (std::int64_t frame : c.frames) tally.Add(frame);
        EXPECT_EQ(tally.samples, c.frames.size());
        EXPECT_EQ(tally.unreadable, c.unreadable);
        EXPECT_EQ(tally.repeats, c.repeats);
        EXPECT_EQ(tally.missed, c.missed);
        EXPECT_EQ(tally.backwards, c.backwards);
        EXPECT_EQ(tally.Delivered(), c.delivered);
        EXPECT_EQ(tally.first, c.first);
        EXPECT_EQ(tally.last, c.last);
    }
}

}  // namespace
}  // namespace pavix::testing

#include "frames/frame_rate_window.h"

#include <gtest/gtest.h>

#include <vector>

namespace pavix {
namespace {

// The readings of pictures every `stepMs` from `startMs` on, `count` of them.
std::vector<float> Readings(CFrameRateWindow& window, std::uint32_t startMs, double stepMs,
                            int count) {
    std::vector<float> readings;
    for (int i = 0; i < count; ++i) {
        float rate = 0;
        const auto now = static_cast<std::uint32_t>(startMs + static_cast<std::uint32_t>(i * stepMs));
        if (window.OnPicture(now, &rate)) readings.push_back(rate);
    }
    return readings;
}

TEST(FrameRateWindow, FirstReadingAfterStartShowsTheRateNotZero) {
    // The program has been up for 50 s (the tick count) when the first
    // picture comes.
    CFrameRateWindow window;
    const std::vector<float> readings = Readings(window, 50000, 1000.0 / 15, 16);
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_NEAR(readings[0], 15.0, 0.5);
}

TEST(FrameRateWindow, SteadyRateReadsTheSameInEveryWindow) {
    CFrameRateWindow window;
    for (float rate : Readings(window, 1234, 1000.0 / 30, 300)) EXPECT_NEAR(rate, 30.0, 1.0);
}

TEST(FrameRateWindow, TickCountWrapDoesNoHarm) {
    CFrameRateWindow window;
    const std::vector<float> readings = Readings(window, 0xFFFFFFFFu - 500, 100, 30);
    ASSERT_EQ(readings.size(), 2u);
    for (float rate : readings) EXPECT_NEAR(rate, 10.0, 0.01);
}

TEST(FrameRateWindow, PictureAfterALongPauseClosesTheWindowAtOnce) {
    CFrameRateWindow window;
    Readings(window, 1000, 100, 15);  // one reading at 2000, window open since
    float rate = -1;
    EXPECT_TRUE(window.OnPicture(12000, &rate));
    EXPECT_NEAR(rate, 5 * 1000.0 / 10000, 0.001) << "four pictures and this one over 10 s";
}

}  // namespace
}  // namespace pavix

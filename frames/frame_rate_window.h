#pragma once

#include <cstdint>

namespace pavix {

// The frame rate shown in the status bar: pictures counted over windows of
// at least one second. The first picture opens the first window; each
// later picture counts in the window it arrives in, and the one that
// arrives a second or more after the window opened closes it with a
// reading and opens the next.
class CFrameRateWindow {
public:
    static constexpr std::uint32_t kWindowMs = 1000;

    // A picture arrived at `nowMs` (a millisecond tick count; its wrap does
    // no harm). True, with the pictures per second in *rate, when it closed
    // a window.
    bool OnPicture(std::uint32_t nowMs, float* rate);

private:
    bool open_ = false;
    std::uint32_t startMs_ = 0;
    std::int32_t pictures_ = 0;
};

}  // namespace pavix

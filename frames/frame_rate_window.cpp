#include "frames/frame_rate_window.h"

namespace pavix {

bool CFrameRateWindow::OnPicture(std::uint32_t nowMs, float* rate) {
    if (!open_) {
        // The window starts with the first picture, not at some earlier
        // moment: the first reading covers pictures only.
        open_ = true;
        startMs_ = nowMs;
        pictures_ = 0;
        return false;
    }
    ++pictures_;
    const std::uint32_t elapsed = nowMs - startMs_;  // unsigned: the wrap does no harm
    if (elapsed < kWindowMs) return false;
    *rate = static_cast<float>(pictures_ * 1000.0 / elapsed);
    startMs_ = nowMs;
    pictures_ = 0;
    return true;
}

}  // namespace pavix

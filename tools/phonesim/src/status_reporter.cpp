#include "status_reporter.h"

#include <cinttypes>
#include <cstdio>

namespace phonesim {

void StatusReporter::OnConnected(Clock::time_point now) {
  interval_start_ = now;
  interval_frames_ = 0;
  interval_bytes_ = 0;
}

void StatusReporter::Tick(Clock::time_point now) {
  const double seconds = std::chrono::duration<double>(now - interval_start_).count();
  if (seconds < 1.0) return;
  if (!quiet_) {
    std::fprintf(stderr, "phonesim: %" PRIu64 " frames sent, %.1f fps, %.0f bytes/s\n", frames_,
                 interval_frames_ / seconds, interval_bytes_ / seconds);
  }
  // Keep the lines on a one-second grid so that a frame sent right at a
  // boundary is not counted in two neighbouring lines' time.
  interval_start_ = seconds < 2.0 ? interval_start_ + std::chrono::seconds(1) : now;
  interval_frames_ = 0;
  interval_bytes_ = 0;
}

}  // namespace phonesim

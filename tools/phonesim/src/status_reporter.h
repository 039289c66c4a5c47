// The once-a-second status line on stderr.
#pragma once

#include <chrono>
#include <cstdint>

namespace phonesim {

class StatusReporter {
 public:
  using Clock = std::chrono::steady_clock;

  explicit StatusReporter(bool quiet) : quiet_(quiet) {}

  void OnConnected(Clock::time_point now);
  void OnFrameSent(uint64_t bytes) {
    ++frames_;
    ++interval_frames_;
    interval_bytes_ += bytes;
  }
  // Prints a line when a second or more went by since the last one.
  void Tick(Clock::time_point now);

 private:
  bool quiet_;
  uint64_t frames_ = 0;
  uint64_t interval_frames_ = 0;
  uint64_t interval_bytes_ = 0;
  Clock::time_point interval_start_{};
};

}  // namespace phonesim

// Accepts one client at a time and streams frame packets to it, with the
// faults the options ask for.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "frame_source.h"
#include "ipv4_endpoint.h"
#include "options.h"
#include "status_reporter.h"
#include "stream_faults.h"

namespace phonesim {

// The 8-byte header of a frame packet carrying `payload_size` bytes.
void AppendPacketHeader(size_t payload_size, std::vector<uint8_t>* out);

class StreamServer {
 public:
  // `source` and `stop` must outlive the server. Setting *stop ends Run()
  // within about 100 ms.
  StreamServer(const Options& options, FrameSource* source, const std::atomic<bool>* stop);
  ~StreamServer();
  StreamServer(const StreamServer&) = delete;
  StreamServer& operator=(const StreamServer&) = delete;

  bool Listen(std::string* error);
  Ipv4Endpoint endpoint() const { return endpoint_; }

  // Serves clients until stopped, until the first connection ends with
  // --once, or until --frames-total frames went out. False with `error` when
  // it had to stop for another reason (no frame could be produced, accept
  // failed).
  bool Run(std::string* error);

  uint64_t frames_sent() const { return frames_sent_; }

 private:
  using Clock = std::chrono::steady_clock;
  enum class Outcome { kOk, kClientGone, kClosedAfter, kFinished, kStopped, kFailed };

  static const char* Describe(Outcome outcome);
  Outcome Serve(int fd, std::string* error);
  Outcome SendAll(int fd, const uint8_t* data, size_t size);
  Outcome WaitUntil(int fd, Clock::time_point deadline);
  Outcome Drain(int fd);
  void CloseGracefully(int fd);
  bool BuildPacket(std::string* error);
  bool Stopping() const { return stop_->load(std::memory_order_relaxed); }
  bool ReachedTotal() const {
    return options_.frames_total != 0 && frames_sent_ >= options_.frames_total;
  }

  const Options options_;
  FrameSource* const source_;
  const std::atomic<bool>* const stop_;
  int listen_fd_ = -1;
  Ipv4Endpoint endpoint_;
  uint64_t frames_sent_ = 0;
  StreamFaults faults_;
  StatusReporter status_;
  std::vector<uint8_t> jpeg_;
  std::vector<uint8_t> packet_;
};

}  // namespace phonesim

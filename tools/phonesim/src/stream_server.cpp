#include "stream_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace phonesim {
namespace {

constexpr auto kPollSlice = std::chrono::milliseconds(100);
constexpr auto kCloseGrace = std::chrono::seconds(1);
constexpr uint64_t kFaultSeedUser = 1;

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Waits up to `timeout` for `events` on fd; returns poll's revents, 0 on
// timeout or interruption, -1 on error.
int PollFor(int fd, short events, std::chrono::nanoseconds timeout) {
  pollfd pfd{fd, events, 0};
  if (timeout.count() < 0) timeout = std::chrono::nanoseconds(0);
  timespec ts;
  ts.tv_sec = static_cast<time_t>(timeout.count() / 1000000000);
  ts.tv_nsec = static_cast<long>(timeout.count() % 1000000000);
  const int r = ppoll(&pfd, 1, &ts, nullptr);
  if (r < 0) return errno == EINTR ? 0 : -1;
  return r == 0 ? 0 : pfd.revents;
}

}  // namespace

const char* StreamServer::Describe(Outcome outcome) {
  switch (outcome) {
    case Outcome::kClientGone: return "client went away";
    case Outcome::kClosedAfter: return "closed after --close-after frames";
    case Outcome::kFinished: return "--frames-total reached";
    case Outcome::kStopped: return "stopping";
    case Outcome::kFailed: return "failed";
    case Outcome::kOk: break;
  }
  return "ended";
}

void AppendPacketHeader(size_t payload_size, std::vector<uint8_t>* out) {
  const uint8_t header[8] = {'R',
                             'O',
                             'V',
                             'O',
                             'd',
                             static_cast<uint8_t>(payload_size >> 16),
                             static_cast<uint8_t>(payload_size >> 8),
                             static_cast<uint8_t>(payload_size)};
  out->insert(out->end(), header, header + sizeof header);
}

StreamServer::StreamServer(const Options& options, FrameSource* source,
                           const std::atomic<bool>* stop)
    : options_(options),
      source_(source),
      stop_(stop),
      endpoint_(options.listen),
      faults_(DeriveSeed(options.seed, kFaultSeedUser)),
      status_(options.quiet) {}

StreamServer::~StreamServer() {
  if (listen_fd_ >= 0) close(listen_fd_);
}

bool StreamServer::Listen(std::string* error) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) {
    *error = Errno("socket");
    return false;
  }
  const int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr = ToSockaddr(options_.listen);
  if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    *error = Errno(("bind " + FormatIpv4Endpoint(options_.listen)).c_str());
    return false;
  }
  if (listen(listen_fd_, 4) != 0) {
    *error = Errno("listen");
    return false;
  }
  socklen_t len = sizeof addr;
  if (getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    *error = Errno("getsockname");
    return false;
  }
  endpoint_ = FromSockaddr(addr);
  return true;
}

bool StreamServer::Run(std::string* error) {
  if (listen_fd_ < 0) {
    *error = "not listening";
    return false;
  }
  while (!Stopping() && !ReachedTotal()) {
    const int revents = PollFor(listen_fd_, POLLIN, kPollSlice);
    if (revents < 0) {
      *error = Errno("poll");
      return false;
    }
    if (revents == 0) continue;
    sockaddr_in peer;
    socklen_t peer_len = sizeof peer;
    const int fd = accept4(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &peer_len,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED ||
          errno == EPROTO) {
        continue;
      }
      *error = Errno("accept");
      return false;
    }
    if (!options_.quiet) {
      std::fprintf(stderr, "phonesim: client %s connected\n",
                   FormatIpv4Endpoint(FromSockaddr(peer)).c_str());
    }
    const uint64_t before = frames_sent_;
    const Outcome outcome = Serve(fd, error);
    if (outcome == Outcome::kClosedAfter || outcome == Outcome::kFinished) {
      CloseGracefully(fd);
    } else {
      close(fd);
    }
    if (!options_.quiet) {
      std::fprintf(stderr, "phonesim: connection ended (%s) after %" PRIu64 " frames\n",
                   Describe(outcome), frames_sent_ - before);
    }
    if (outcome == Outcome::kFailed) return false;
    if (options_.once) break;
  }
  return true;
}

bool StreamServer::BuildPacket(std::string* error) {
  if (!source_->Frame(frames_sent_, &jpeg_, error)) return false;
  if (jpeg_.size() > kMaxPayload) {
    *error = "frame of " + std::to_string(jpeg_.size()) + " bytes is too large for a packet";
    return false;
  }
  packet_.clear();
  AppendPacketHeader(jpeg_.size(), &packet_);
  packet_.insert(packet_.end(), jpeg_.begin(), jpeg_.end());
  if (options_.garbage) {
    const std::vector<uint8_t> garbage = faults_.NextGarbage(jpeg_.data(), jpeg_.size());
    packet_.insert(packet_.end(), garbage.begin(), garbage.end());
  }
  return true;
}

StreamServer::Outcome StreamServer::Serve(int fd, std::string* error) {
  if (options_.split_writes) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  status_.OnConnected(Clock::now());
  const bool paced = options_.fps > 0.0;
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(paced ? 1.0 / options_.fps : 0.0));
  Clock::time_point next_due = Clock::now();
  uint64_t connection_frames = 0;
  bool stalled = false;

  for (;;) {
    if (Stopping()) return Outcome::kStopped;
    if (ReachedTotal()) return Outcome::kFinished;
    if (options_.close_after != 0 && connection_frames >= options_.close_after) {
      return Outcome::kClosedAfter;
    }
    if (options_.stall_seconds > 0.0 && !stalled && connection_frames == options_.stall_after) {
      stalled = true;
      if (!options_.quiet) {
        std::fprintf(stderr, "phonesim: stalling for %.3g s\n", options_.stall_seconds);
      }
      const auto stall = std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(options_.stall_seconds));
      const Outcome waited = WaitUntil(fd, Clock::now() + stall);
      if (waited != Outcome::kOk) return waited;
      next_due = Clock::now();
    }
    const Outcome waited = paced ? WaitUntil(fd, next_due) : Drain(fd);
    if (waited != Outcome::kOk) return waited;
    const Clock::time_point now = Clock::now();
    status_.Tick(now);  // at the moment a frame is due, so each line covers whole periods

    if (!BuildPacket(error)) return Outcome::kFailed;
    const Outcome sent = SendAll(fd, packet_.data(), packet_.size());
    if (sent != Outcome::kOk) return sent;
    ++frames_sent_;
    ++connection_frames;
    status_.OnFrameSent(packet_.size());
    if (paced) {
      next_due += period;
      if (next_due + period < now) next_due = now;  // fell behind: do not burst
    }
  }
}

StreamServer::Outcome StreamServer::SendAll(int fd, const uint8_t* data, size_t size) {
  size_t offset = 0;
  while (offset < size) {
    if (Stopping()) return Outcome::kStopped;
    const size_t remaining = size - offset;
    const size_t chunk = options_.split_writes ? faults_.NextChunk(remaining) : remaining;
    const ssize_t n = send(fd, data + offset, chunk, MSG_NOSIGNAL);
    if (n > 0) {
      offset += static_cast<size_t>(n);
      if (options_.split_writes) {
        const int pause = faults_.NextPauseMicros();
        if (pause > 0) {
          const Outcome waited = WaitUntil(fd, Clock::now() + std::chrono::microseconds(pause));
          if (waited != Outcome::kOk) return waited;
        }
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const int revents = PollFor(fd, POLLOUT | POLLIN, kPollSlice);
      if (revents < 0 || (revents & (POLLERR | POLLNVAL))) return Outcome::kClientGone;
      if (revents & (POLLIN | POLLHUP)) {
        const Outcome drained = Drain(fd);
        if (drained != Outcome::kOk) return drained;
      }
      status_.Tick(Clock::now());
      continue;
    }
    return Outcome::kClientGone;  // EPIPE, ECONNRESET and the like
  }
  return Outcome::kOk;
}

StreamServer::Outcome StreamServer::WaitUntil(int fd, Clock::time_point deadline) {
  for (;;) {
    if (Stopping()) return Outcome::kStopped;
    const Clock::time_point now = Clock::now();
    status_.Tick(now);
    if (now >= deadline) return Outcome::kOk;
    const auto left = std::min<Clock::duration>(deadline - now, kPollSlice);
    const int revents = PollFor(fd, POLLIN, left);
    if (revents < 0) return Outcome::kClientGone;
    if (revents != 0) {
      const Outcome drained = Drain(fd);
      if (drained != Outcome::kOk) return drained;
    }
  }
}

// Reads and drops whatever the client sent; notices when it has gone.
StreamServer::Outcome StreamServer::Drain(int fd) {
  uint8_t buffer[4096];
  for (int i = 0; i < 64; ++i) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n == 0) return Outcome::kClientGone;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Outcome::kOk;
    return Outcome::kClientGone;
  }
  return Outcome::kOk;
}

// Lets the client read everything before the connection goes: closing with
// unread input pending would reset it and could drop the last packets.
void StreamServer::CloseGracefully(int fd) {
  shutdown(fd, SHUT_WR);
  const Clock::time_point deadline = Clock::now() + kCloseGrace;
  while (!Stopping() && Clock::now() < deadline) {
    const int revents = PollFor(fd, POLLIN, kPollSlice);
    if (revents < 0) break;
    if (revents != 0 && Drain(fd) != Outcome::kOk) break;
  }
  close(fd);
}

}  // namespace phonesim

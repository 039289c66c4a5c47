// phonesim: stands in for the phone app, streaming frame packets over TCP.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cinttypes>
#include <cstdio>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bad_notices.h"

#include "frame_source.h"
#include "notice_payload.h"
#include "notice_sender.h"
#include "options.h"
#include "stream_server.h"

namespace {

std::atomic<bool> g_stop{false};

void OnStopSignal(int) { g_stop.store(true); }

void InstallSignalHandlers() {
  std::signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: blocking calls return early
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "phonesim: %s\n", message.c_str());
  return code;
}

// Sleeps in short steps, so that a stop signal ends it early; false then.
bool PauseMs(uint64_t ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!g_stop.load()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        end - now, std::chrono::milliseconds(20)));
  }
  return false;
}

// The first notice (or malformed datagram) of a series: sent at once.
bool SendFirstNotice(const phonesim::Options& options, const phonesim::Ipv4Endpoint& endpoint,
                     std::string* error);

// Sends the notice datagrams: the good notice --notice-repeat times, or
// --bad-notices malformed ones, --notice-interval apart, starting with
// number `first`.
bool SendNotices(const phonesim::Options& options, const phonesim::Ipv4Endpoint& endpoint,
                 uint64_t first, std::string* error) {
  phonesim::NoticeContent content;
  content.endpoint = endpoint;
  content.port2 = options.notice_port2_given ? options.notice_port2
                                             : static_cast<uint16_t>(endpoint.port + 1);
  std::string payload = options.notice_text;
  if (options.bad_notices == 0 && !options.notice_text_given &&
      !phonesim::BuildNoticePayload(options.notice_form, content, &payload, error)) {
    return false;
  }
  std::mt19937_64 rng(options.seed);
  const uint64_t count = options.bad_notices > 0 ? options.bad_notices : options.notice_repeat;
  for (uint64_t i = 0; i < count; ++i) {
    // The random parts do not depend on where a series was split.
    const std::string datagram =
        options.bad_notices > 0 ? phonesim::BuildBadNotice(i, content, &rng) : payload;
    if (i < first) continue;
    if (i > first && !PauseMs(options.notice_interval_ms)) return true;
    if (!phonesim::SendNotice(options.notice_to, datagram, error, options.notice_from)) {
      return false;
    }
  }
  if (!options.quiet) {
    if (options.bad_notices > 0) {
      std::fprintf(stderr, "phonesim: %" PRIu64 " malformed notices sent to %s\n",
                   count - first, phonesim::FormatIpv4Endpoint(options.notice_to).c_str());
    } else {
      std::fprintf(stderr, "phonesim: notice sent to %s (%" PRIu64 " times): %s\n",
                   phonesim::FormatIpv4Endpoint(options.notice_to).c_str(), count - first,
                   phonesim::DescribeNoticePayload(options.notice_form, payload).c_str());
    }
  }
  return true;
}

bool SendFirstNotice(const phonesim::Options& options, const phonesim::Ipv4Endpoint& endpoint,
                     std::string* error) {
  phonesim::Options one = options;
  one.notice_repeat = 1;
  one.bad_notices = options.bad_notices > 0 ? 1 : 0;
  return SendNotices(one, endpoint, 0, error);
}

}  // namespace

int main(int argc, char** argv) {
  phonesim::Options options;
  std::string message;
  const std::vector<std::string> args(argv + 1, argv + argc);
  switch (phonesim::ParseOptions(args, &options, &message)) {
    case phonesim::ParseOutcome::kHelp:
      std::fputs(phonesim::HelpText().c_str(), stdout);
      return 0;
    case phonesim::ParseOutcome::kError:
      return Fail(message, 2);
    case phonesim::ParseOutcome::kRun:
      break;
  }
  InstallSignalHandlers();

  if (options.notice && !options.notice_text_given) {
    // Refuse an unavailable form before anything else happens.
    std::string probe;
    if (!phonesim::BuildNoticePayload(options.notice_form, phonesim::NoticeContent{}, &probe,
                                      &message)) {
      return Fail(message, 2);
    }
  }
  if (!options.seed_given) {
    options.seed = (uint64_t{std::random_device{}()} << 32) ^
                   static_cast<uint64_t>(
                       std::chrono::steady_clock::now().time_since_epoch().count());
  }
  if (options.notice_only) {
    return SendNotices(options, options.listen, 0, &message) ? 0 : Fail(message, 1);
  }

  if (!options.quiet) std::fprintf(stderr, "phonesim: seed %" PRIu64 "\n", options.seed);

  std::unique_ptr<phonesim::FrameSource> source = phonesim::MakeFrameSource(options, &message);
  if (!source) return Fail(message, 1);

  phonesim::StreamServer server(options, source.get(), &g_stop);
  if (!server.Listen(&message)) return Fail(message, 1);
  std::fprintf(stderr, "phonesim: listening on %s\n",
               phonesim::FormatIpv4Endpoint(server.endpoint()).c_str());
  // The first notice before serving; the rest of a series while serving.
  if (options.notice && !SendFirstNotice(options, server.endpoint(), &message)) {
    return Fail(message, 1);
  }
  std::thread more_notices;
  const uint64_t series = options.bad_notices > 0 ? options.bad_notices : options.notice_repeat;
  if (options.notice && series > 1) {
    more_notices = std::thread([&options, endpoint = server.endpoint()] {
      std::string error;
      if (!SendNotices(options, endpoint, 1, &error)) {
        std::fprintf(stderr, "phonesim: %s\n", error.c_str());
      }
    });
  }
  const bool served = server.Run(&message);
  g_stop.store(true);
  if (more_notices.joinable()) more_notices.join();
  if (!served) return Fail(message, 1);
  if (!options.quiet) {
    std::fprintf(stderr, "phonesim: done, %" PRIu64 " frames sent\n", server.frames_sent());
  }
  return 0;
}

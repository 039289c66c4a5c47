// phonesim: stands in for the phone app, streaming frame packets over TCP.
#include <atomic>
#include <csignal>
#include <cinttypes>
#include <cstdio>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

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

bool SendNoticeFor(const phonesim::Options& options, const phonesim::Ipv4Endpoint& endpoint,
                   std::string* error) {
  std::string payload = options.notice_text;
  if (!options.notice_text_given) {
    phonesim::NoticeContent content;
    content.endpoint = endpoint;
    content.port2 = options.notice_port2_given ? options.notice_port2
                                               : static_cast<uint16_t>(endpoint.port + 1);
    if (!phonesim::BuildNoticePayload(options.notice_form, content, &payload, error)) {
      return false;
    }
  }
  if (!phonesim::SendNotice(options.notice_to, payload, error)) return false;
  if (!options.quiet) {
    std::fprintf(stderr, "phonesim: notice sent to %s: %s\n",
                 phonesim::FormatIpv4Endpoint(options.notice_to).c_str(),
                 phonesim::DescribeNoticePayload(options.notice_form, payload).c_str());
  }
  return true;
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
  if (options.notice_only) {
    return SendNoticeFor(options, options.listen, &message) ? 0 : Fail(message, 1);
  }

  if (!options.seed_given) {
    options.seed = (uint64_t{std::random_device{}()} << 32) ^
                   static_cast<uint64_t>(
                       std::chrono::steady_clock::now().time_since_epoch().count());
  }
  if (!options.quiet) std::fprintf(stderr, "phonesim: seed %" PRIu64 "\n", options.seed);

  std::unique_ptr<phonesim::FrameSource> source = phonesim::MakeFrameSource(options, &message);
  if (!source) return Fail(message, 1);

  phonesim::StreamServer server(options, source.get(), &g_stop);
  if (!server.Listen(&message)) return Fail(message, 1);
  std::fprintf(stderr, "phonesim: listening on %s\n",
               phonesim::FormatIpv4Endpoint(server.endpoint()).c_str());
  if (options.notice && !SendNoticeFor(options, server.endpoint(), &message)) {
    return Fail(message, 1);
  }
  if (!server.Run(&message)) return Fail(message, 1);
  if (!options.quiet) {
    std::fprintf(stderr, "phonesim: done, %" PRIu64 " frames sent\n", server.frames_sent());
  }
  return 0;
}

// Command line of the phone simulator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ipv4_endpoint.h"

namespace phonesim {

enum class NoticeForm { kText, kEncoded };
enum class Content { kPattern, kCamera };

struct Options {
  Ipv4Endpoint listen{0x7F000001u, 1234};
  int width = 640;
  int height = 480;
  int quality = 80;
  double fps = 30.0;          // 0: as fast as the socket takes them
  uint64_t frames_total = 0;  // 0: no limit
  bool once = false;
  std::string jpeg_dir;       // empty: the test pattern
  Content content = Content::kPattern;
  uint64_t loop = 0;          // 0: every frame made anew

  // Faults.
  bool split_writes = false;
  uint64_t corrupt_every = 0;  // 0: none
  bool garbage = false;
  uint64_t close_after = 0;    // 0: never
  double stall_seconds = 0.0;  // 0: no stall
  uint64_t stall_after = 30;
  uint64_t seed = 0;
  bool seed_given = false;

  // UDP notice.
  bool notice = false;
  Ipv4Endpoint notice_to;
  uint32_t notice_from = 0;  // 0: the address the system picks
  bool notice_only = false;
  NoticeForm notice_form = NoticeForm::kText;
  bool notice_text_given = false;
  std::string notice_text;
  bool notice_port2_given = false;
  uint16_t notice_port2 = 0;
  uint64_t notice_repeat = 1;         // datagrams in all
  uint64_t notice_interval_ms = 1000;  // between two of them
  uint64_t bad_notices = 0;            // 0: the good notice; else this many malformed ones

  bool quiet = false;
};

enum class ParseOutcome { kRun, kHelp, kError };

// Parses the arguments after the program name. On kError `message` says what
// is wrong.
ParseOutcome ParseOptions(const std::vector<std::string>& args, Options* out,
                          std::string* message);

std::string HelpText();

}  // namespace phonesim

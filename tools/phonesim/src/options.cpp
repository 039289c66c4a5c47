#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

#include "notice_sender.h"

namespace phonesim {
namespace {

constexpr int kMinSide = 32;
constexpr int kMaxSide = 8192;

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t* out) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *out = value;
  return true;
}

bool ParseDouble(const std::string& text, double min, double max, double* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value) || value < min ||
      value > max) {
    return false;
  }
  *out = value;
  return true;
}

bool ParseSize(const std::string& text, int* width, int* height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  uint64_t w = 0, h = 0;
  if (!ParseUnsigned(text.substr(0, x), kMaxSide, &w) ||
      !ParseUnsigned(text.substr(x + 1), kMaxSide, &h) || w < kMinSide || h < kMinSide) {
    return false;
  }
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  return true;
}

}  // namespace

std::string HelpText() {
  return R"(Usage: phonesim [options]

Stands in for the phone app: listens on TCP and streams frame packets
("ROVOd", 3-byte big-endian length, one JPEG) to one client at a time,
accepting the next client after the current one goes away.

Source and stream:
  --listen ADDR:PORT    TCP address to listen on (default 127.0.0.1:1234;
                        port 0 picks a free one, printed when listening)
  --fps R               frames per second, fractions allowed (default 30);
                        0 sends as fast as the socket takes them
  --size WxH            test pattern size (default 640x480, 32..8192 a side)
  --quality Q           JPEG quality 1..100 (default 80)
  --content C           pattern (default): flat colour fields; camera: the
                        same pattern in a moving textured scene with sensor
                        noise, whose JPEGs weigh like a phone's (40 to 120
                        KB at 640x480, 1280x720 and 1920x1080, quality 80)
  --loop N              make frames 0..N-1 once and send them over and over
                        (frame N shows 0 again): the simulator then costs
                        next to no CPU, for throughput measurements
  --jpeg-dir DIR        send the .jpg/.jpeg files of DIR in name order,
                        looping, instead of the test pattern
  --frames-total T      exit after T frames in all
  --once                exit when the first connection ends

Faults:
  --split-writes        write each packet in chunks of random size
                        (1 byte to 4 KiB), pausing briefly now and then
  --corrupt-every K     damage the JPEG of every K-th frame (frames K, 2K, ...
                        counting from 1): entropy data overwritten or cut
                        short; the length field always matches what is sent
  --garbage             put random bytes (never "ROVOd") after each packet
  --close-after M       close each connection after M frames, then accept
                        again
  --stall S             on each connection, after --stall-after frames, send
                        nothing for S seconds (fractions allowed) while
                        keeping the connection open
  --stall-after F       frames before the stall (default 30)
  --seed N              seed of the fault randomness (default: from the
                        clock, printed at start)

UDP notice:
  --notice ADDR:PORT    send one UDP datagram announcing the listen address,
                        then serve as usual. ADDR must be in 127.0.0.0/8 or
                        the group 233.0.0.1 (sent with loop on and TTL 1,
                        out of the loopback interface)
  --notice-only         send the notice and exit without listening
  --notice-from ADDR    send the notices from ADDR (in 127.0.0.0/8), as a
                        phone at ADDR would (default: the address the system
                        picks, 127.0.0.1 on loopback)
  --notice-form F       text (default): ppp:1:<port>:<port2>:<IP as 8 hex
                        digits>; encoded: the ip_notice message (protobuf)
  --notice-port2 P      second port in the notice (default listen port + 1)
  --notice-text TEXT    send TEXT as the notice instead
  --notice-repeat N     send the notice N times (default 1), the first at
                        once; while serving, the others go out meanwhile
  --notice-interval MS  milliseconds between two notices (default 1000)
  --bad-notices N       instead of the notice, N malformed datagrams that
                        each aim at the listen address in a broken way
                        (random, empty, too long, zero byte, four fields,
                        odd or non-hex codes, 40-character address, cut or
                        incomplete encodings, ...), --notice-interval apart

Other:
  --quiet               no status lines (the "listening on" line still
                        appears)
  --help                this text

Frames are numbered from 0 across all connections; the test pattern shows
the number, its orientation and colour order (layout: pattern/test_pattern.h
in the sources). --notice-only announces the --listen address as given.
Options taking a value accept "--name value" and "--name=value".
Ctrl-C or SIGTERM ends the program cleanly.
Exit status: 0 normal end, 1 runtime failure, 2 bad command line.
)";
}

ParseOutcome ParseOptions(const std::vector<std::string>& args, Options* out,
                          std::string* message) {
  Options o;
  using Handler = std::function<bool(const std::string&)>;
  const std::map<std::string, Handler> with_value = {
      {"--listen", [&](const std::string& v) { return ParseIpv4Endpoint(v, &o.listen); }},
      {"--fps", [&](const std::string& v) { return ParseDouble(v, 0.0, 10000.0, &o.fps); }},
      {"--size", [&](const std::string& v) { return ParseSize(v, &o.width, &o.height); }},
      {"--quality",
       [&](const std::string& v) {
         uint64_t q = 0;
         if (!ParseUnsigned(v, 100, &q) || q < 1) return false;
         o.quality = static_cast<int>(q);
         return true;
       }},
      {"--content",
       [&](const std::string& v) {
         if (v == "pattern") {
           o.content = Content::kPattern;
         } else if (v == "camera") {
           o.content = Content::kCamera;
         } else {
           return false;
         }
         return true;
       }},
      {"--loop", [&](const std::string& v) { return ParseUnsigned(v, 100000, &o.loop) && o.loop > 0; }},
      {"--jpeg-dir",
       [&](const std::string& v) {
         o.jpeg_dir = v;
         return !v.empty();
       }},
      {"--frames-total",
       [&](const std::string& v) { return ParseUnsigned(v, UINT64_MAX, &o.frames_total) && o.frames_total > 0; }},
      {"--corrupt-every",
       [&](const std::string& v) { return ParseUnsigned(v, UINT64_MAX, &o.corrupt_every) && o.corrupt_every > 0; }},
      {"--close-after",
       [&](const std::string& v) { return ParseUnsigned(v, UINT64_MAX, &o.close_after) && o.close_after > 0; }},
      {"--stall", [&](const std::string& v) { return ParseDouble(v, 0.0, 86400.0, &o.stall_seconds); }},
      {"--stall-after", [&](const std::string& v) { return ParseUnsigned(v, UINT64_MAX, &o.stall_after); }},
      {"--seed",
       [&](const std::string& v) {
         o.seed_given = true;
         return ParseUnsigned(v, UINT64_MAX, &o.seed);
       }},
      {"--notice",
       [&](const std::string& v) {
         o.notice = true;
         return ParseIpv4Endpoint(v, &o.notice_to) && o.notice_to.port != 0;
       }},
      {"--notice-from",
       [&](const std::string& v) {
         Ipv4Endpoint from;
         if (!ParseIpv4Endpoint(v + ":0", &from) || (from.address >> 24) != 127) return false;
         o.notice_from = from.address;
         return true;
       }},
      {"--notice-form",
       [&](const std::string& v) {
         if (v == "text") {
           o.notice_form = NoticeForm::kText;
         } else if (v == "encoded") {
           o.notice_form = NoticeForm::kEncoded;
         } else {
           return false;
         }
         return true;
       }},
      {"--notice-port2",
       [&](const std::string& v) {
         uint64_t p = 0;
         if (!ParseUnsigned(v, 65535, &p)) return false;
         o.notice_port2 = static_cast<uint16_t>(p);
         o.notice_port2_given = true;
         return true;
       }},
      {"--notice-repeat",
       [&](const std::string& v) {
         return ParseUnsigned(v, 1000000, &o.notice_repeat) && o.notice_repeat > 0;
       }},
      {"--notice-interval",
       [&](const std::string& v) { return ParseUnsigned(v, 3600000, &o.notice_interval_ms); }},
      {"--bad-notices",
       [&](const std::string& v) {
         return ParseUnsigned(v, 1000000, &o.bad_notices) && o.bad_notices > 0;
       }},
      {"--notice-text",
       [&](const std::string& v) {
         o.notice_text = v;
         o.notice_text_given = true;
         return true;
       }},
  };
  const std::map<std::string, bool*> flags = {
      {"--once", &o.once},           {"--split-writes", &o.split_writes},
      {"--garbage", &o.garbage},     {"--notice-only", &o.notice_only},
      {"--quiet", &o.quiet},
  };

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") return ParseOutcome::kHelp;
    std::string name = arg;
    std::string value;
    bool inline_value = false;
    const size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inline_value = true;
    }
    if (auto f = flags.find(name); f != flags.end() && !inline_value) {
      *f->second = true;
      continue;
    }
    auto h = with_value.find(name);
    if (h == with_value.end()) {
      *message = "unknown option " + arg + " (see --help)";
      return ParseOutcome::kError;
    }
    if (!inline_value) {
      if (i + 1 >= args.size()) {
        *message = name + " needs a value (see --help)";
        return ParseOutcome::kError;
      }
      value = args[++i];
    }
    if (!h->second(value)) {
      *message = "bad value for " + name + ": '" + value + "' (see --help)";
      return ParseOutcome::kError;
    }
  }

  if (o.notice_only && !o.notice) {
    *message = "--notice-only needs --notice ADDR:PORT";
    return ParseOutcome::kError;
  }
  if (o.notice && !IsAllowedNoticeDestination(o.notice_to.address)) {
    *message = "refusing to send the notice to " + FormatIpv4Address(o.notice_to.address) +
               ": only 127.0.0.0/8 and 233.0.0.1 are allowed";
    return ParseOutcome::kError;
  }
  if ((o.notice_repeat > 1 || o.bad_notices > 0) && !o.notice) {
    *message = "--notice-repeat and --bad-notices need --notice ADDR:PORT";
    return ParseOutcome::kError;
  }
  if (o.notice_text_given && o.notice_form != NoticeForm::kText) {
    *message = "--notice-text goes with --notice-form text only";
    return ParseOutcome::kError;
  }
  *out = o;
  return ParseOutcome::kRun;
}

}  // namespace phonesim

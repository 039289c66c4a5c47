#include "bad_notices.h"

#include <cstdio>

namespace phonesim {
namespace {

// The good text notice for `content` with its hex code replaced.
std::string TextWithCode(const NoticeContent& content, const std::string& code) {
  char buffer[64];
  snprintf(buffer, sizeof buffer, "ppp:1:%u:%u:", static_cast<unsigned>(content.endpoint.port),
           static_cast<unsigned>(content.port2));
  return buffer + code;
}

std::string Hex8(uint32_t value) {
  char buffer[16];
  snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(value));
  return buffer;
}

// A good text notice whose first 260 bytes still announce the endpoint:
// a receiver that took a cut datagram would move there.
std::string PaddedText(const NoticeContent& content, size_t size) {
  std::string text = BuildTextNotice(content) + ":";
  while (text.size() < size) text.push_back('x');
  return text;
}

std::string RandomBytes(std::mt19937_64* rng, size_t size) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>((*rng)() & 0xFF);
  return bytes;
}

std::string RandomText(std::mt19937_64* rng, size_t size, const char* alphabet) {
  const std::string letters = alphabet;
  std::string text;
  for (size_t i = 0; i < size; ++i) text.push_back(letters[(*rng)() % letters.size()]);
  return text;
}

void AppendVarint(uint32_t value, std::string* out) {
  while (value >= 0x80) {
    out->push_back(static_cast<char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  out->push_back(static_cast<char>(value));
}

// An ip_notice with the given fields (a negative number leaves a field out).
std::string Encoded(int64_t field1, const std::string& ip, int64_t port, int64_t port2) {
  std::string bytes;
  if (field1 >= 0) {
    bytes.push_back(0x08);
    AppendVarint(static_cast<uint32_t>(field1), &bytes);
  }
  bytes.push_back(0x12);
  AppendVarint(static_cast<uint32_t>(ip.size()), &bytes);
  bytes += ip;
  if (port >= 0) {
    bytes.push_back(0x18);
    AppendVarint(static_cast<uint32_t>(port), &bytes);
  }
  if (port2 >= 0) {
    bytes.push_back(0x20);
    AppendVarint(static_cast<uint32_t>(port2), &bytes);
  }
  return bytes;
}

constexpr const char* kNames[kBadNoticeKinds] = {
    "random bytes",      "empty",           "261 bytes",         "long",
    "zero byte first",   "four fields",     "7 hex digits",      "9 hex digits",
    "non-hex code",      "40-char address", "encoded no port2",  "encoded field 1 zero",
    "no ppp:",           "encoded cut",     "few random fields", "colons only",
};

}  // namespace

const char* BadNoticeKindName(uint64_t index) { return kNames[index % kBadNoticeKinds]; }

std::string BuildBadNotice(uint64_t index, const NoticeContent& content, std::mt19937_64* rng) {
  const uint32_t address = content.endpoint.address;
  const std::string code = Hex8(address);
  const std::string ip = FormatIpv4Address(address);
  const int64_t port = content.endpoint.port;
  const int64_t port2 = content.port2;
  switch (index % kBadNoticeKinds) {
    case 0:
      return RandomBytes(rng, 1 + (*rng)() % 260);
    case 1:
      return std::string();
    case 2:
      return PaddedText(content, 261);
    case 3:
      return PaddedText(content, 262 + (*rng)() % 1200);
    case 4:
      return std::string(1, '\0') + BuildTextNotice(content);
    case 5: {
      char buffer[64];
      snprintf(buffer, sizeof buffer, "ppp:1:%u:%u", static_cast<unsigned>(port),
               static_cast<unsigned>(port2));
      return buffer;
    }
    case 6:
      return TextWithCode(content, code.substr(0, 7));
    case 7:
      // Its first eight digits are the good code.
      return TextWithCode(content, code + "0");
    case 8: {
      // '?' counts 15 by digit arithmetic, as 'F' does.
      std::string odd = code;
      for (char& c : odd) {
        if (c == 'F') {
          c = '?';
          return TextWithCode(content, odd);
        }
      }
      odd[0] = ':';  // counts as 'A'
      return TextWithCode(content, odd);
    }
    case 9: {
      // A dotted address with leading zeros that still reads as the good
      // one, stretched to 40 characters.
      std::string long_ip = ip;
      while (long_ip.size() < 40) long_ip.insert(0, "0");
      return Encoded(1, long_ip, port, port2);
    }
    case 10:
      return Encoded(1, ip, port, -1);
    case 11:
      return Encoded(0, ip, port, port2);
    case 12:
      return TextWithCode(content, code).replace(0, 3, "qqq");
    case 13: {
      const std::string whole = Encoded(1, ip, port, port2);
      return whole.substr(0, 1 + (*rng)() % (whole.size() - 1));
    }
    case 14: {
      std::string text = "ppp:";
      const int fields = static_cast<int>((*rng)() % 4);
      for (int i = 0; i < fields; ++i) {
        text += RandomText(rng, 1 + (*rng)() % 8, "0123456789ABCDEFabcdef") + ":";
      }
      return text;
    }
    default:
      return std::string(1 + (*rng)() % 259, ':') + "ppp:";
  }
}

}  // namespace phonesim

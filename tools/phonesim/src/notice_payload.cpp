#include "notice_payload.h"

#include <cstdio>

namespace phonesim {
namespace {

void AppendVarint(uint32_t value, std::string* out) {
  while (value >= 0x80) {
    out->push_back(static_cast<char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  out->push_back(static_cast<char>(value));
}

// Tag byte of a field: number << 3 | wire type (0 varint, 2 length-delimited).
char Tag(int number, int wire_type) { return static_cast<char>(number << 3 | wire_type); }

}  // namespace

std::string BuildTextNotice(const NoticeContent& content) {
  char buffer[64];
  snprintf(buffer, sizeof buffer, "ppp:1:%u:%u:%08X", static_cast<unsigned>(content.endpoint.port),
           static_cast<unsigned>(content.port2), static_cast<unsigned>(content.endpoint.address));
  return buffer;
}

std::string BuildEncodedNotice(const NoticeContent& content) {
  const std::string ip = FormatIpv4Address(content.endpoint.address);
  std::string bytes;
  bytes.push_back(Tag(1, 0));
  AppendVarint(1, &bytes);
  bytes.push_back(Tag(2, 2));
  AppendVarint(static_cast<uint32_t>(ip.size()), &bytes);
  bytes += ip;
  bytes.push_back(Tag(3, 0));
  AppendVarint(content.endpoint.port, &bytes);
  bytes.push_back(Tag(4, 0));
  AppendVarint(content.port2, &bytes);
  return bytes;
}

std::string DescribeNoticePayload(NoticeForm form, const std::string& payload) {
  if (form == NoticeForm::kText) return payload;
  std::string hex;
  for (unsigned char byte : payload) {
    char part[4];
    snprintf(part, sizeof part, hex.empty() ? "%02X" : " %02X", byte);
    hex += part;
  }
  return hex;
}

bool BuildNoticePayload(NoticeForm form, const NoticeContent& content, std::string* payload,
                        std::string* error) {
  switch (form) {
    case NoticeForm::kText:
      *payload = BuildTextNotice(content);
      return true;
    case NoticeForm::kEncoded:
      *payload = BuildEncodedNotice(content);
      return true;
  }
  *error = "unknown notice form";
  return false;
}

}  // namespace phonesim

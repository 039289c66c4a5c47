#include "notice_payload.h"

#include <cstdio>

namespace phonesim {

std::string BuildTextNotice(const NoticeContent& content) {
  char buffer[64];
  snprintf(buffer, sizeof buffer, "ppp:1:%u:%u:%08X", static_cast<unsigned>(content.endpoint.port),
           static_cast<unsigned>(content.port2), static_cast<unsigned>(content.endpoint.address));
  return buffer;
}

bool BuildNoticePayload(NoticeForm form, const NoticeContent& content, std::string* payload,
                        std::string* error) {
  switch (form) {
    case NoticeForm::kText:
      *payload = BuildTextNotice(content);
      return true;
    case NoticeForm::kEncoded:
      *error = "the encoded notice form is not available in this build; use --notice-form text";
      return false;
  }
  *error = "unknown notice form";
  return false;
}

}  // namespace phonesim

// The bytes of the UDP notice that announces where the phone listens.
//
// Each form is one builder function; a new form adds a case in
// BuildNoticePayload and its own builder.
#pragma once

#include <cstdint>
#include <string>

#include "ipv4_endpoint.h"
#include "options.h"

namespace phonesim {

struct NoticeContent {
  Ipv4Endpoint endpoint;  // where the phone accepts the frame stream
  uint16_t port2 = 0;     // the second port announced alongside
};

// "ppp:1:<port>:<port2>:<IP as 8 uppercase hex digits>",
// e.g. "ppp:1:1234:1235:7F000001".
std::string BuildTextNotice(const NoticeContent& content);

// The payload in the chosen form; false with `error` for a form this build
// cannot produce.
bool BuildNoticePayload(NoticeForm form, const NoticeContent& content, std::string* payload,
                        std::string* error);

}  // namespace phonesim

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

// The ip_notice message of the phone app (package rovo_communication),
// encoded as protobuf wire format: field 1 = 1, field 2 = the IP as
// dotted-decimal text, field 3 = port, field 4 = port2, e.g.
// 08 01 12 09 "127.0.0.1" 18 D2 09 20 D3 09. Written by hand, independently
// of the desktop program's generated code. A zero port makes a zero byte,
// which the desktop program treats as the end of the datagram.
std::string BuildEncodedNotice(const NoticeContent& content);

// The payload as status lines show it: the text form as it is, the encoded
// form as hexadecimal bytes ("08 01 12 ...").
std::string DescribeNoticePayload(NoticeForm form, const std::string& payload);

// The payload in the chosen form; false with `error` for a form this build
// cannot produce.
bool BuildNoticePayload(NoticeForm form, const NoticeContent& content, std::string* payload,
                        std::string* error);

}  // namespace phonesim

#pragma once

#include <cstddef>
#include <cstdint>

#include "link/phone_endpoint.h"

namespace pavix {

// Longest notice datagram taken; anything longer is not a notice.
constexpr std::size_t kNoticeDatagramMax = 260;

// Decodes one notice datagram from the phone app. Returns true and fills
// *out when the datagram announces an endpoint; false leaves *out as it was.
//
// The datagram is taken up to its first zero byte. That text is first read
// as an encoded ip_notice; failing that, it must contain "ppp:" and hold the
// colon-separated fields
//     <anything>:<number>:<port>:<port2>:<address as 8 hex digits>
// (a run of colons is one separator, fields after the fifth are ignored,
// non-numeric ports count as 0, and CR, LF and spaces after the hex digits
// are ignored). Either way a second port equal to the port becomes port + 1.
// An address text of more than 39 characters is refused, and so is a port
// or second port outside 1-65535 (non-numeric ports, read as 0, among them).
bool DecodeNoticeDatagram(const std::uint8_t* bytes, std::size_t count, PhoneEndpoint* out);

// The value of one character taken as a hexadecimal digit: 'A' to 'Z' fold
// to lower case, letters count from 'a' = 10 on and everything else from
// '0' = 0. Nothing is rejected ('g' gives 16): callers check the text first
// where that matters.
int HexDigitValue(char c);

// Turns the phone's code, its IPv4 address as hexadecimal digit pairs, most
// significant first, into dotted-decimal text: "C0A80105" gives
// "192.168.1.5". Each complete pair becomes one number; a lone last digit is
// ignored and an empty code gives an empty text. Writes at most `outSize`
// bytes, the terminating zero included. Returns `out`, or null when the text
// does not fit (`out` then holds an empty text if it has room for one).
char* HexCodeToIp(const char* hex, char* out, std::size_t outSize);

}  // namespace pavix

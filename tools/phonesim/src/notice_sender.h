// Sends the UDP notice datagram, only ever to loopback or the one local
// multicast group, so a mistyped address cannot reach another machine.
#pragma once

#include <cstdint>
#include <string>

#include "ipv4_endpoint.h"

namespace phonesim {

constexpr uint32_t kNoticeGroup = 0xE9000001u;  // 233.0.0.1

// True for 127.0.0.0/8 and 233.0.0.1, the only destinations allowed.
bool IsAllowedNoticeDestination(uint32_t address);

// Sends `payload` as one datagram to `to`. A multicast destination is sent
// out of the loopback interface with loop on and TTL 1. With `from` other
// than 0 (a loopback address) the datagram comes from that address, as a
// phone's own notice comes from the phone. False with `error` on refusal or
// failure.
bool SendNotice(const Ipv4Endpoint& to, const std::string& payload, std::string* error,
                uint32_t from = 0);

}  // namespace phonesim

// An IPv4 address and port as given on the command line ("127.0.0.1:1234").
#pragma once

#include <cstdint>
#include <string>

#include <netinet/in.h>

namespace phonesim {

struct Ipv4Endpoint {
  uint32_t address = 0;  // host byte order
  uint16_t port = 0;
};

// Parses "A.B.C.D:PORT" (PORT 0..65535). Returns false on anything else.
bool ParseIpv4Endpoint(const std::string& text, Ipv4Endpoint* out);
std::string FormatIpv4Endpoint(const Ipv4Endpoint& endpoint);
std::string FormatIpv4Address(uint32_t address);
sockaddr_in ToSockaddr(const Ipv4Endpoint& endpoint);
Ipv4Endpoint FromSockaddr(const sockaddr_in& addr);

}  // namespace phonesim

#include "ipv4_endpoint.h"

#include <arpa/inet.h>

#include <cstring>

namespace phonesim {

bool ParseIpv4Endpoint(const std::string& text, Ipv4Endpoint* out) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
  const std::string host = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  if (port.size() > 5) return false;
  unsigned long value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (value > 65535) return false;
  in_addr addr;
  if (inet_pton(AF_INET, host.c_str(), &addr) != 1) return false;
  out->address = ntohl(addr.s_addr);
  out->port = static_cast<uint16_t>(value);
  return true;
}

std::string FormatIpv4Address(uint32_t address) {
  in_addr addr;
  addr.s_addr = htonl(address);
  char buffer[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &addr, buffer, sizeof buffer);
  return buffer;
}

std::string FormatIpv4Endpoint(const Ipv4Endpoint& endpoint) {
  return FormatIpv4Address(endpoint.address) + ":" + std::to_string(endpoint.port);
}

sockaddr_in ToSockaddr(const Ipv4Endpoint& endpoint) {
  sockaddr_in addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(endpoint.address);
  addr.sin_port = htons(endpoint.port);
  return addr;
}

Ipv4Endpoint FromSockaddr(const sockaddr_in& addr) {
  Ipv4Endpoint endpoint;
  endpoint.address = ntohl(addr.sin_addr.s_addr);
  endpoint.port = ntohs(addr.sin_port);
  return endpoint;
}

}  // namespace phonesim

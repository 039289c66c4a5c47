#include "notice_sender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace phonesim {
namespace {

bool IsLoopback(uint32_t address) { return (address >> 24) == 127; }

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

bool IsAllowedNoticeDestination(uint32_t address) {
  return IsLoopback(address) || address == kNoticeGroup;
}

bool SendNotice(const Ipv4Endpoint& to, const std::string& payload, std::string* error,
                uint32_t from) {
  if (!IsAllowedNoticeDestination(to.address)) {
    *error = "refusing to send the notice to " + FormatIpv4Address(to.address) +
             ": only 127.0.0.0/8 and 233.0.0.1 are allowed";
    return false;
  }
  if (from != 0 && !IsLoopback(from)) {
    *error = "refusing to send the notice from " + FormatIpv4Address(from) +
             ": only 127.0.0.0/8 is allowed";
    return false;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = Errno("socket");
    return false;
  }
  bool ok = true;
  if (from != 0) {
    const sockaddr_in own = ToSockaddr(Ipv4Endpoint{from, 0});
    if (bind(fd, reinterpret_cast<const sockaddr*>(&own), sizeof own) != 0) {
      *error = Errno("bind");
      ok = false;
    }
  }
  if (ok && to.address == kNoticeGroup) {
    const unsigned char loop = 1;
    const unsigned char ttl = 1;
    in_addr loopback;
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    if (setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback) != 0) {
      *error = Errno("multicast options");
      ok = false;
    }
  }
  if (ok) {
    const sockaddr_in addr = ToSockaddr(to);
    const ssize_t sent = sendto(fd, payload.data(), payload.size(), 0,
                                reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (sent != static_cast<ssize_t>(payload.size())) {
      *error = sent < 0 ? Errno("sendto") : std::string("sendto: short datagram");
      ok = false;
    }
  }
  close(fd);
  return ok;
}

}  // namespace phonesim

#include "link/endpoint_rules.h"

#include <cstring>

namespace pavix {

bool IsPortInRange(std::int64_t port) { return port >= 1 && port <= 65535; }

bool IsUsableEndpoint(const PhoneEndpoint& endpoint) {
    return std::memchr(endpoint.address, '\0', sizeof endpoint.address) != nullptr &&
           IsPortInRange(endpoint.port) && IsPortInRange(endpoint.port2);
}

bool SameEndpoint(const PhoneEndpoint& a, const PhoneEndpoint& b) {
    return std::strncmp(a.address, b.address, sizeof a.address) == 0 && a.port == b.port &&
           a.port2 == b.port2;
}

bool ParseDottedIpv4(const char* text, std::uint32_t* hostOrder) {
    std::uint32_t address = 0;
    const char* at = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *at++ != '.') return false;
        if (*at < '0' || *at > '9') return false;
        if (*at == '0' && at[1] >= '0' && at[1] <= '9') return false;  // a leading zero
        unsigned value = 0;
        for (int digits = 0; *at >= '0' && *at <= '9'; ++at) {
            if (++digits > 3) return false;
            value = value * 10 + static_cast<unsigned>(*at - '0');
        }
        if (value > 255) return false;
        address = address << 8 | value;
    }
    if (*at != '\0') return false;
    *hostOrder = address;
    return true;
}

bool IsAnnouncedBySender(const PhoneEndpoint& announced, std::uint32_t senderHostOrder) {
    if (std::memchr(announced.address, '\0', sizeof announced.address) == nullptr) return false;
    std::uint32_t address = 0;
    return ParseDottedIpv4(announced.address, &address) && address == senderHostOrder;
}

EndpointStep JudgeEndpointRequest(const PhoneEndpoint& stored, bool linkWanted,
                                  const PhoneEndpoint& asked) {
    if (!IsUsableEndpoint(asked)) return EndpointStep::Refuse;
    if (!SameEndpoint(stored, asked)) return EndpointStep::Switch;
    return linkWanted ? EndpointStep::Keep : EndpointStep::Resume;
}

}  // namespace pavix

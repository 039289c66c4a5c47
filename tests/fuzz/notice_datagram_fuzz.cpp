// Any datagram: the decoder must stay inside it, and what it accepts must be
// a terminated address of at most 39 characters.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/notice_datagram.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so that any read past the datagram is caught.
    const std::vector<std::uint8_t> datagram(data, data + size);
    pavix::PhoneEndpoint endpoint;
    std::memset(endpoint.address, 'x', sizeof endpoint.address);
    endpoint.port = -1;
    endpoint.port2 = -2;
    const pavix::PhoneEndpoint before = endpoint;

    if (!pavix::DecodeNoticeDatagram(datagram.data(), datagram.size(), &endpoint)) {
        if (std::memcmp(&before, &endpoint, sizeof endpoint) != 0) std::abort();
        return 0;
    }
    const void* end = std::memchr(endpoint.address, '\0', sizeof endpoint.address);
    if (end == nullptr || end == endpoint.address) std::abort();
    if (size == 0 || size > pavix::kNoticeDatagramMax) std::abort();
    return 0;
}

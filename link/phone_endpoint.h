#pragma once

#include <cstddef>
#include <cstdint>

namespace pavix {

// Where the phone app listens: the address as dotted-decimal text and the
// two ports it announced. Owned by the engine; filled from notices, the
// connect dialog and the settings file.
struct PhoneEndpoint {
    // Room for the address text and its terminating zero: at most 39
    // characters. Longer texts are refused wherever an endpoint is filled.
    static constexpr std::size_t kAddressSize = 40;

    char address[kAddressSize] = {};
    std::int32_t port = 0;
    std::int32_t port2 = 0;
};

// The phone app's ports behind a typed code, and the endpoint of the USB
// path: the debug bridge forwards the local port 1234 to the phone.
constexpr std::int32_t kPhonePort = 1234;
constexpr std::int32_t kPhonePort2 = 1235;
constexpr char kUsbPhoneAddress[] = "127.0.0.1";

}  // namespace pavix

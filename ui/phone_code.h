#pragma once

#include <cstddef>

#include "link/phone_endpoint.h"

namespace pavix {

// The code the phone app shows: its IPv4 address as exactly eight
// hexadecimal digits, most significant first ("C0A80102" is 192.168.1.2).
constexpr std::size_t kPhoneCodeLength = 8;

// The address a typed code stands for, as dotted-decimal text into
// `address`. False, with `address` left alone, unless the text is exactly
// eight hexadecimal digits (either case): a code of another length, or with
// any other character, would hand the engine something that is no address.
bool PhoneCodeToAddress(const wchar_t* code, char (&address)[PhoneEndpoint::kAddressSize]);

}  // namespace pavix

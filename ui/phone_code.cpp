#include "ui/phone_code.h"

#include <cstring>

#include "link/notice_datagram.h"

namespace pavix {
namespace {

bool IsHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

}  // namespace

bool PhoneCodeToAddress(const wchar_t* code, char (&address)[PhoneEndpoint::kAddressSize]) {
    char digits[kPhoneCodeLength + 1] = {};
    std::size_t count = 0;
    for (; code[count] != L'\0'; ++count) {
        if (count == kPhoneCodeLength || !IsHexDigit(code[count])) return false;
        digits[count] = static_cast<char>(code[count]);
    }
    if (count != kPhoneCodeLength) return false;
    char converted[PhoneEndpoint::kAddressSize];
    if (HexCodeToIp(digits, converted, sizeof converted) == nullptr) return false;
    std::memcpy(address, converted, sizeof converted);
    return true;
}

}  // namespace pavix

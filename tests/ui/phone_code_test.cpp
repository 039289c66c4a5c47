#include "ui/phone_code.h"

#include <gtest/gtest.h>

namespace pavix {
namespace {

TEST(PhoneCode, EightHexDigitsOfEitherCaseAreTheAddress) {
    char address[PhoneEndpoint::kAddressSize] = {};
    ASSERT_TRUE(PhoneCodeToAddress(L"C0A80102", address));
    EXPECT_STREQ(address, "192.168.1.2");
    ASSERT_TRUE(PhoneCodeToAddress(L"c0a80102", address));
    EXPECT_STREQ(address, "192.168.1.2");
    ASSERT_TRUE(PhoneCodeToAddress(L"7F000001", address));
    EXPECT_STREQ(address, "127.0.0.1");
    ASSERT_TRUE(PhoneCodeToAddress(L"FFFFFFFF", address));
    EXPECT_STREQ(address, "255.255.255.255");
}

// Any other text is refused and leaves the address alone: by digit
// arithmetic "7?000001" would be 127.0.0.1 and "7F0000g1" 127.0.0.257.
TEST(PhoneCode, AnythingElseIsRefused) {
    for (const wchar_t* code : {L"", L"7F00000", L"7F0000010", L"7?000001", L"7F0000g1",
                                L"7F00 001", L" 7F000001", L"\xFF17" L"F000001",
                                L"0x7F0001", L"7F000001234567890123456789"}) {
        char address[PhoneEndpoint::kAddressSize] = "unchanged";
        EXPECT_FALSE(PhoneCodeToAddress(code, address)) << static_cast<int>(code[0]);
        EXPECT_STREQ(address, "unchanged");
    }
}

}  // namespace
}  // namespace pavix

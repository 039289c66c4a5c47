#include "ui/window_hold.h"

#include <cwchar>

namespace pavix {
namespace {

constexpr WPARAM kLongestHoldMs = 10000;

UINT RegisterIfSwitchedOn() {
    wchar_t value[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"PAVIX_TEST_HOLD", value, 8);
    if (length == 0 || length >= 8 || std::wcscmp(value, L"1") != 0) return 0;
    return RegisterWindowMessageW(kWindowHoldMessageName);
}

}  // namespace

UINT WindowHoldMessage() {
    static const UINT message = RegisterIfSwitchedOn();
    return message;
}

void HoldWindowThread(WPARAM milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds < kLongestHoldMs ? milliseconds : kLongestHoldMs));
}

}  // namespace pavix

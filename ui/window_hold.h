#pragma once

#include <windows.h>

namespace pavix {

// A switch for the system tests: with PAVIX_TEST_HOLD=1 in pavix.exe's
// environment, the registered message kWindowHoldMessageName keeps the main
// window's thread busy for wParam milliseconds (at most 10 s) without
// handling any message, as a slow paint, a modal loop that does not pump or
// a hung window it talks to would. The tests check that the camera's
// pictures keep coming meanwhile. Without the variable the message is
// never registered, so nothing another program sends can hold the window.
inline constexpr wchar_t kWindowHoldMessageName[] = L"Pavix.TestHoldWindowThread";

// The message's number, or 0 when the switch is off.
UINT WindowHoldMessage();

// Holds the calling thread for `milliseconds` (at most 10 s).
void HoldWindowThread(WPARAM milliseconds);

}  // namespace pavix

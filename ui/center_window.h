#pragma once

#include <windows.h>

namespace pavix {

// Centres `window` (a dialog) on `reference` (the main window), kept inside
// the work area; size and z-order stay as they are.
void CenterOnWindow(HWND window, HWND reference);

}  // namespace pavix

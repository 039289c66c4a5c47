#pragma once

#include <windows.h>

namespace pavix {

// The main window's procedure: its commands, the function menu, the
// notification-area icon's events, moving the window by dragging the
// picture, hiding it when minimised, and the program's end when it is
// destroyed.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Opens the function menu at the cursor; the chosen item arrives as
// WM_COMMAND.
void OpenFunctionMenu(HWND window);

}  // namespace pavix

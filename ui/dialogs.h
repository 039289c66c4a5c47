#pragma once

#include <windows.h>

namespace pavix {

// The About box (dialog 103): centred on its owner, the main window; OK,
// Esc and the close box end it.
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The manual (Wi-Fi) connect dialog (dialog 138). Its creation parameter is
// the CUIHandler of the main window. OK with the phone's code sets the
// phone endpoint and judges the link 5 s later; on success it saves the
// endpoint and closes itself a second after. Cancel leaves the endpoint set.
INT_PTR CALLBACK ConnectDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pavix

#include "ui/center_window.h"
#include "ui/dialogs.h"

namespace pavix {

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CenterOnWindow(dialog, GetWindow(dialog, GW_OWNER));
        return TRUE;
    case WM_COMMAND:
        // Esc and the close box arrive as Cancel.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace pavix

// Dialogs open centred on the main window.

#include "ui/center_window.h"

#include "ui/centering.h"

namespace pavix {
namespace {

ScreenBox BoxOf(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

}  // namespace

void CenterOnWindow(HWND window, HWND reference) {
    RECT own;
    RECT other;
    GetWindowRect(window, &own);
    GetWindowRect(reference, &other);
    RECT workArea;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0)) {
        workArea = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    const ScreenPoint at = CenteredPosition(own.right - own.left, own.bottom - own.top,
                                            BoxOf(other), BoxOf(workArea));
    SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

}  // namespace pavix

#pragma once

#include <windows.h>

namespace pavix {

// The size of the preview pane, the size of the idle picture.
inline constexpr int kPreviewWidth = 495;
inline constexpr int kPreviewHeight = 391;

// The preview pane's own procedure (it replaces the static control's): it
// paints the idle picture while no phone is connected; while one is, the
// frame thread draws into the pane directly. The pane lets every mouse
// event through to the main window.
LRESULT CALLBACK PreviewWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pavix

#pragma once

#include <windows.h>

#include "ui/engine_control.h"

namespace pavix {

// The size of the preview pane, the size of the idle picture.
inline constexpr int kPreviewWidth = 495;
inline constexpr int kPreviewHeight = 391;

// The preview pane's own procedure (it replaces the static control's). The
// pane is painted only here, on the main thread, in WM_PAINT: the newest
// phone picture while a phone is connected and has sent one, the idle
// picture otherwise. The frame thread only hands pictures over and
// invalidates the pane, so pictures that arrive faster than the screen is
// painted are passed over. The pane lets every mouse event through to the
// main window.
LRESULT CALLBACK PreviewWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Paints `picture` stretched to width x height at the top left of `dc`
// (plain GDI; no stretch when the sizes agree).
void PaintPanePicture(HDC dc, int width, int height, const PanePicture& picture);

}  // namespace pavix

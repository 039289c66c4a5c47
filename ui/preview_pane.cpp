#include "ui/preview_pane.h"

#include "ui/ui_handler.h"

namespace pavix {
namespace {

void PaintIdlePicture(HDC target, int width, int height, const CUIHandler& ui) {
    HDC source = CreateCompatibleDC(target);
    HGDIOBJ previous = SelectObject(source, ui.IdleBitmap());
    // The whole idle picture, stretched to the whole pane.
    StretchBlt(target, 0, 0, width, height, source, 0, 0, kPreviewWidth, kPreviewHeight, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
}

void Paint(HWND window, CUIHandler& ui) {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window, &paint);
    if (target == nullptr) return;
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    EngineControl& engine = ui.Engine();
    PanePicture picture;
    if (engine.IsConnected() && engine.AcquirePanePicture(&picture)) {
        PaintPanePicture(target, width, height, picture);
        engine.ReleasePanePicture();
    } else {
        PaintIdlePicture(target, width, height, ui);
    }
    EndPaint(window, &paint);
}

}  // namespace

void PaintPanePicture(HDC dc, int width, int height, const PanePicture& picture) {
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = picture.width;
    format.bmiHeader.biHeight = -picture.height;  // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    if (width == picture.width && height == picture.height) {
        SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                          static_cast<UINT>(picture.height), picture.pixels, &format, DIB_RGB_COLORS);
        return;
    }
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, 0, 0, width, height, 0, 0, picture.width, picture.height, picture.pixels,
                  &format, DIB_RGB_COLORS, SRCCOPY);
}

LRESULT CALLBACK PreviewWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CUIHandler* ui = CUIHandler::Of(window);
    WNDPROC previous = ui != nullptr ? ui->PreviewPrevProc() : nullptr;
    if (previous == nullptr) return DefWindowProcW(window, message, wParam, lParam);

    switch (message) {
        case WM_DESTROY:
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
            break;
        case WM_ERASEBKGND:
            return 1;  // the paint covers the whole pane
        case WM_PAINT:
            Paint(window, *ui);
            return 0;
        default:
            break;
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

void CUIHandler::CreatePreviewPane() {
    // A plain static control without the notify style: transparent to the
    // mouse, so clicks and drags over the picture reach the main window.
    previewPane_ = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0,
                                   kPreviewWidth, kPreviewHeight, mainWindow_, nullptr, instance_,
                                   nullptr);
    if (previewPane_ == nullptr) return;
    SetWindowLongPtrW(previewPane_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    previewPrevProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        previewPane_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PreviewWndProc)));
    InvalidateRect(previewPane_, nullptr, FALSE);
}

void CUIHandler::ShowNewPicture() {
    // Any thread: marks the pane for painting and returns at once; the
    // window system merges marks until the main thread paints.
    if (previewPane_ != nullptr) InvalidateRect(previewPane_, nullptr, FALSE);
}

bool CUIHandler::IsPreviewShown() const {
    return previewPane_ != nullptr && IsWindowVisible(previewPane_) && !IsIconic(mainWindow_);
}

}  // namespace pavix

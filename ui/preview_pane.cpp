#include "ui/preview_pane.h"

#include "ui/ui_handler.h"

namespace pavix {
namespace {

void PaintIdlePicture(HWND window, const CUIHandler& ui) {
    InvalidateRect(window, nullptr, TRUE);
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HDC source = CreateCompatibleDC(target);
    HGDIOBJ previous = SelectObject(source, ui.IdleBitmap());
    // The whole idle picture, stretched to the whole pane.
    StretchBlt(target, 0, 0, client.right - client.left, client.bottom - client.top, source, 0, 0,
               kPreviewWidth, kPreviewHeight, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
    paint.fErase = TRUE;
    EndPaint(window, &paint);
}

}  // namespace

LRESULT CALLBACK PreviewWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CUIHandler* ui = CUIHandler::Of(window);
    WNDPROC previous = ui != nullptr ? ui->PreviewPrevProc() : nullptr;
    if (previous == nullptr) return DefWindowProcW(window, message, wParam, lParam);

    if (message == WM_DESTROY) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    } else if (message == WM_PAINT && !ui->Engine().IsConnected()) {
        PaintIdlePicture(window, *ui);
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
    SendMessageW(previewPane_, WM_PAINT, 0, 0);
}

}  // namespace pavix

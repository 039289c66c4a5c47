#include <cstring>

#include "link/phone_endpoint.h"
#include "ui/center_window.h"
#include "ui/dialogs.h"
#include "ui/phone_code.h"
#include "ui/resource_ids.h"
#include "ui/ui_handler.h"
#include "ui/ui_texts.h"

namespace pavix {
namespace {

constexpr UINT kConnectCheckMs = 5000;
constexpr UINT kConnectCloseMs = 1000;
// What the code box is read into: at most 29 characters.
constexpr int kCodeBufferSize = 30;

// The endpoint of the last OK: the one the check judges and saves. The
// dialog is modal, so there is one at a time.
PhoneEndpoint g_asked;

CUIHandler& HandlerOf(HWND dialog) {
    return *reinterpret_cast<CUIHandler*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void KillTimers(HWND dialog) {
    KillTimer(dialog, TIMER_CONNECT_CLOSE);
    KillTimer(dialog, TIMER_CONNECT_CHECK);
}

// OK: the typed code becomes the phone endpoint, and the link is judged
// 5 s later (a repeated OK starts the wait again).
void OnConnect(HWND dialog) {
    wchar_t code[kCodeBufferSize] = {};
    GetDlgItemTextW(dialog, IDC_CONNECT_CODE, code, kCodeBufferSize);
    char address[PhoneEndpoint::kAddressSize] = {};
    if (!PhoneCodeToAddress(code, address)) {
        MessageBoxW(dialog, kBadCodeText, kHintCaption, MB_OK);
        return;
    }
    g_asked = PhoneEndpoint{};
    std::memcpy(g_asked.address, address, sizeof address);
    g_asked.port = kPhonePort;
    g_asked.port2 = kPhonePort2;
    HandlerOf(dialog).Engine().SetPhoneEndpoint(address, kPhonePort, kPhonePort2);
    HWND progress = GetDlgItem(dialog, IDC_CONNECT_STATE);
    ShowWindow(progress, SW_SHOW);
    SetWindowTextW(progress, kConnectingText);
    KillTimer(dialog, TIMER_CONNECT_CHECK);
    SetTimer(dialog, TIMER_CONNECT_CHECK, kConnectCheckMs, nullptr);
}

void OnCheck(HWND dialog) {
    KillTimer(dialog, TIMER_CONNECT_CHECK);  // once per OK
    EngineControl& engine = HandlerOf(dialog).Engine();
    // A link to any other endpoint (one a notice moved to meanwhile, or
    // the one before the OK) is no success of this code.
    if (engine.IsConnectedTo(g_asked)) {
        SetDlgItemTextW(dialog, IDC_CONNECT_STATE, kConnectSucceededText);
        engine.SaveSettings(g_asked);
        SetTimer(dialog, TIMER_CONNECT_CLOSE, kConnectCloseMs, nullptr);
    } else {
        // The dialog stays for another try.
        SetDlgItemTextW(dialog, IDC_CONNECT_STATE, kConnectFailedText);
    }
}

}  // namespace

INT_PTR CALLBACK ConnectDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        CenterOnWindow(dialog, HandlerOf(dialog).MainWindow());
        return TRUE;
    case WM_DESTROY:
        KillTimers(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnConnect(dialog);
            return FALSE;
        case IDCANCEL:  // also Esc and the close box
            KillTimers(dialog);
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_TIMER:
        if (wParam == TIMER_CONNECT_CHECK) {
            OnCheck(dialog);
            return TRUE;
        }
        if (wParam == TIMER_CONNECT_CLOSE) {
            KillTimer(dialog, TIMER_CONNECT_CLOSE);
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace pavix

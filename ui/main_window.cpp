#include "ui/main_window.h"

#include <commctrl.h>
#include <dbt.h>
#include <shellapi.h>

#include <string>

#include "link/phone_endpoint.h"
#include "ui/dialogs.h"
#include "ui/resource_ids.h"
#include "ui/ui_handler.h"
#include "ui/ui_texts.h"
#include "ui/update_check.h"
#include "ui/web_pages.h"
#include "ui/window_hold.h"
#include "ui/window_messages.h"

namespace pavix {
namespace {

// Armed by the first message the main window ever receives.
bool balloonTimerArmed = false;
// The balloon's moment has come (its timer went off): an update check
// answering later shows it at once.
bool balloonDue = false;

// Sent to every top-level window when the taskbar (Explorer) starts again;
// the notification-area icons are gone then and must be added anew.
UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

void OpenWebPage(const std::wstring& url) {
    ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void RestoreToFront(HWND window) {
    ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

// Dragging the picture moves the window: the system's own move loop runs
// until the button is released.
void MoveWithMouse(HWND window) {
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    UpdateWindow(window);
    ReleaseCapture();
    SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}

// Tooltips of the command-bar buttons, as string resources.
void AnswerTooltipRequest(HWND window, LPARAM lParam) {
    auto* request = reinterpret_cast<NMTTDISPINFOW*>(lParam);
    int text = 0;
    switch (request->hdr.idFrom) {
    case CMD_START_CAPTURE:
        text = IDS_START_CAPTURE;
        break;
    case CMD_STOP_CAPTURE:
        text = IDS_STOP_CAPTURE;
        break;
    case CMD_DISCONNECT:
        text = IDS_DISCONNECT;
        break;
    case CMD_WIFI_CONNECT:
        text = IDS_MANUAL_CONNECT;
        break;
    default:
        return;
    }
    request->hinst = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    request->lpszText = MAKEINTRESOURCEW(text);
}

// The dialogs are modal and belong to the main window, which is brought
// back from the notification area first.
void RunDialog(CUIHandler& ui, HWND window, int dialog, DLGPROC procedure) {
    RestoreToFront(window);
    DialogBoxParamW(ui.Instance(), MAKEINTRESOURCEW(dialog), window, procedure,
                    reinterpret_cast<LPARAM>(&ui));
}

// The debug bridge's forward is done: aim at the forwarded port, or say
// what to do when the user asked for it.
void OnUsbForwarded(CUIHandler& ui, HWND window, WPARAM forwarded, LPARAM reportFailure) {
    if (forwarded != 0) {
        ui.Engine().SetPhoneEndpoint(kUsbPhoneAddress, kPhonePort, kPhonePort2);
    } else if (reportFailure != 0) {
        MessageBoxW(window, kUsbFailedText, kMainWindowTitle, MB_OK);
    }
}

LRESULT OnCommand(CUIHandler& ui, HWND window, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case CMD_ABOUT:
        RunDialog(ui, window, IDD_ABOUT, AboutDlgProc);
        return 0;
    case CMD_WIFI_CONNECT:
        RunDialog(ui, window, IDD_CONNECT, ConnectDlgProc);
        return 0;
    case CMD_USB_CONNECT:
        // The bridge can take seconds: never on this thread.
        ui.Engine().StartUsbForward(true);
        return 0;
    case CMD_DISCONNECT:
        ui.Engine().Disconnect();
        return 0;
    case CMD_EXIT:
        DestroyWindow(window);
        return 0;
    case CMD_HELP:
        OpenWebPage(HelpPageUrl());
        return 0;
    case CMD_START_CAPTURE:
        ui.Engine().StartCapture();
        return 0;
    case CMD_STOP_CAPTURE:
        ui.Engine().StopCapture();
        return 0;
    case CMD_SOFTWARE_UPGRADE:
        if (NewVersionAvailable()) {
            OpenWebPage(DownloadPageUrl());
            ui.ShowUpdateBalloon();
        } else {
            MessageBoxW(window, kNewestVersionText, kMainWindowTitle, MB_OK);
        }
        return 0;
    default:
        return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
}

void OnTrayEvent(HWND window, LPARAM event) {
    if (event == WM_LBUTTONDBLCLK) {
        RestoreToFront(window);
    } else if (event == WM_RBUTTONUP) {
        OpenFunctionMenu(window);
    } else if (event == kBalloonClicked) {
        OpenWebPage(DownloadPageUrl());
    }
}

}  // namespace

void OpenFunctionMenu(HWND window) {
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_FUNCTION_MENU));
    if (menu == nullptr) return;
    HMENU items = GetSubMenu(menu, 0);
    // Start while no recording runs, stop while one does.
    if (const CUIHandler* ui = CUIHandler::Of(window)) {
        const bool recording = ui->Engine().IsRecording();
        EnableMenuItem(items, CMD_START_CAPTURE, MF_BYCOMMAND | (recording ? MF_GRAYED : MF_ENABLED));
        EnableMenuItem(items, CMD_STOP_CAPTURE, MF_BYCOMMAND | (recording ? MF_ENABLED : MF_GRAYED));
    }
    POINT cursor;
    GetCursorPos(&cursor);
    // Foreground first, and a message after: otherwise a menu opened from
    // the notification area does not close when the user clicks elsewhere.
    SetForegroundWindow(window);
    TrackPopupMenu(items, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
    PostMessageW(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // The handler that creates the window comes with it.
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    CUIHandler* ui = CUIHandler::Of(window);
    if (ui == nullptr) return DefWindowProcW(window, message, wParam, lParam);

    if (!balloonTimerArmed) {
        balloonTimerArmed = true;
        SetTimer(window, TIMER_UPDATE_BALLOON, kUpdateBalloonDelayMs, nullptr);
    }
    if (message == TaskbarCreatedMessage() && message != 0) {
        ui->AddTrayIconAgain();
        return 0;
    }
    if (message == WindowHoldMessage() && message != 0) {
        HoldWindowThread(wParam);
        return 0;
    }

    switch (message) {
    case WM_QUERYENDSESSION:
        return TRUE;  // never in the way of the user's log-off or shutdown
    case WM_ENDSESSION:
        // Windows ends the process soon after this returns: everything the
        // close box does (the recording finished, the frame word -1, the
        // notification-area icon removed) is done before that.
        if (wParam != FALSE) DestroyWindow(window);
        return 0;
    case WM_RECORD_EVENTS:
        ui->Engine().OnRecordingEvents();
        return 0;
    case WM_DESTROY:
        KillTimer(window, TIMER_UPDATE_BALLOON);
        ui->Engine().OnMainWindowDestroyed();
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        // Minimised, the window lives on as the notification-area icon only.
        if (IsIconic(window)) ShowWindow(window, SW_HIDE);
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code == TTN_GETDISPINFOW) AnswerTooltipRequest(window, lParam);
        return 0;
    }
    case WM_COMMAND:
        return OnCommand(*ui, window, wParam, lParam);
    case WM_TIMER:
        if (wParam == TIMER_RECORDING_ROOM) ui->Engine().OnRecordingEvents();
        if (wParam != TIMER_UPDATE_BALLOON) return 0;
        KillTimer(window, TIMER_UPDATE_BALLOON);  // once per run
        balloonDue = true;
        if (NewVersionAvailable()) ui->ShowUpdateBalloon();
        return 1;
    case WM_UPDATE_CHECKED:
        SetNewVersionAvailable(wParam != 0);
        if (wParam != 0 && balloonDue) ui->ShowUpdateBalloon();
        return 0;
    case WM_LBUTTONDOWN:
        MoveWithMouse(window);
        return 0;
    case WM_RBUTTONDOWN:
        OpenFunctionMenu(window);
        return 0;
    case WM_TRAY_CALLBACK:
        OnTrayEvent(window, lParam);
        return 0;
    case WM_DEVICECHANGE:
        // A device came: perhaps a phone on USB.
        if (wParam == DBT_DEVICEARRIVAL) ui->Engine().StartUsbForward(false);
        return 0;
    case WM_USB_FORWARDED:
        OnUsbForwarded(*ui, window, wParam, lParam);
        return 0;
    case WM_LINK_STATE_CHANGED:
        ui->ApplyLinkState();
        return 0;
    case WM_FRAME_RATE_CHANGED:
        ui->ApplyFrameRate();
        return 0;
    case WM_NOTICE_7788:
    case WM_NOTICE_7790:
        if (LOWORD(lParam) == kNoticeReadEvent) {
            ui->Engine().PrepareData(message == WM_NOTICE_7788 ? 0 : 1);
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace pavix

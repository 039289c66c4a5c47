// The notification-area icon and the status bar of the main window: the
// three states of the phone link, the frame rate and the new-version
// balloon.

#include "ui/ui_handler.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <cwchar>

#include "ui/resource_ids.h"
#include "ui/window_messages.h"

namespace pavix {
namespace {

// Right edges of the status bar's parts: state text, frame rate, rest.
constexpr int kStatusPartEdges[] = {100, 180, -1};

// The icon record in its form with the balloon fields.
NOTIFYICONDATAW IconRecord(HWND window, UINT flags, HICON icon) {
    NOTIFYICONDATAW record = {};
    record.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record.hWnd = window;
    record.uID = kTrayIconId;
    record.uFlags = flags;
    record.uCallbackMessage = WM_TRAY_CALLBACK;
    record.hIcon = icon;
    return record;
}

template <std::size_t N>
void CopyText(wchar_t (&field)[N], const wchar_t* text) {
    std::wcsncpy(field, text, N - 1);
    field[N - 1] = L'\0';
}

}  // namespace

void CUIHandler::SetTrayIcon(HICON icon, const wchar_t* tooltip, bool add) {
    NOTIFYICONDATAW record = IconRecord(mainWindow_, NIF_MESSAGE | NIF_ICON | NIF_TIP, icon);
    CopyText(record.szTip, tooltip);
    Shell_NotifyIconW(add ? NIM_ADD : NIM_MODIFY, &record);
}

void CUIHandler::RemoveTrayIcon() {
    NOTIFYICONDATAW record = IconRecord(mainWindow_, 0, nullptr);
    Shell_NotifyIconW(NIM_DELETE, &record);
}

void CUIHandler::ShowUpdateBalloon() {
    NOTIFYICONDATAW record =
        IconRecord(mainWindow_, NIF_MESSAGE | NIF_ICON | NIF_INFO, connectedIcon_);
    CopyText(record.szInfoTitle, kBalloonTitle);
    CopyText(record.szInfo, kBalloonText);
    record.uTimeout = 100;  // the shell applies its own minimum
    record.dwInfoFlags = 0;
    Shell_NotifyIconW(NIM_MODIFY, &record);
}

void CUIHandler::CreateStatusBar() {
    // The control places itself along the bottom of the window.
    statusBar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                 mainWindow_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)),
                                 instance_, nullptr);
    SendMessageW(statusBar_, SB_SETPARTS, 3,
                 reinterpret_cast<LPARAM>(const_cast<int*>(kStatusPartEdges)));
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(kStartupStatusText));
    SendMessageW(statusBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L""));
    SendMessageW(statusBar_, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(L""));
    SetStatusIcon();
}

void CUIHandler::SetStatusIcon() {
    SendMessageW(statusBar_, SB_SETICON, 0, reinterpret_cast<LPARAM>(statusIcon_));
}

void CUIHandler::PostOnce(volatile LONG* posted, UINT message) {
    if (InterlockedExchange(posted, 1) != 0) return;  // the one on its way reads the latest
    // A window that is gone (or a full queue) takes nothing: the next
    // change tries again.
    if (mainWindow_ == nullptr || !PostMessageW(mainWindow_, message, 0, 0)) {
        InterlockedExchange(posted, 0);
    }
}

void CUIHandler::SetFrameRate(float rate) {
    static_assert(sizeof(float) == sizeof(LONG), "a rate travels as a LONG");
    LONG bits;
    std::memcpy(&bits, &rate, sizeof bits);
    if (bits == kNoRate) bits = 0;  // a NaN pattern; shown as 0
    InterlockedExchange(&rateBits_, bits);
    PostOnce(&ratePosted_, WM_FRAME_RATE_CHANGED);
}

void CUIHandler::ApplyFrameRate() {
    InterlockedExchange(&ratePosted_, 0);
    const LONG bits = rateBits_;
    wchar_t text[kRateTextSize] = {};
    if (bits != kNoRate) {
        float rate;
        std::memcpy(&rate, &bits, sizeof rate);
        FormatRateText(rate, text, kRateTextSize);
    }
    SendMessageW(statusBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text));
}

void CUIHandler::AddTrayIconAgain() {
    const LinkDisplayLook& look = LookOf(static_cast<LinkDisplay>(trayDisplay_));
    SetTrayIcon(IconFor(look.trayIcon), look.tooltip, true);
}

void CUIHandler::ShowLinkState(LinkDisplay display) {
    InterlockedExchange(&trayDisplay_, static_cast<LONG>(display));
    // A rate still on its way belongs to the link that is gone.
    if (LookOf(display).clearsRate) InterlockedExchange(&rateBits_, kNoRate);
    PostOnce(&statePosted_, WM_LINK_STATE_CHANGED);
}

void CUIHandler::ApplyLinkState() {
    InterlockedExchange(&statePosted_, 0);
    const LinkDisplayLook& look = LookOf(static_cast<LinkDisplay>(trayDisplay_));
    SetTrayIcon(IconFor(look.trayIcon), look.tooltip, false);
    if (commandBar_ != nullptr) {
        SendMessageW(commandBar_, TB_ENABLEBUTTON, CMD_DISCONNECT,
                     MAKELPARAM(look.disconnectEnabled ? TRUE : FALSE, 0));
    }
    if (look.repaintsIdle) ShowNewPicture();
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(look.statusText));
    if (look.clearsRate) SendMessageW(statusBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L""));
}

}  // namespace pavix

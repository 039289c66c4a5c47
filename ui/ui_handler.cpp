#include "ui/ui_handler.h"

#include <commctrl.h>

#include <initializer_list>

#include "ui/main_window.h"
#include "ui/resource_ids.h"

namespace pavix {
namespace {

constexpr int kMainWindowWidth = 495;
constexpr int kMainWindowHeight = 445;

HICON LoadIconSized(HINSTANCE instance, int resource, int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resource), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), 0));
}

// The system's text for an error code, for a message box.
void ShowSystemError(DWORD error, const wchar_t* caption) {
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, static_cast<DWORD>(sizeof text / sizeof text[0]), nullptr);
    MessageBoxW(nullptr, text, caption, MB_ICONWARNING);
}

}  // namespace

CUIHandler::CUIHandler(EngineControl* engine, HINSTANCE instance)
    : engine_(engine), instance_(instance) {}

CUIHandler* CUIHandler::Of(HWND window) {
    return reinterpret_cast<CUIHandler*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

CUIHandler::~CUIHandler() = default;

int CUIHandler::Init() {
    InitCommonControls();
    // An apartment that is already open counts as success.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return -1;

    connectedIcon_ = LoadIconSized(instance_, IDI_CONNECTED, SM_CXICON, SM_CYICON);
    disconnectedIcon_ = LoadIconSized(instance_, IDI_DISCONNECTED, SM_CXICON, SM_CYICON);
    waitingIcon_ = LoadIconSized(instance_, IDI_WAITING, SM_CXICON, SM_CYICON);
    bluetoothIcon_ = LoadIconSized(instance_, IDI_BLUETOOTH, SM_CXSMICON, SM_CYSMICON);
    statusIcon_ = LoadIconSized(instance_, IDI_USB, SM_CXSMICON, SM_CYSMICON);
    idleBitmap_ = LoadBitmapW(instance_, MAKEINTRESOURCEW(IDB_IDLE));
    if (gdip::GdipCreateBitmapFromResource(instance_, MAKEINTRESOURCEW(IDB_IDLE),
                                           &idlePicture_) != Gdiplus::Ok) {
        idlePicture_ = nullptr;
    }
    return 0;
}

int CUIHandler::CreateMainWindow(int showCommand) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = connectedIcon_;
    windowClass.hIconSm = connectedIcon_;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassExW(&windowClass);  // a failure shows up as a failed creation

    // Caption, thin border, close and minimise boxes; neither sizing nor
    // maximising.
    mainWindow_ = CreateWindowExW(0, kMainWindowClass, kMainWindowTitle,
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                                      WS_VISIBLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, kMainWindowWidth,
                                  kMainWindowHeight, nullptr, nullptr, instance_, this);
    if (mainWindow_ == nullptr) {
        ShowSystemError(GetLastError(), kCreateWindowFailedCaption);
        return -1;
    }

    // Variable pitch, Swiss family, any character set.
    font_ = CreateFontW(16, 0, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                        VARIABLE_PITCH | FF_SWISS, L"");
    SendMessageW(mainWindow_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);

    const LinkDisplayLook& look = LookOf(LinkDisplay::Startup);
    SetTrayIcon(IconFor(look.trayIcon), look.tooltip, true);
    CreateStatusBar();
    CreatePreviewPane();

    ShowWindow(mainWindow_, showCommand);
    UpdateWindow(mainWindow_);
    return 0;
}

void CUIHandler::Shutdown() {
    if (mainWindow_ != nullptr) RemoveTrayIcon();
    if (font_ != nullptr) {
        DeleteObject(font_);
        font_ = nullptr;
    }
    for (HICON* icon : {&connectedIcon_, &disconnectedIcon_, &waitingIcon_, &bluetoothIcon_,
                        &statusIcon_}) {
        if (*icon != nullptr) {
            DestroyIcon(*icon);
            *icon = nullptr;
        }
    }
    if (idleBitmap_ != nullptr) {
        DeleteObject(idleBitmap_);
        idleBitmap_ = nullptr;
    }
    if (idlePicture_ != nullptr) {
        gdip::GdipDisposeImage(idlePicture_);
        idlePicture_ = nullptr;
    }
}

HICON CUIHandler::IconFor(int resource) const {
    switch (resource) {
    case IDI_CONNECTED:
        return connectedIcon_;
    case IDI_WAITING:
        return waitingIcon_;
    default:
        return disconnectedIcon_;
    }
}

}  // namespace pavix

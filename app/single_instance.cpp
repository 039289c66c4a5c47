#include "app/single_instance.h"

#include "ui/ui_texts.h"
#include "ui/window_messages.h"

namespace pavix {
namespace {

// The first instance's main window. The section is marked shared: one copy
// for every running instance of this program file.
HWND sharedMainWindow __attribute__((section("RovoInsC"), shared)) = nullptr;

}  // namespace

HANDLE CreateInstanceGuard() {
    // The guard's name is the main window's class name.
    HANDLE guard = CreateSemaphoreW(nullptr, 0, 1, kMainWindowClass);
    if (guard != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(guard);
        return nullptr;
    }
    return guard;
}

void PublishMainWindow(HWND window) { sharedMainWindow = window; }

void BringFirstInstanceToFront() {
    HWND window = sharedMainWindow;
    if (window == nullptr || !IsWindow(window)) {
        window = FindWindowW(kMainWindowClass, nullptr);
    }
    if (window == nullptr) return;  // the first instance has no window yet
    DWORD firstProcess = 0;
    GetWindowThreadProcessId(window, &firstProcess);
    // We were started last, so we may hand the foreground over.
    AllowSetForegroundWindow(firstProcess);
    // The same as a double click on its notification-area icon: restore the
    // window and bring it to the foreground. Posted, so a busy first
    // instance cannot hold us up.
    PostMessageW(window, WM_TRAY_CALLBACK, kTrayIconId, WM_LBUTTONDBLCLK);
}

}  // namespace pavix

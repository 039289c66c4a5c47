// pavix_probe.exe: looks at a running pavix.exe from another process, for the
// system tests. One command per run; results go to standard output as UTF-8
// lines; the exit status is 0 when the command could do what it was asked.
//
//   wait-window SECONDS     waits for the visible main window
//   window                  the main window and its child windows
//   status                  the status bar's parts and texts
//   responsive MS           whether the main window answers within MS
//   until-responsive SECONDS  waits until the main window answers
//   wait-shown SECONDS      waits until the main window is shown (restored)
//   wait-hidden SECONDS     waits until the main window is hidden
//   count-windows           how many main windows exist
//   tray                    the notification-area icons and their tooltips
//   menu EXE                the function menu, read from EXE's resources
//   popup-menus             how many popup menus are open
//   box CAPTION             the texts of an open message box
//   dismiss CAPTION         presses OK in that message box
//   answer CAPTION yes|no   presses Yes or No in that message box
//   save-as PATH [replace]  fills the save dialog the main window opened as
//                           a person would: types PATH into the file name
//                           box and presses Save; with "replace", answers
//                           Yes when the dialog asks to replace the file
//   dialogs                 how many dialogs the main window owns
//   lock-file PATH SECONDS  holds PATH open for SECONDS, sharing nothing, as
//                           another program that uses the file would
//   post-command ID         sends the main window a command
//   window-rect             the main window's place on the screen:
//                           "rect X Y WIDTH HEIGHT"
//   popup-rect SECONDS      waits for a dialog that the main window owns
//                           (the modal dialog it runs) and prints its
//                           caption and place
//   popup-cancel            cancels that dialog (Esc, the close box)
//   dialog CAPTION          an open dialog: its place, owner and controls
//                           (identifier, class, text, visibility and place
//                           on the screen)
//   wait-gone CAPTION SECONDS  waits until no dialog has that caption
//   wait-text CAPTION ID TEXT SECONDS
//                           waits until control ID of that dialog is shown
//                           with TEXT; how long that took
//   legible SHOT CAPTION FACE POINTS
//                           whether the Chinese texts of that dialog's
//                           static controls appear in the screenshot SHOT
//                           (a 24-bit BMP of the whole screen) as FACE at
//                           POINTS draws them, and that drawing shows
//                           distinct glyphs (not boxes)
//   device-event EVENT      sends the main window WM_DEVICECHANGE with EVENT
//                           (0x8000 arrival, 0x8004 removal) for a device
//                           interface, as the system does; how long the
//                           window took to answer
//   move X Y                moves the main window (screen coordinates)
//   close | minimize        the caption's close and minimise boxes
//   end-session             ends the Windows session as the system does:
//                           sends WM_QUERYENDSESSION, then WM_ENDSESSION
//                           (TRUE); "query=RESULT" and "ended in MS ms"
//   frame-word              the shared frame buffer's frame word
//   hold SECONDS            keeps the shared block open, printing each new
//                           frame word; ends after -1 or SECONDS
//   watch SECONDS [PREFIX]  the same with the time of each change:
//                           "MICROSECONDS WORD" lines, microseconds since
//                           1970 (the Linux host's real-time clock), the
//                           word looked at every millisecond; with PREFIX,
//                           each picture whose word stood still for 300 ms
//                           is written to PREFIX-WORD.bmp (once per word;
//                           the word read again after the copy), so that a
//                           test reads a stalled picture however late it
//                           gets to it
//   dump FILE               writes the shared block's picture as a BMP file
//   glyphs                  whether the UI fonts draw distinct Chinese glyphs
//   codepage                the system's ANSI code page
//   drop-tray-icon          removes pavix.exe's notification-area icon, as a
//                           restarting taskbar loses it
//   taskbar-created         tells the main window that the taskbar started
//                           again ("TaskbarCreated")
//   process                 pavix.exe's handle and thread counts:
//                           "handles=N threads=M"
//   busy-window MS          holds the main window's thread busy for MS
//                           (pavix.exe started with PAVIX_TEST_HOLD=1, see
//                           ui/window_hold.h): "held from US to US", from
//                           the hold's message to the window's next answer,
//                           in the watch command's clock; fails when the
//                           window went on answering

#include <windows.h>
#include <commctrl.h>
#include <dbt.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shared/shared_frame_buffer.h"
#include "ui/resource_ids.h"
#include "ui/ui_texts.h"
#include "ui/window_hold.h"
#include "ui/window_messages.h"

namespace {

using pavix::kMainWindowClass;

void Print(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring Wide(const char* utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), size);
    out.resize(out.size() - 1);
    return out;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

HWND MainWindow() { return FindWindowW(kMainWindowClass, nullptr); }

// A buffer in another process, for messages that carry pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, SIZE_T size) : size_(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                   PROCESS_QUERY_INFORMATION,
                               FALSE, pid);
        if (process_ != nullptr) {
            address_ = static_cast<BYTE*>(
                VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
        }
    }
    ~RemoteBuffer() {
        if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_ != nullptr) CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    BYTE* Address() const { return address_; }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const {
        SIZE_T done = 0;
        return WriteProcessMemory(process_, address_ + offset, data, size, &done) && done == size;
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) const {
        SIZE_T done = 0;
        return ReadProcessMemory(process_, address_ + offset, data, size, &done) && done == size;
    }

private:
    SIZE_T size_;
    HANDLE process_ = nullptr;
    BYTE* address_ = nullptr;
};

// --- main window -------------------------------------------------------------

int WaitWindow(double seconds) {
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG deadline = start + static_cast<ULONGLONG>(seconds * 1000);
    while (GetTickCount64() < deadline) {
        HWND window = MainWindow();
        if (window != nullptr && IsWindowVisible(window)) {
            Print("window after " + std::to_string(GetTickCount64() - start) + " ms");
            return 0;
        }
        Sleep(20);
    }
    Print("no window");
    return 1;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    RECT rect;
    GetWindowRect(child, &rect);
    Print("child class=" + Utf8(ClassOf(child)) +
          " id=" + std::to_string(GetDlgCtrlID(child)) +
          " size=" + std::to_string(rect.right - rect.left) + "x" +
          std::to_string(rect.bottom - rect.top) +
          " visible=" + std::to_string(IsWindowVisible(child) ? 1 : 0));
    return TRUE;
}

int DescribeWindow() {
    HWND window = MainWindow();
    if (window == nullptr) {
        Print("no window");
        return 1;
    }
    RECT rect;
    GetWindowRect(window, &rect);
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    Print("title=" + Utf8(TextOf(window)));
    Print("size=" + std::to_string(rect.right - rect.left) + "x" +
          std::to_string(rect.bottom - rect.top));
    Print("visible=" + std::to_string(IsWindowVisible(window) ? 1 : 0) +
          " iconic=" + std::to_string(IsIconic(window) ? 1 : 0));
    Print(std::string("caption=") + ((style & WS_CAPTION) == WS_CAPTION ? "1" : "0") +
          " minimizebox=" + ((style & WS_MINIMIZEBOX) ? "1" : "0") +
          " maximizebox=" + ((style & WS_MAXIMIZEBOX) ? "1" : "0") +
          " sizing=" + ((style & WS_THICKFRAME) ? "1" : "0"));
    EnumChildWindows(window, PrintChild, 0);
    return 0;
}

HWND StatusBarOf(HWND window) { return FindWindowExW(window, nullptr, STATUSCLASSNAMEW, nullptr); }

// Status bar messages carry pointers: the buffer must live in the target
// process.
int DescribeStatus() {
    HWND window = MainWindow();
    HWND bar = window != nullptr ? StatusBarOf(window) : nullptr;
    if (bar == nullptr) {
        Print("no status bar");
        return 1;
    }
    RemoteBuffer remote(bar, 4096);
    if (remote.Address() == nullptr) {
        Print("cannot reach the process");
        return 1;
    }
    const LRESULT parts =
        SendMessageW(bar, SB_GETPARTS, 16, reinterpret_cast<LPARAM>(remote.Address()));
    int edges[16] = {};
    remote.Read(0, edges, sizeof edges);
    std::string line = "parts=" + std::to_string(parts) + " edges=";
    for (LRESULT i = 0; i < parts && i < 16; ++i) {
        line += (i > 0 ? "," : "") + std::to_string(edges[i]);
    }
    Print(line);
    for (LRESULT i = 0; i < parts && i < 16; ++i) {
        wchar_t text[512] = {};
        remote.Write(0, text, sizeof text);
        SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(remote.Address()));
        remote.Read(0, text, sizeof text - sizeof(wchar_t));
        Print("part" + std::to_string(i) + "=[" + Utf8(text) + "]");
    }
    Print(std::string("icon0=") + (SendMessageW(bar, SB_GETICON, 0, 0) != 0 ? "1" : "0"));
    return 0;
}

// Handles of the process `processId`, from the system's handle table
// (Wine answers GetProcessHandleCount with 0). -1 when it cannot be read.
long CountHandles(DWORD processId) {
    struct HandleEntry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using QueryFunction = LONG(WINAPI*)(int, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) return -1;
    constexpr int kSystemHandleInformation = 16;
    std::vector<BYTE> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
            const auto* entries =
                reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
            long mine = 0;
            for (ULONG i = 0; i < count; ++i) {
                if (entries[i].ownerPid == processId) ++mine;
            }
            return mine;
        }
        buffer.resize(buffer.size() * 4);
    }
    return -1;
}

// The handles and threads of the process that owns the main window.
int DescribeProcess() {
    HWND window = MainWindow();
    DWORD processId = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0) {
        Print("no window");
        return 1;
    }
    const long handles = CountHandles(processId);
    const bool counted = handles >= 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    int threads = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId) ++threads;
    }
    CloseHandle(snapshot);
    if (!counted) {
        Print("cannot count the handles");
        return 1;
    }
    Print("handles=" + std::to_string(handles) + " threads=" + std::to_string(threads));
    return 0;
}

int Responsive(DWORD milliseconds) {
    HWND window = MainWindow();
    if (window == nullptr) {
        Print("no window");
        return 1;
    }
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, milliseconds, &result) != 0) {
        Print("responsive");
        return 0;
    }
    Print("not responsive");
    return 1;
}

// Waits until the main window exists and answers a message; how long that
// took from the probe's start. A thread answers sent messages whenever it
// waits for a reply of its own, so this tells a blocked main thread apart
// only while it waits on something else (a socket, say).
int UntilResponsive(double seconds) {
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG deadline = start + static_cast<ULONGLONG>(seconds * 1000);
    while (GetTickCount64() < deadline) {
        HWND window = MainWindow();
        DWORD_PTR result = 0;
        if (window != nullptr &&
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 50, &result) != 0) {
            Print("responsive after " + std::to_string(GetTickCount64() - start) + " ms");
            return 0;
        }
        if (window == nullptr) Sleep(20);
    }
    Print("not responsive");
    return 1;
}

// Polls until the main window's visibility is `visible`.
int WaitVisible(double seconds, bool visible) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    while (GetTickCount64() < deadline) {
        HWND window = MainWindow();
        if (window != nullptr && (IsWindowVisible(window) != FALSE) == visible &&
            (visible ? !IsIconic(window) : true)) {
            Print(visible ? "shown" : "hidden");
            return 0;
        }
        Sleep(20);
    }
    Print("timed out");
    return 1;
}

BOOL CALLBACK CountMain(HWND window, LPARAM count) {
    if (ClassOf(window) == kMainWindowClass) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int CountWindows() {
    int count = 0;
    EnumWindows(CountMain, reinterpret_cast<LPARAM>(&count));
    Print("main windows=" + std::to_string(count));
    return 0;
}

int PostToMain(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = MainWindow();
    if (window == nullptr) {
        Print("no window");
        return 1;
    }
    return PostMessageW(window, message, wParam, lParam) ? 0 : 1;
}

// Device events carry a record the system copies into the receiver: they
// can be sent, not posted.
int SendDeviceEvent(WPARAM event) {
    HWND window = MainWindow();
    if (window == nullptr) {
        Print("no window");
        return 1;
    }
    DEV_BROADCAST_DEVICEINTERFACE_W device = {};
    device.dbcc_size = sizeof device;
    device.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    DWORD_PTR result = 0;
    const ULONGLONG start = GetTickCount64();
    if (SendMessageTimeoutW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&device),
                            SMTO_NORMAL, 5000, &result) == 0) {
        Print("no answer");
        return 1;
    }
    Print("answered after " + std::to_string(GetTickCount64() - start) + " ms");
    return 0;
}

// --- notification area ----------------------------------------------------------

int DropTrayIcon() {
    HWND window = MainWindow();
    if (window == nullptr) {
        Print("no window");
        return 1;
    }
    NOTIFYICONDATAW record = {};
    record.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record.hWnd = window;
    record.uID = pavix::kTrayIconId;
    return Shell_NotifyIconW(NIM_DELETE, &record) ? 0 : 1;
}

// What the taskbar sends every top-level window when it starts again.
int TaskbarCreated() {
    HWND window = MainWindow();
    const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    if (window == nullptr || message == 0) return 1;
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, 0, 0, SMTO_NORMAL, 5000, &result) != 0 ? 0 : 1;
}

// The tools of a tooltip control: the tray's icons show their tooltips
// through one.
std::vector<std::wstring> ToolTexts(HWND tooltip) {
    std::vector<std::wstring> texts;
    RemoteBuffer remote(tooltip, 8192);
    if (remote.Address() == nullptr) return texts;
    const LRESULT count = SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        TTTOOLINFOW info = {};
        info.cbSize = sizeof info;
        info.lpszText = reinterpret_cast<LPWSTR>(remote.Address() + 1024);
        wchar_t text[1024] = {};
        remote.Write(0, &info, sizeof info);
        remote.Write(1024, text, sizeof text);
        if (!SendMessageW(tooltip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i),
                          reinterpret_cast<LPARAM>(remote.Address()))) {
            continue;
        }
        remote.Read(1024, text, sizeof text - sizeof(wchar_t));
        texts.push_back(text);
    }
    return texts;
}

struct TrayScan {
    int icons = 0;
    std::vector<HWND> tooltips;
};

BOOL CALLBACK CountTrayIcon(HWND child, LPARAM scan) {
    if (IsWindowVisible(child)) ++reinterpret_cast<TrayScan*>(scan)->icons;
    return TRUE;
}

BOOL CALLBACK ScanTray(HWND window, LPARAM scan) {
    auto* s = reinterpret_cast<TrayScan*>(scan);
    const std::wstring name = ClassOf(window);
    if (name == L"__winex11_standalone_tray" && IsWindowVisible(window)) {
        EnumChildWindows(window, CountTrayIcon, scan);
    } else if (name == L"tooltips_class32") {
        s->tooltips.push_back(window);
    }
    return TRUE;
}

// Wine shows the icons in a tray window of its own when the display has no
// notification area.
int DescribeTray() {
    TrayScan scan;
    EnumWindows(ScanTray, reinterpret_cast<LPARAM>(&scan));
    Print("icons=" + std::to_string(scan.icons));
    for (HWND tooltip : scan.tooltips) {
        for (const std::wstring& text : ToolTexts(tooltip)) Print("tip=[" + Utf8(text) + "]");
    }
    return 0;
}

// --- menus ------------------------------------------------------------------------

int DescribeMenu(const char* exe) {
    HMODULE module = LoadLibraryExW(Wide(exe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HMENU menu = module != nullptr ? LoadMenuW(module, MAKEINTRESOURCEW(IDR_FUNCTION_MENU)) : nullptr;
    if (menu == nullptr) {
        Print("no menu");
        return 1;
    }
    wchar_t text[256] = {};
    GetMenuStringW(menu, 0, text, 256, MF_BYPOSITION);
    Print("popup=[" + Utf8(text) + "]");
    HMENU items = GetSubMenu(menu, 0);
    const int count = GetMenuItemCount(items);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        text[0] = L'\0';
        info.dwTypeData = text;
        info.cch = 256;
        GetMenuItemInfoW(items, static_cast<UINT>(i), TRUE, &info);
        if (info.fType & MFT_SEPARATOR) {
            Print("item " + std::to_string(i + 1) + " separator");
        } else {
            Print("item " + std::to_string(i + 1) + " id=" + std::to_string(info.wID) + " text=[" +
                  Utf8(text) + "]");
        }
    }
    DestroyMenu(menu);
    FreeLibrary(module);
    return 0;
}

BOOL CALLBACK CountPopup(HWND window, LPARAM count) {
    if (ClassOf(window) == L"#32768" && IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int PopupMenus() {
    int count = 0;
    EnumWindows(CountPopup, reinterpret_cast<LPARAM>(&count));
    Print("popup menus=" + std::to_string(count));
    return count > 0 ? 0 : 1;
}

// --- message boxes ------------------------------------------------------------------

struct BoxSearch {
    std::wstring caption;
    HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM search) {
    auto* s = reinterpret_cast<BoxSearch*>(search);
    if (ClassOf(window) == L"#32770" && IsWindowVisible(window) && TextOf(window) == s->caption) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK PrintBoxText(HWND child, LPARAM) {
    if (ClassOf(child) == L"Static" && !TextOf(child).empty()) {
        Print("text=[" + Utf8(TextOf(child)) + "]");
    }
    return TRUE;
}

HWND Box(const char* caption) {
    BoxSearch search;
    search.caption = Wide(caption);
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int DescribeBox(const char* caption) {
    HWND box = Box(caption);
    if (box == nullptr) {
        Print("no box");
        return 1;
    }
    HWND owner = GetWindow(box, GW_OWNER);
    Print("owner=" + std::string(owner == nullptr ? "none" : owner == MainWindow() ? "main" : "other"));
    if (owner != nullptr) Print("owner caption=[" + Utf8(TextOf(owner)) + "]");
    EnumChildWindows(box, PrintBoxText, 0);
    return 0;
}

int DismissBox(const char* caption) {
    HWND box = Box(caption);
    if (box == nullptr) {
        Print("no box");
        return 1;
    }
    return PostMessageW(box, WM_COMMAND, IDOK, 0) ? 0 : 1;
}

int AnswerBox(const char* caption, bool yes) {
    HWND box = Box(caption);
    if (box == nullptr) {
        Print("no box");
        return 1;
    }
    return PostMessageW(box, WM_COMMAND, yes ? IDYES : IDNO, 0) ? 0 : 1;
}

// Windows asks every top-level window, then tells it the session ends, and
// ends the process once that message returns (after at most some seconds).
int EndSession() {
    HWND window = MainWindow();
    if (window == nullptr) {
        Print("no window");
        return 1;
    }
    DWORD_PTR query = 0;
    if (SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 20000, &query) == 0) {
        Print("query not answered");
        return 1;
    }
    Print("query=" + std::to_string(query));
    const DWORD start = GetTickCount();
    DWORD_PTR ignored = 0;
    if (SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 60000, &ignored) == 0 &&
        IsWindow(window)) {
        Print("end not answered");
        return 1;
    }
    Print("ended in " + std::to_string(GetTickCount() - start) + " ms");
    return 0;
}

// --- the save dialog -----------------------------------------------------------------

struct OwnedDialogSearch {
    HWND owner;
    HWND found = nullptr;
    int count = 0;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM search) {
    auto* s = reinterpret_cast<OwnedDialogSearch*>(search);
    if (ClassOf(window) == L"#32770" && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) == s->owner) {
        if (s->found == nullptr) s->found = window;
        ++s->count;
    }
    return TRUE;
}

HWND OwnedDialog(HWND owner, int* count = nullptr) {
    OwnedDialogSearch search{owner};
    EnumWindows(FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
    if (count != nullptr) *count = search.count;
    return search.found;
}

HWND WaitOwnedDialog(HWND owner, DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        HWND dialog = OwnedDialog(owner);
        if (dialog != nullptr || GetTickCount64() > deadline) return dialog;
        Sleep(50);
    }
}

int Dialogs() {
    int count = 0;
    OwnedDialog(MainWindow(), &count);
    Print("dialogs=" + std::to_string(count));
    return count > 0 ? 0 : 1;
}

// The first visible edit control among a dialog's children.
BOOL CALLBACK FindVisibleEdit(HWND child, LPARAM found) {
    if (ClassOf(child) == L"Edit" && IsWindowVisible(child)) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

// The file name box: an edit control of its own (edt1) or the edit inside
// the file name combo box (cmb13).
HWND FileNameBox(HWND dialog) {
    HWND box = GetDlgItem(dialog, 0x480);
    if (box != nullptr && ClassOf(box) == L"Edit") return box;
    HWND combo = GetDlgItem(dialog, 0x47c);
    if (combo != nullptr) {
        box = FindWindowExW(combo, nullptr, L"Edit", nullptr);
        if (box != nullptr) return box;
    }
    // Otherwise the dialog's one visible edit control, wherever it sits.
    HWND found = nullptr;
    EnumChildWindows(dialog, FindVisibleEdit, reinterpret_cast<LPARAM>(&found));
    if (found == nullptr) EnumChildWindows(dialog, PrintChild, 0);
    return found;
}

int SaveAs(const char* path, bool replace) {
    HWND main = MainWindow();
    HWND dialog = main != nullptr ? WaitOwnedDialog(main, 20000) : nullptr;
    if (dialog == nullptr) {
        Print("no save dialog");
        return 1;
    }
    Print("dialog=[" + Utf8(TextOf(dialog)) + "]");
    HWND box = FileNameBox(dialog);
    if (box == nullptr) {
        Print("no file name box");
        return 1;
    }
    // Typed, character by character, over whatever the box held.
    SendMessageW(box, WM_SETFOCUS, 0, 0);
    SendMessageW(box, EM_SETSEL, 0, -1);
    SendMessageW(box, WM_CLEAR, 0, 0);
    for (wchar_t c : Wide(path)) SendMessageW(box, WM_CHAR, c, 1);
    wchar_t typed[1024] = {};
    SendMessageW(box, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(typed));
    Print("typed=[" + Utf8(typed) + "]");
    HWND save = GetDlgItem(dialog, IDOK);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(save));
    // The dialog goes, or asks whether to replace the file.
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (GetTickCount64() < deadline) {
        if (!IsWindow(dialog) || !IsWindowVisible(dialog)) {
            Print("saved");
            return 0;
        }
        HWND question = OwnedDialog(dialog);
        if (question != nullptr) {
            Print("asked=[" + Utf8(TextOf(question)) + "]");
            if (!replace) return 1;
            PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(question, IDYES)));
            Sleep(200);
        }
        Sleep(50);
    }
    Print("the dialog stayed");
    return 1;
}


// --- dialogs ----------------------------------------------------------------------

std::string RectText(const RECT& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
           std::to_string(rect.right - rect.left) + "," + std::to_string(rect.bottom - rect.top);
}

BOOL CALLBACK PrintControl(HWND child, LPARAM) {
    RECT rect;
    GetWindowRect(child, &rect);
    // Texts without an identifier of their own carry 0xFFFF, that is -1.
    const int id = GetDlgCtrlID(child);
    Print("control id=" + std::to_string(id == 0xFFFF ? -1 : id) +
          " class=" + Utf8(ClassOf(child)) + " text=[" + Utf8(TextOf(child)) + "]" +
          " visible=" + std::to_string(IsWindowVisible(child) ? 1 : 0) +
          " rect=" + RectText(rect));
    return TRUE;
}

int DescribeDialog(const char* caption) {
    HWND dialog = Box(caption);
    if (dialog == nullptr) {
        Print("no dialog");
        return 1;
    }
    RECT rect;
    GetWindowRect(dialog, &rect);
    HWND owner = GetWindow(dialog, GW_OWNER);
    Print("dialog rect=" + RectText(rect));
    Print("owner=" + std::string(owner == nullptr ? "none" : owner == MainWindow() ? "main" : "other"));
    EnumChildWindows(dialog, PrintControl, 0);
    return 0;
}

int WaitGone(const char* caption, double seconds) {
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG deadline = start + static_cast<ULONGLONG>(seconds * 1000);
    while (GetTickCount64() < deadline) {
        if (Box(caption) == nullptr) {
            Print("gone after " + std::to_string(GetTickCount64() - start) + " ms");
            return 0;
        }
        Sleep(10);
    }
    Print("still there");
    return 1;
}

int WaitText(const char* caption, int id, const std::wstring& text, double seconds) {
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG deadline = start + static_cast<ULONGLONG>(seconds * 1000);
    std::wstring last;
    while (GetTickCount64() < deadline) {
        HWND dialog = Box(caption);
        HWND control = dialog != nullptr ? GetDlgItem(dialog, id) : nullptr;
        if (control != nullptr) {
            last = TextOf(control);
            if (IsWindowVisible(control) && last == text) {
                Print("shown after " + std::to_string(GetTickCount64() - start) + " ms");
                return 0;
            }
        }
        Sleep(5);
    }
    Print("not shown; last text [" + Utf8(last) + "]");
    return 1;
}

// A 24-bit bottom-up BMP file, as ImageMagick writes a screenshot.
struct Picture {
    int width = 0;
    int height = 0;
    int textHeight = 0;  // a drawing's: the height its text takes
    std::vector<BYTE> rgb;  // top row first, 3 bytes a pixel (blue, green, red)
    int Ink(int x, int y) const {
        const BYTE* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return (p[0] + p[1] + p[2]) / 3 < 128 ? 1 : 0;
    }
};

bool ReadBmp(const char* path, Picture* out) {
    std::FILE* in = _wfopen(Wide(path).c_str(), L"rb");
    if (in == nullptr) return false;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    bool ok = std::fread(&file, sizeof file, 1, in) == 1 && std::fread(&info, sizeof info, 1, in) == 1 &&
              file.bfType == 0x4D42 && info.biBitCount == 24 && info.biCompression == BI_RGB &&
              info.biWidth > 0 && info.biWidth <= 8192 && info.biHeight != 0 &&
              std::abs(info.biHeight) <= 8192;
    if (ok) {
        out->width = info.biWidth;
        out->height = std::abs(info.biHeight);
        const std::size_t stride = (static_cast<std::size_t>(out->width) * 3 + 3) & ~std::size_t{3};
        std::vector<BYTE> row(stride);
        out->rgb.assign(static_cast<std::size_t>(out->width) * out->height * 3, 0);
        std::fseek(in, static_cast<long>(file.bfOffBits), SEEK_SET);
        for (int r = 0; ok && r < out->height; ++r) {
            ok = std::fread(row.data(), 1, stride, in) == stride;
            const int y = info.biHeight > 0 ? out->height - 1 - r : r;
            std::memcpy(&out->rgb[static_cast<std::size_t>(y) * out->width * 3], row.data(),
                        static_cast<std::size_t>(out->width) * 3);
        }
    }
    std::fclose(in);
    return ok;
}

// The ink (dark pixels) of a picture area, cut to its bounding box.
struct Ink {
    int width = 0;
    int height = 0;
    std::vector<int> bits;
    int count = 0;
};

Ink InkOf(const Picture& picture, const RECT& area) {
    int left = area.right, top = area.bottom, right = area.left - 1, bottom = area.top - 1;
    for (int y = std::max<int>(0, area.top); y < std::min<int>(picture.height, area.bottom); ++y) {
        for (int x = std::max<int>(0, area.left); x < std::min<int>(picture.width, area.right); ++x) {
            if (!picture.Ink(x, y)) continue;
            left = std::min<int>(left, x);
            right = std::max<int>(right, x);
            top = std::min<int>(top, y);
            bottom = std::max<int>(bottom, y);
        }
    }
    Ink ink;
    if (right < left) return ink;
    ink.width = right - left + 1;
    ink.height = bottom - top + 1;
    ink.bits.assign(static_cast<std::size_t>(ink.width) * ink.height, 0);
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            const int bit = picture.Ink(x, y);
            ink.bits[static_cast<std::size_t>(y - top) * ink.width + (x - left)] = bit;
            ink.count += bit;
        }
    }
    return ink;
}

// `text` drawn as a static control draws it, black on the dialog colour,
// into a picture of `width` x `height`.
Picture Render(const std::wstring& text, const wchar_t* face, int fontHeight, int width, int height) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HFONT font = CreateFontW(fontHeight, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             0, 0, PROOF_QUALITY, FF_DONTCARE, face);  // as the dialog manager does
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT all = {0, 0, width, height};
    HBRUSH face_brush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FillRect(dc, &all, face_brush);
    DeleteObject(face_brush);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    constexpr UINT kStaticFormat = DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK;
    RECT measured = all;
    DrawTextW(dc, text.c_str(), -1, &measured, kStaticFormat | DT_CALCRECT);
    picture.textHeight = measured.bottom - measured.top;
    DrawTextW(dc, text.c_str(), -1, &all, kStaticFormat);
    GdiFlush();
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    picture.rgb.assign(static_cast<std::size_t>(width) * height * 3, 0);
    for (int y = 0; y < height; ++y) {
        std::memcpy(&picture.rgb[static_cast<std::size_t>(y) * width * 3],
                    static_cast<const BYTE*>(bits) + y * stride, static_cast<std::size_t>(width) * 3);
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return picture;
}

bool HasChinese(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c >= 0x3000) return true;
    }
    return false;
}

// Each Chinese character of `text`, drawn alone with the face, gives a
// glyph of its own: boxes would all be alike.
bool DistinctGlyphs(const std::wstring& text, const wchar_t* face, int fontHeight) {
    std::wstring characters;
    for (wchar_t c : text) {
        if (c >= 0x3000 && characters.find(c) == std::wstring::npos) characters.push_back(c);
    }
    std::vector<std::vector<int>> seen;
    for (wchar_t c : characters) {
        const Picture one = Render(std::wstring(1, c), face, fontHeight, 48, 48);
        const Ink ink = InkOf(one, RECT{0, 0, 48, 48});
        if (ink.count == 0) return false;
        std::vector<int> key = ink.bits;
        key.push_back(ink.width);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) return false;
        seen.push_back(key);
    }
    return true;
}

// How far two inks cover the same places, from their top left corners.
double Overlap(const Ink& a, const Ink& b) {
    int both = 0, either = 0;
    const int w = std::max(a.width, b.width);
    const int h = std::max(a.height, b.height);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int p = x < a.width && y < a.height ? a.bits[static_cast<std::size_t>(y) * a.width + x] : 0;
            const int q = x < b.width && y < b.height ? b.bits[static_cast<std::size_t>(y) * b.width + x] : 0;
            both += p & q;
            either += p | q;
        }
    }
    return either > 0 ? static_cast<double>(both) / either : 0.0;
}

struct LegibleScan {
    const Picture* shot;
    RECT dialogArea;  // the dialog's client area on the screen
    const wchar_t* face;
    int points;
    int checked = 0;
    int failed = 0;
};

BOOL CALLBACK CheckLegible(HWND child, LPARAM argument) {
    auto* scan = reinterpret_cast<LegibleScan*>(argument);
    const std::wstring text = TextOf(child);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    const bool isText = ClassOf(child) == L"Static" && (style & SS_TYPEMASK) <= SS_RIGHT;
    if (!isText || !IsWindowVisible(child) || !HasChinese(text)) return TRUE;
    RECT client;
    GetClientRect(child, &client);
    POINT origin = {0, 0};
    ClientToScreen(child, &origin);
    // The character height the dialog manager makes of the point size.
    HDC screen = GetDC(nullptr);
    const int nominal = -MulDiv(scan->points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    double overlap = -1.0;
    int bestHeight = nominal;
    std::wstring bestFace;
    Ink onScreen;
    Ink expected;
    // FACE may name several faces, comma-separated: a font linked for the
    // Chinese characters may end up drawing the whole text.
    std::wstring faces = scan->face;
    for (std::size_t start = 0; start <= faces.size();) {
        std::size_t comma = faces.find(L',', start);
        if (comma == std::wstring::npos) comma = faces.size();
        const std::wstring face = faces.substr(start, comma - start);
        start = comma + 1;
        for (int fontHeight : {nominal}) {
            const Picture drawn = Render(text, face.c_str(), fontHeight, client.right, client.bottom);
            // Only the lines the text takes: a neighbour may overlap the rest.
            // Nor what lies outside the dialog: a control may stick out.
            RECT area = {origin.x, origin.y, origin.x + client.right,
                         origin.y + std::min<int>(client.bottom, drawn.textHeight)};
            IntersectRect(&area, &area, &scan->dialogArea);
            const Ink screenInk = InkOf(*scan->shot, area);
            const Ink drawnInk = InkOf(drawn, RECT{0, 0, client.right, client.bottom});
            const double match = Overlap(screenInk, drawnInk);
            if (match > overlap) {
                overlap = match;
                bestHeight = fontHeight;
                bestFace = face;
                onScreen = screenInk;
                expected = drawnInk;
            }
        }
    }
    const bool distinct = DistinctGlyphs(text, bestFace.c_str(), bestHeight);
    const bool legible = overlap >= 0.8 && distinct;
    Print("[" + Utf8(text) + "]: ink " + std::to_string(onScreen.width) + "x" +
          std::to_string(onScreen.height) + " on screen, " + std::to_string(expected.width) + "x" +
          std::to_string(expected.height) + " drawn as " + Utf8(bestFace) + " at height " + std::to_string(bestHeight) +
          ", overlap " +
          std::to_string(static_cast<int>(overlap * 100)) + "%, glyphs " +
          (distinct ? "distinct" : "NOT distinct") + (legible ? "" : " (NOT legible)"));
    ++scan->checked;
    if (!legible) ++scan->failed;
    return TRUE;
}

int Legible(const char* shotPath, const char* caption, const char* face, int points) {
    Picture shot;
    if (!ReadBmp(shotPath, &shot)) {
        Print("cannot read " + std::string(shotPath));
        return 1;
    }
    HWND dialog = Box(caption);
    if (dialog == nullptr) {
        Print("no dialog");
        return 1;
    }
    const std::wstring faceText = Wide(face);
    RECT client;
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
    LegibleScan scan{&shot, client, faceText.c_str(), points};
    EnumChildWindows(dialog, CheckLegible, reinterpret_cast<LPARAM>(&scan));
    Print(std::to_string(scan.checked) + " Chinese texts checked, " + std::to_string(scan.failed) +
          " not legible");
    return scan.checked > 0 && scan.failed == 0 ? 0 : 1;
}

// --- shared frame buffer -----------------------------------------------------------

struct Block {
    HANDLE mapping = nullptr;
    void* view = nullptr;
    Block() { pavix::OpenSharedFrameBuffer(&mapping, &view); }
    ~Block() { pavix::CloseSharedFrameBuffer(&mapping, &view); }
};

int PrintRect(HWND window) {
    RECT rect;
    if (window == nullptr || !GetWindowRect(window, &rect)) {
        Print("no window");
        return 1;
    }
    Print("rect " + std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
          std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top));
    return 0;
}

// The dialog the main window runs modally: a visible dialog window that the
// main window owns. (Wine answers GetWindow's GW_ENABLEDPOPUP with nothing.)
struct PopupSearch {
    HWND owner = nullptr;
    HWND found = nullptr;
};

BOOL CALLBACK FindPopup(HWND window, LPARAM search) {
    auto* s = reinterpret_cast<PopupSearch*>(search);
    if (GetWindow(window, GW_OWNER) == s->owner && IsWindowVisible(window) &&
        IsWindowEnabled(window) && ClassOf(window) == L"#32770") {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND Popup() {
    PopupSearch search;
    search.owner = MainWindow();
    if (search.owner == nullptr) return nullptr;
    EnumWindows(FindPopup, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int PopupRect(double seconds) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    HWND popup = Popup();
    while (popup == nullptr && GetTickCount64() < end) {
        Sleep(50);
        popup = Popup();
    }
    if (popup == nullptr) {
        Print("no dialog");
        return 1;
    }
    Print("caption=[" + Utf8(TextOf(popup)) + "]");
    return PrintRect(popup);
}

int FrameWord() {
    Block block;
    if (block.view == nullptr) return 1;
    Print("frame word=" + std::to_string(pavix::ReadFrameWord(block.view)));
    return 0;
}

int Hold(double seconds) {
    Block block;
    if (block.view == nullptr) return 1;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    int32_t last = pavix::ReadFrameWord(block.view);
    Print("frame word=" + std::to_string(last));
    while (GetTickCount64() < deadline) {
        const int32_t now = pavix::ReadFrameWord(block.view);
        if (now != last) {
            Print("frame word=" + std::to_string(now));
            last = now;
            if (now == pavix::STATUS_SHUTDOWN) return 0;
        }
        Sleep(2);
    }
    return 1;
}

std::int64_t UnixMicroseconds() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ULL;
    return static_cast<std::int64_t>((ticks - kTicksFrom1601To1970) / 10);
}

bool DumpStill(const void* view, const std::wstring& prefix, int32_t word);

int Watch(double seconds, const std::wstring& stillPrefix) {
    constexpr ULONGLONG kStillMs = 300;
    Block block;
    if (block.view == nullptr) return 1;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    // Lines are kept and written in batches: writing each at once costs the
    // poll its millisecond rhythm.
    std::string pending;
    auto note = [&pending](int32_t word) {
        pending += std::to_string(UnixMicroseconds()) + " " + std::to_string(word) + "\n";
    };
    auto flush = [&pending]() {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), pending.data(),
                  static_cast<DWORD>(pending.size()), &written, nullptr);
        pending.clear();
    };
    int32_t last = pavix::ReadFrameWord(block.view);
    note(last);
    flush();
    ULONGLONG lastFlush = GetTickCount64();
    ULONGLONG lastChange = lastFlush;
    bool stillWritten = false;
    while (GetTickCount64() < deadline) {
        const int32_t now = pavix::ReadFrameWord(block.view);
        if (now == last && !stillWritten && !stillPrefix.empty() &&
            GetTickCount64() - lastChange >= kStillMs) {
            stillWritten = DumpStill(block.view, stillPrefix, now);
        }
        if (now != last) {
            note(now);
            last = now;
            lastChange = GetTickCount64();
            stillWritten = false;
            if (now == pavix::STATUS_SHUTDOWN) {
                flush();
                return 0;
            }
        }
        if (!pending.empty() && GetTickCount64() - lastFlush >= 50) {
            flush();
            lastFlush = GetTickCount64();
        }
        Sleep(1);
    }
    flush();
    return 1;
}

int BusyWindow(DWORD milliseconds) {
    HWND window = MainWindow();
    if (window == nullptr) {
        Print("no window");
        return 1;
    }
    const UINT hold = RegisterWindowMessageW(pavix::kWindowHoldMessageName);
    const std::int64_t from = UnixMicroseconds();
    if (hold == 0 || !PostMessageW(window, hold, milliseconds, 0)) {
        Print("cannot post the hold");
        return 1;
    }
    // Once the window's thread has taken the hold up, a look at it goes
    // unanswered; until then it answers (sent messages come first).
    bool held = false;
    DWORD_PTR result = 0;
    const ULONGLONG giveUp = GetTickCount64() + milliseconds;
    while (!held && GetTickCount64() < giveUp) {
        held = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result) == 0;
        if (!held) Sleep(10);
    }
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, milliseconds + 20000, &result);
    const std::int64_t to = UnixMicroseconds();
    Print("held from " + std::to_string(from) + " to " + std::to_string(to));
    if (!held) Print("the window went on answering: no hold");
    return held ? 0 : 1;
}

// The pixel area is a bottom-up 24-bit DIB already: a BMP file header and a
// bitmap header in front of it make the file.
bool WriteBmp(const std::wstring& path, const void* pixels) {
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = pavix::kPictureWidth;
    info.biHeight = pavix::kPictureHeight;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(pavix::kPixelAreaSize);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::FILE* out = _wfopen(path.c_str(), L"wb");
    if (out == nullptr) return false;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(pixels, 1, pavix::kPixelAreaSize, out);
    return std::fclose(out) == 0;
}

int Dump(const char* path) {
    Block block;
    if (block.view == nullptr) return 1;
    return WriteBmp(Wide(path), static_cast<const char*>(block.view) + pavix::kPixelAreaOffset)
               ? 0
               : 1;
}

// Writes the picture of `word` to PREFIX-WORD.bmp when the word is still
// the same after the copy; through a temporary name, so that the file is
// whole whenever it is there.
bool DumpStill(const void* view, const std::wstring& prefix, int32_t word) {
    std::vector<char> pixels(pavix::kPixelAreaSize);
    std::memcpy(pixels.data(), static_cast<const char*>(view) + pavix::kPixelAreaOffset,
                pixels.size());
    if (pavix::ReadFrameWord(view) != word) return false;
    const std::wstring path = prefix + L"-" + std::to_wstring(word) + L".bmp";
    const std::wstring temporary = path + L".part";
    return WriteBmp(temporary, pixels.data()) &&
           MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// --- fonts ---------------------------------------------------------------------------

// Draws each character alone with `face` and keeps the pixels.
std::vector<std::vector<BYTE>> GlyphImages(const wchar_t* face, const std::wstring& text) {
    std::vector<std::vector<BYTE>> images;
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 32;
    info.bmiHeader.biHeight = 32;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                             NONANTIALIASED_QUALITY, 0, face);
    SelectObject(dc, bitmap);
    SelectObject(dc, font);
    for (wchar_t c : text) {
        RECT all = {0, 0, 32, 32};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        TextOutW(dc, 4, 4, &c, 1);
        GdiFlush();
        const BYTE* p = static_cast<const BYTE*>(bits);
        images.emplace_back(p, p + 32 * 32 * 4);
    }
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return images;
}

// Without a font for them, every Chinese character comes out as the same
// box: distinct, non-blank glyphs mean the texts can be read.
int Glyphs() {
    const std::wstring text = L"没有连上手机菜单";
    int status = 0;
    for (const wchar_t* face : {L"Tahoma", L"MS Shell Dlg", L"Microsoft Sans Serif"}) {
        const auto images = GlyphImages(face, text);
        const std::vector<BYTE> blank(32 * 32 * 4, 0xFF);
        int distinct = 0;
        bool anyBlank = false;
        for (std::size_t i = 0; i < images.size(); ++i) {
            if (images[i] == blank) anyBlank = true;
            bool seen = false;
            for (std::size_t j = 0; j < i; ++j) seen = seen || images[j] == images[i];
            if (!seen) ++distinct;
        }
        const bool legible = !anyBlank && distinct == static_cast<int>(images.size());
        Print(Utf8(face) + ": " + std::to_string(distinct) + " of " +
              std::to_string(images.size()) + " glyphs distinct" + (legible ? "" : " (NOT legible)"));
        if (!legible) status = 1;
    }
    return status;
}

int Usage() {
    Print("usage: pavix_probe COMMAND [ARGUMENT]   (see the source for the commands)");
    return 2;
}

}  // namespace

int main() {
    // The arguments as the wide command line has them: the narrow ones pass
    // through the ANSI code page and would lose the Chinese captions.
    int argc = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (wide == nullptr || argc < 2) return Usage();
    const std::string command = Utf8(wide[1]);
    const std::string argumentText = argc > 2 ? Utf8(wide[2]) : std::string();
    const char* argument = argc > 2 ? argumentText.c_str() : nullptr;
    if (command == "wait-window" && argument) return WaitWindow(std::atof(argument));
    if (command == "window") return DescribeWindow();
    if (command == "status") return DescribeStatus();
    if (command == "responsive" && argument) return Responsive(std::strtoul(argument, nullptr, 10));
    if (command == "until-responsive" && argument) return UntilResponsive(std::atof(argument));
    if (command == "wait-shown" && argument) return WaitVisible(std::atof(argument), true);
    if (command == "wait-hidden" && argument) return WaitVisible(std::atof(argument), false);
    if (command == "count-windows") return CountWindows();
    if (command == "tray") return DescribeTray();
    if (command == "menu" && argument) return DescribeMenu(argument);
    if (command == "popup-menus") return PopupMenus();
    if (command == "box" && argument) return DescribeBox(argument);
    if (command == "dismiss" && argument) return DismissBox(argument);
    if (command == "answer" && argc > 3) return AnswerBox(argument, Utf8(wide[3]) == "yes");
    if (command == "save-as" && argument) {
        return SaveAs(argument, argc > 3 && Utf8(wide[3]) == "replace");
    }
    if (command == "dialogs") return Dialogs();
    if (command == "lock-file" && argc > 3) {
        HANDLE file = CreateFileW(wide[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            Print("cannot open the file");
            return 1;
        }
        Print("holding the file");
        Sleep(static_cast<DWORD>(_wtof(wide[3]) * 1000));
        CloseHandle(file);
        return 0;
    }
    if (command == "dialog" && argument) return DescribeDialog(argument);
    if (command == "wait-gone" && argc > 3) return WaitGone(argument, _wtof(wide[3]));
    if (command == "wait-text" && argc > 5) {
        return WaitText(argument, _wtoi(wide[3]), wide[4], _wtof(wide[5]));
    }
    if (command == "legible" && argc > 5) {
        const std::string caption = Utf8(wide[3]);
        const std::string face = Utf8(wide[4]);
        return Legible(argument, caption.c_str(), face.c_str(), _wtoi(wide[5]));
    }
    if (command == "device-event" && argument) {
        return SendDeviceEvent(std::wcstoul(wide[2], nullptr, 0));
    }
    if (command == "post-command" && argument) {
        return PostToMain(WM_COMMAND, std::strtoul(argument, nullptr, 10), 0);
    }
    if (command == "move" && argc > 3) {
        HWND window = MainWindow();
        return window != nullptr &&
                       SetWindowPos(window, nullptr, _wtoi(wide[2]), _wtoi(wide[3]), 0, 0,
                                    SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
                   ? 0
                   : 1;
    }
    if (command == "window-rect") return PrintRect(MainWindow());
    if (command == "popup-rect" && argument) return PopupRect(std::atof(argument));
    if (command == "popup-cancel") {
        HWND popup = Popup();
        return popup != nullptr && PostMessageW(popup, WM_COMMAND, IDCANCEL, 0) ? 0 : 1;
    }
    if (command == "close") return PostToMain(WM_SYSCOMMAND, SC_CLOSE, 0);
    if (command == "minimize") return PostToMain(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    if (command == "end-session") return EndSession();
    if (command == "frame-word") return FrameWord();
    if (command == "process") return DescribeProcess();
    if (command == "drop-tray-icon") return DropTrayIcon();
    if (command == "taskbar-created") return TaskbarCreated();
    if (command == "hold" && argument) return Hold(std::atof(argument));
    if (command == "watch" && argument) {
        return Watch(std::atof(argument), argc > 3 ? std::wstring(wide[3]) : std::wstring());
    }
    if (command == "dump" && argument) return Dump(argument);
    if (command == "glyphs") return Glyphs();
    if (command == "busy-window" && argument) return BusyWindow(std::strtoul(argument, nullptr, 10));
    if (command == "codepage") {
        Print("ansi code page=" + std::to_string(GetACP()));
        return 0;
    }
    return Usage();
}

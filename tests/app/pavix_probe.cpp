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
//   post-command ID         sends the main window a command
//   move X Y                moves the main window (screen coordinates)
//   close | minimize        the caption's close and minimise boxes
//   frame-word              the shared frame buffer's frame word
//   hold SECONDS            keeps the shared block open, printing each new
//                           frame word; ends after -1 or SECONDS
//   watch SECONDS           the same with the time of each change:
//                           "MICROSECONDS WORD" lines, microseconds since
//                           1970 (the Linux host's real-time clock), the
//                           word looked at every millisecond
//   dump FILE               writes the shared block's picture as a BMP file
//   glyphs                  whether the UI fonts draw distinct Chinese glyphs
//   codepage                the system's ANSI code page
//   drop-tray-icon          removes pavix.exe's notification-area icon, as a
//                           restarting taskbar loses it
//   taskbar-created         tells the main window that the taskbar started
//                           again ("TaskbarCreated")
//   process                 pavix.exe's handle and thread counts:
//                           "handles=N threads=M"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shared/shared_frame_buffer.h"
#include "ui/resource_ids.h"
#include "ui/ui_texts.h"
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

// --- shared frame buffer -----------------------------------------------------------

struct Block {
    HANDLE mapping = nullptr;
    void* view = nullptr;
    Block() { pavix::OpenSharedFrameBuffer(&mapping, &view); }
    ~Block() { pavix::CloseSharedFrameBuffer(&mapping, &view); }
};

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

int Watch(double seconds) {
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
    while (GetTickCount64() < deadline) {
        const int32_t now = pavix::ReadFrameWord(block.view);
        if (now != last) {
            note(now);
            last = now;
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

// The pixel area is a bottom-up 24-bit DIB already: a BMP file header and a
// bitmap header in front of it make the file.
int Dump(const char* path) {
    Block block;
    if (block.view == nullptr) return 1;
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
    std::FILE* out = _wfopen(Wide(path).c_str(), L"wb");
    if (out == nullptr) return 1;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(static_cast<const char*>(block.view) + pavix::kPixelAreaOffset, 1,
                pavix::kPixelAreaSize, out);
    return std::fclose(out) == 0 ? 0 : 1;
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
    if (command == "close") return PostToMain(WM_SYSCOMMAND, SC_CLOSE, 0);
    if (command == "minimize") return PostToMain(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    if (command == "frame-word") return FrameWord();
    if (command == "process") return DescribeProcess();
    if (command == "drop-tray-icon") return DropTrayIcon();
    if (command == "taskbar-created") return TaskbarCreated();
    if (command == "hold" && argument) return Hold(std::atof(argument));
    if (command == "watch" && argument) return Watch(std::atof(argument));
    if (command == "dump" && argument) return Dump(argument);
    if (command == "glyphs") return Glyphs();
    if (command == "codepage") {
        Print("ansi code page=" + std::to_string(GetACP()));
        return 0;
    }
    return Usage();
}

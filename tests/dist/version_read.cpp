// version_read.exe: prints the version record of each file named on the
// command line as Windows' version API reads it (GetFileVersionInfoW), for
// the package tests. UTF-8 lines per file:
//
//   file PATH
//   fixed FILEVERSION PRODUCTVERSION type=app|dll|0xN
//   translation LLLL-CCCC             one line per translation
//   LLLL-CCCC NAME=VALUE              the string values of each translation
//
// Exit status 1 when a file has no readable version record.

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Print(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(size - 1));
    return out;
}

std::string Quad(DWORD high, DWORD low) {
    char text[64];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(high)),
                  static_cast<unsigned long>(LOWORD(high)), static_cast<unsigned long>(HIWORD(low)),
                  static_cast<unsigned long>(LOWORD(low)));
    return text;
}

bool Describe(const wchar_t* path) {
    Print("file " + Utf8(path));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) {
        Print("error no version record (" + std::to_string(GetLastError()) + ")");
        return false;
    }
    std::vector<unsigned char> record(size);
    if (!GetFileVersionInfoW(path, 0, size, record.data())) {
        Print("error unreadable version record (" + std::to_string(GetLastError()) + ")");
        return false;
    }

    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(record.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        Print("error no fixed part");
        return false;
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (fixed->dwSignature != VS_FFI_SIGNATURE) {
        Print("error bad signature");
        return false;
    }
    char type[32];
    if (fixed->dwFileType == VFT_APP) {
        std::snprintf(type, sizeof type, "app");
    } else if (fixed->dwFileType == VFT_DLL) {
        std::snprintf(type, sizeof type, "dll");
    } else {
        std::snprintf(type, sizeof type, "0x%lx", static_cast<unsigned long>(fixed->dwFileType));
    }
    Print("fixed " + Quad(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + " " +
          Quad(fixed->dwProductVersionMS, fixed->dwProductVersionLS) + " type=" + type);

    struct Translation {
        WORD language;
        WORD codePage;
    };
    if (!VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation", &value, &length)) {
        Print("error no translation list");
        return false;
    }
    const auto* translations = static_cast<const Translation*>(value);
    const UINT count = length / sizeof(Translation);
    for (UINT i = 0; i < count; ++i) {
        wchar_t key[16];
        _snwprintf(key, 16, L"%04x%04x", translations[i].language, translations[i].codePage);
        key[15] = L'\0';
        const std::string name = Utf8(key).substr(0, 4) + "-" + Utf8(key).substr(4);
        Print("translation " + name);
        static const wchar_t* const kNames[] = {L"ProductName",     L"ProductVersion",
                                                L"FileVersion",     L"FileDescription",
                                                L"LegalCopyright",  L"InternalName",
                                                L"OriginalFilename", L"CompanyName"};
        for (const wchar_t* field : kNames) {
            std::wstring query = std::wstring(L"\\StringFileInfo\\") + key + L"\\" + field;
            if (VerQueryValueW(record.data(), query.c_str(), &value, &length) && length > 0) {
                Print(name + " " + Utf8(field) + "=" + Utf8(static_cast<const wchar_t*>(value)));
            }
        }
    }
    return true;
}

}  // namespace

int main() {
    // The paths as Windows gave them (not through the ANSI code page).
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 2) {
        Print("usage: version_read FILE...");
        return 2;
    }
    bool ok = true;
    for (int i = 1; i < argc; ++i) ok = Describe(argv[i]) && ok;
    LocalFree(argv);
    return ok ? 0 : 1;
}

// A stand-in for the 32-bit registration tool (SysWOW64\regsvr32.exe) in the
// install tests, where no 32-bit program can run: it appends its command
// line to regsvr32.log beside itself and fails as regsvr32 does when it
// cannot load the module (exit code 3).

#include <windows.h>

#include <cstring>

int main() {
    char path[MAX_PATH + 16] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    char* slash = std::strrchr(path, '\\');
    if (slash == nullptr) return 1;
    std::strcpy(slash + 1, "regsvr32.log");

    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    const char* line = GetCommandLineA();
    DWORD written = 0;
    WriteFile(log, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    WriteFile(log, "\r\n", 2, &written, nullptr);
    CloseHandle(log);
    return 3;
}

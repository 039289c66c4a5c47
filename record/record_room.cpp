#include "record/record_room.h"

#include <windows.h>

#include <cwchar>

namespace pavix {

std::uint64_t RecordingRoomAt(const wchar_t* path) {
    // The file's folder, with its trailing separator: a folder may be
    // another volume mounted there.
    wchar_t folder[MAX_PATH] = {};
    const size_t length = std::wcslen(path);
    if (length >= MAX_PATH) return ~0ull;
    std::wmemcpy(folder, path, length);
    wchar_t* cut = nullptr;
    for (wchar_t* c = folder; *c != L'\0'; ++c) {
        if (*c == L'\\' || *c == L'/') cut = c;
    }
    if (cut == nullptr) return ~0ull;
    cut[1] = L'\0';
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(folder, &available, nullptr, nullptr)) return ~0ull;
    std::uint64_t room = available.QuadPart;
    WIN32_FILE_ATTRIBUTE_DATA replaced = {};
    if (GetFileAttributesExW(path, GetFileExInfoStandard, &replaced) &&
        (replaced.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        room += (static_cast<std::uint64_t>(replaced.nFileSizeHigh) << 32) | replaced.nFileSizeLow;
    }
    return room;
}

}  // namespace pavix

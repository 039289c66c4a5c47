#include "record/record_room.h"

#include <windows.h>

#include <cwchar>

namespace pavix {

namespace {

// The folder of the file at `path`, with its trailing separator (a folder
// may be another volume mounted there); false when `path` names none.
bool FolderOf(const wchar_t* path, wchar_t (&folder)[MAX_PATH]) {
    const size_t length = std::wcslen(path);
    if (length >= MAX_PATH) return false;
    std::wmemcpy(folder, path, length + 1);
    wchar_t* cut = nullptr;
    for (wchar_t* c = folder; *c != L'\0'; ++c) {
        if (*c == L'\\' || *c == L'/') cut = c;
    }
    if (cut == nullptr) return false;
    cut[1] = L'\0';
    return true;
}

// The size of the file at `path`; 0 when there is none.
std::uint64_t FileSizeAt(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &file) ||
        (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return 0;
    }
    return (static_cast<std::uint64_t>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
}

}  // namespace

std::uint64_t RecordingRoomAt(const wchar_t* path) {
    wchar_t folder[MAX_PATH] = {};
    ULARGE_INTEGER available = {};
    if (!FolderOf(path, folder) || !GetDiskFreeSpaceExW(folder, &available, nullptr, nullptr)) {
        return ~0ull;
    }
    return available.QuadPart + FileSizeAt(path);
}

bool RecordingRoomRunsOut(const wchar_t* path) {
    wchar_t folder[MAX_PATH] = {};
    ULARGE_INTEGER available = {};
    if (!FolderOf(path, folder) || !GetDiskFreeSpaceExW(folder, &available, nullptr, nullptr)) {
        return false;  // unknown: the file writer's own refusal still guards
    }
    if (available.QuadPart < kRecordingStopRoom) return true;
    wchar_t volume[MAX_PATH] = {};
    wchar_t system[MAX_PATH] = {};
    if (GetVolumePathNameW(path, volume, MAX_PATH) &&
        GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH) &&
        (std::wcscmp(system, L"FAT32") == 0 || std::wcscmp(system, L"FAT") == 0)) {
        return FileSizeAt(path) + kRecordingStopRoom > 0xFFFFFFFFull;
    }
    return false;
}

}  // namespace pavix

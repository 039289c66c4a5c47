#include "record/avi_file_check.h"

#include <windows.h>

#include <cstring>

namespace pavix {
namespace {

struct ChunkHeader {
    char id[4];
    std::uint32_t size;  // little-endian on every target we build for
};

bool Is(const char* id, const char* expected) { return std::memcmp(id, expected, 4) == 0; }

bool ReadFromFile(void* context, std::uint64_t offset, void* into, std::uint32_t size) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return ReadFile(static_cast<HANDLE>(context), into, size, &read, &at) && read == size;
}

}  // namespace

bool IsFinishedAvi(AviBytesReader read, void* context, std::uint64_t fileSize) {
    std::uint64_t at = 0;
    int riffs = 0;
    bool headers = false;
    bool frames = false;
    bool index = false;
    while (at < fileSize) {
        ChunkHeader riff;
        char form[4];
        if (at + 12 > fileSize || !read(context, at, &riff, sizeof riff) ||
            !read(context, at + 8, form, 4)) {
            // A few bytes after a whole file are padding (Wine's multiplexer
            // leaves 8 zero bytes), not a cut.
            if (riffs > 0) break;
            return false;
        }
        if (riffs > 0 && !Is(riff.id, "RIFF")) break;  // padding too
        // A multiplexer that never finished leaves the sizes at zero.
        const std::uint64_t end = at + 8 + riff.size;
        if (!Is(riff.id, "RIFF") || riff.size < 4 || end > fileSize) return false;
        if (!Is(form, riffs == 0 ? "AVI " : "AVIX")) return false;
        if (riffs == 0) {
            for (std::uint64_t chunk = at + 12; chunk + 8 <= end;) {
                ChunkHeader header;
                if (!read(context, chunk, &header, sizeof header)) return false;
                char list[4] = {};
                if (Is(header.id, "LIST") && header.size >= 4 &&
                    read(context, chunk + 8, list, 4)) {
                    headers = headers || Is(list, "hdrl");
                    frames = frames || Is(list, "movi");
                }
                index = index || (Is(header.id, "idx1") && header.size > 0);
                chunk += 8 + header.size + (header.size & 1);
            }
        }
        ++riffs;
        at = end + (riff.size & 1);
    }
    return headers && frames && (index || riffs > 1);
}

bool IsFinishedAvi(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    const bool finished = GetFileSizeEx(file, &size) &&
                          IsFinishedAvi(ReadFromFile, file, static_cast<std::uint64_t>(size.QuadPart));
    CloseHandle(file);
    return finished;
}

}  // namespace pavix

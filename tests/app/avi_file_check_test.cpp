// Telling a finished AVI file from one a multiplexer never finished (a full
// disk, a process ended mid-recording): what the user is told after a
// recording stopped by itself rests on it.

#include "record/avi_file_check.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace pavix {
namespace {

std::string Chunk(const char* id, const std::string& body) {
    std::string chunk(id, 4);
    const auto size = static_cast<std::uint32_t>(body.size());
    chunk.append(reinterpret_cast<const char*>(&size), 4);
    chunk += body;
    if (body.size() % 2 != 0) chunk += '\0';
    return chunk;
}

std::string List(const char* type, const std::string& body) {
    return Chunk("LIST", std::string(type, 4) + body);
}

std::string Riff(const char* form, const std::string& body) {
    return Chunk("RIFF", std::string(form, 4) + body);
}

const std::string kHeaders = List("hdrl", Chunk("avih", std::string(56, 'h')));
const std::string kFrames = List("movi", Chunk("00db", std::string(31, 'f')) + Chunk("00db", "ff"));
const std::string kIndex = Chunk("idx1", std::string(32, 'i'));

// What a multiplexer that never reached its stop leaves: sizes still zero.
std::string Unfinished() {
    std::string file = Riff("AVI ", kHeaders + kFrames);
    std::memset(&file[4], 0, 4);
    return file;
}

bool ReadString(void* context, std::uint64_t offset, void* into, std::uint32_t size) {
    const auto* file = static_cast<const std::string*>(context);
    if (offset + size > file->size()) return false;
    std::memcpy(into, file->data() + offset, size);
    return true;
}

TEST(AviFileCheck, TellsFinishedFilesFromUnfinishedOnes) {
    const std::string whole = Riff("AVI ", kHeaders + kFrames + kIndex);
    struct Case {
        const char* what;
        std::string file;
        bool finished;
    };
    const Case cases[] = {
        {"headers, frames, index", whole, true},
        {"a large file: OpenDML continuation, no idx1",
         Riff("AVI ", kHeaders + kFrames) + Riff("AVIX", kFrames), true},
        {"zero bytes after it (Wine's multiplexer leaves 8)", whole + std::string(8, '\0'), true},
        {"no index", Riff("AVI ", kHeaders + kFrames), false},
        {"RIFF size still zero", Unfinished(), false},
        {"cut short", whole.substr(0, whole.size() - 10), false},
        {"no headers", Riff("AVI ", kFrames + kIndex), false},
        {"no frames", Riff("AVI ", kHeaders + kIndex), false},
        {"not an AVI", Riff("WAVE", kHeaders + kFrames + kIndex), false},
        {"a second RIFF of the wrong form", whole + Riff("WAVE", kFrames), false},
        {"a second RIFF cut short", whole + Riff("AVIX", kFrames).substr(0, 20), false},
        {"an empty index chunk", Riff("AVI ", kHeaders + kFrames + Chunk("idx1", "")), false},
        {"an empty file", "", false},
        {"an index behind a chunk whose size runs past the end",
         Riff("AVI ", kHeaders + kFrames + std::string("JUNK\xff\xff\xff\x7f", 8) + kIndex),
         false},
    };
    for (const Case& c : cases) {
        std::string file = c.file;
        EXPECT_EQ(c.finished, IsFinishedAvi(ReadString, &file, file.size())) << c.what;
    }
}

TEST(AviFileCheck, ReadsTheFileAtAPath) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"pavix-avi-check.avi";
    const struct {
        std::string file;
        bool finished;
    } cases[] = {{Riff("AVI ", kHeaders + kFrames + kIndex), true}, {Unfinished(), false}};
    for (const auto& c : cases) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        WriteFile(file, c.file.data(), static_cast<DWORD>(c.file.size()), &written, nullptr);
        CloseHandle(file);
        EXPECT_EQ(c.finished, IsFinishedAvi(path.c_str()));
    }
    DeleteFileW(path.c_str());
    EXPECT_FALSE(IsFinishedAvi(path.c_str()));  // none there
}

}  // namespace
}  // namespace pavix

// shmtool: the writer's side of the shared frame buffer "PavixShMem", for
// tests and demos of the camera without the desktop program.
//
//   shmtool write (--quadrants | --bmp FILE) [--word N] [--hold SECONDS]
//   shmtool word [N] [--hold SECONDS]
//   shmtool dump FILE.bmp
//   shmtool check
//   shmtool hold SECONDS
//   shmtool hd [--claim WxH] [--wait SECONDS | --hold SECONDS]
//
// The block exists only while some process has it open: --hold keeps this
// one open for the given time (or until the process is ended).
//
// `hd` looks into the HD picture block of a running pavix.exe, as a camera
// would (it never creates it): the newest picture's size, number and frame
// word. With --claim it first asks for a WxH picture in a request slot, as
// a streaming camera does, and waits (refreshing the slot) until a phone
// picture (frame word above 0) arrives after the claim, or SECONDS pass;
// with --hold it keeps the slot for SECONDS, as a camera that streams, and
// counts the pictures that came.

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shared/hd_camera_request.h"
#include "shared/hd_picture_block.h"
#include "shared/shared_frame_buffer.h"
#include "tools/shmtool/picture.h"

namespace {

using pavix::tools::Picture;

int Usage() {
    std::fprintf(stderr,
                 "usage: shmtool write (--quadrants | --bmp FILE) [--word N] [--hold SECONDS]\n"
                 "       shmtool word [N] [--hold SECONDS]\n"
                 "       shmtool dump FILE.bmp\n"
                 "       shmtool check\n"
                 "       shmtool hold SECONDS\n"
                 "       shmtool hd [--claim WxH] [--wait SECONDS | --hold SECONDS]\n");
    return 2;
}

bool ParseInt(const char* text, long long low, long long high, long long* value) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

struct Block {
    HANDLE mapping = nullptr;
    void* view = nullptr;
    ~Block() { pavix::CloseSharedFrameBuffer(&mapping, &view); }
    uint8_t* Bytes() const { return static_cast<uint8_t*>(view); }
};

void Hold(long long seconds) {
    if (seconds > 0) {
        std::printf("holding the block for %lld s\n", seconds);
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(seconds * 1000));
    }
}

int Write(const Block& block, int argc, char** argv) {
    Picture picture;
    bool havePicture = false;
    long long word = 1;
    long long hold = 0;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--quadrants") {
            picture = pavix::tools::QuadrantPicture(pavix::kPictureWidth, pavix::kPictureHeight);
            havePicture = true;
        } else if (arg == "--bmp" && i + 1 < argc) {
            std::vector<uint8_t> file;
            std::string error;
            if (!pavix::tools::ReadFile(argv[++i], &file)) {
                std::fprintf(stderr, "shmtool: cannot read %s\n", argv[i]);
                return 1;
            }
            if (!pavix::tools::DecodeBmp(file, &picture, &error)) {
                std::fprintf(stderr, "shmtool: %s: %s\n", argv[i], error.c_str());
                return 1;
            }
            havePicture = true;
        } else if (arg == "--word" && i + 1 < argc) {
            if (!ParseInt(argv[++i], INT32_MIN, INT32_MAX, &word)) {
                return Usage();
            }
        } else if (arg == "--hold" && i + 1 < argc) {
            if (!ParseInt(argv[++i], 0, 86400, &hold)) {
                return Usage();
            }
        } else {
            return Usage();
        }
    }
    if (!havePicture) {
        return Usage();
    }
    // Pixels first, the frame word last, as the desktop program does.
    pavix::tools::PictureToPixelArea(picture, block.Bytes() + pavix::kPixelAreaOffset);
    pavix::WriteFrameWord(block.view, static_cast<int32_t>(word));
    std::printf("wrote %dx%d picture, frame word %lld\n", picture.width, picture.height, word);
    std::fflush(stdout);
    Hold(hold);
    return 0;
}

int Word(const Block& block, int argc, char** argv) {
    long long hold = 0;
    bool set = false;
    long long word = 0;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--hold" && i + 1 < argc) {
            if (!ParseInt(argv[++i], 0, 86400, &hold)) {
                return Usage();
            }
        } else if (!set && ParseInt(argv[i], INT32_MIN, INT32_MAX, &word)) {
            set = true;
        } else {
            return Usage();
        }
    }
    if (set) {
        pavix::WriteFrameWord(block.view, static_cast<int32_t>(word));
    }
    std::printf("frame word %d\n", pavix::ReadFrameWord(block.view));
    std::fflush(stdout);
    Hold(hold);
    return 0;
}

int Dump(const Block& block, const char* path) {
    Picture picture = pavix::tools::PixelAreaToPicture(block.Bytes() + pavix::kPixelAreaOffset);
    if (!pavix::tools::WriteFile(path, pavix::tools::EncodeBmp(picture))) {
        std::fprintf(stderr, "shmtool: cannot write %s\n", path);
        return 1;
    }
    pavix::tools::Rgb quadrants[4];
    pavix::tools::QuadrantAverages(picture, quadrants);
    std::printf("frame word %d\n", pavix::ReadFrameWord(block.view));
    std::printf("quadrants %s %s %s %s\n", pavix::tools::FormatRgb(quadrants[0]).c_str(),
                pavix::tools::FormatRgb(quadrants[1]).c_str(),
                pavix::tools::FormatRgb(quadrants[2]).c_str(),
                pavix::tools::FormatRgb(quadrants[3]).c_str());
    return 0;
}

int Check(const Block& block) {
    const uint8_t* bytes = block.Bytes();
    size_t tailStart = pavix::kPixelAreaOffset + pavix::kPixelAreaSize;
    size_t nonZero = 0;
    for (size_t i = tailStart; i < pavix::kSharedFrameBufferSize; ++i) {
        nonZero += bytes[i] != 0;
    }
    std::printf("byte4 %u tail %s\n", bytes[4], nonZero == 0 ? "zero" : "written");
    return 0;
}

void PrintHdPicture(const pavix::HdPictureView& picture, bool global) {
    std::printf("hd %dx%d number %llu frame word %d namespace %s\n", picture.width, picture.height,
                static_cast<unsigned long long>(picture.pictureNumber), picture.frameWord,
                global ? "global" : "session");
}

int Hd(int argc, char** argv) {
    long long width = 0;
    long long height = 0;
    long long wait = 5;
    bool hold = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--claim" && i + 1 < argc) {
            const std::string size = argv[++i];
            const std::size_t x = size.find('x');
            if (x == std::string::npos || !ParseInt(size.substr(0, x).c_str(), 1, 65535, &width) ||
                !ParseInt(size.substr(x + 1).c_str(), 1, 65535, &height)) {
                return Usage();
            }
        } else if ((arg == "--wait" || arg == "--hold") && i + 1 < argc) {
            hold = arg == "--hold";
            if (!ParseInt(argv[++i], 0, 3600, &wait)) return Usage();
        } else {
            return Usage();
        }
    }
    Block block;
    bool global = false;
    if (!pavix::OpenHdPictureBlock(&block.mapping, &block.view, &global)) {
        std::fprintf(stderr, "shmtool: no %s (error %lu)\n", pavix::kHdPictureBlockName, GetLastError());
        return 1;
    }
    pavix::HdPictureView picture;
    if (width == 0) {
        if (!pavix::FindLatestHdPicture(block.view, &picture)) {
            std::printf("hd no picture\n");
            return 1;
        }
        PrintHdPicture(picture, global);
        return 0;
    }

    Block requests;
    if (!pavix::OpenHdRequestSection(&requests.mapping, &requests.view)) {
        std::fprintf(stderr, "shmtool: no %s (error %lu)\n", pavix::kHdRequestName, GetLastError());
        return 1;
    }
    const std::uint32_t ticket = pavix::NewRequestTicket(GetCurrentProcessId());
    int slot = pavix::ClaimRequestSlot(requests.view, ticket, static_cast<int>(width),
                                       static_cast<int>(height), GetTickCount64());
    if (slot < 0) {
        std::fprintf(stderr, "shmtool: every request slot is taken\n");
        return 1;
    }
    std::printf("claimed slot %d for %lldx%lld\n", slot, width, height);
    HANDLE ready = pavix::OpenHdReadyEvent(slot);
    std::uint64_t seen = pavix::FindLatestHdPicture(block.view, &picture) ? picture.pictureNumber : 0;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(wait) * 1000;
    bool found = false;
    long long pictures = 0;
    while ((hold || !found) && GetTickCount64() < end) {
        if (ready != nullptr) {
            WaitForSingleObject(ready, 100);
        } else {
            Sleep(20);
        }
        if (!pavix::RefreshRequestSlot(requests.view, slot, ticket, static_cast<int>(width),
                                       static_cast<int>(height), GetTickCount64())) {
            slot = pavix::ClaimRequestSlot(requests.view, ticket, static_cast<int>(width),
                                           static_cast<int>(height), GetTickCount64());
        }
        pavix::HdPictureView latest;
        if (pavix::FindLatestHdPicture(block.view, &latest) && latest.pictureNumber > seen) {
            pictures += 1;
            seen = latest.pictureNumber;
            if (latest.frameWord > 0) {
                picture = latest;
                found = true;
            }
        }
    }
    if (ready != nullptr) CloseHandle(ready);
    if (slot >= 0) pavix::ReleaseRequestSlot(requests.view, slot, ticket);
    if (hold) std::printf("held the slot %lld s: %lld new pictures seen\n", wait, pictures);
    if (!found) {
        std::printf("hd no phone picture within %lld s\n", wait);
        return 1;
    }
    PrintHdPicture(picture, global);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Unbuffered: a test reading the output sees every line even if the
    // program is ended early.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        return Usage();
    }
    std::string command = argv[1];
    if (command == "hd") {
        return Hd(argc - 2, argv + 2);
    }
    Block block;
    if (!pavix::OpenSharedFrameBuffer(&block.mapping, &block.view)) {
        std::fprintf(stderr, "shmtool: cannot open %s (error %lu)\n",
                     pavix::kSharedFrameBufferName, GetLastError());
        return 1;
    }
    if (command == "write") {
        return Write(block, argc - 2, argv + 2);
    }
    if (command == "word") {
        return Word(block, argc - 2, argv + 2);
    }
    if (command == "dump" && argc == 3) {
        return Dump(block, argv[2]);
    }
    if (command == "check" && argc == 2) {
        return Check(block);
    }
    if (command == "hold" && argc == 3) {
        long long seconds = 0;
        if (!ParseInt(argv[2], 0, 86400, &seconds)) {
            return Usage();
        }
        Hold(seconds);
        return 0;
    }
    return Usage();
}

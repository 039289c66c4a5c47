// shmtool: the writer's side of the shared frame buffer "PavixShMem", for
// tests and demos of the camera without the desktop program.
//
//   shmtool write (--quadrants | --bmp FILE) [--word N] [--hold SECONDS]
//   shmtool word [N] [--hold SECONDS]
//   shmtool dump FILE.bmp
//   shmtool check
//   shmtool hold SECONDS
//
// The block exists only while some process has it open: --hold keeps this
// one open for the given time (or until the process is ended).

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
                 "       shmtool hold SECONDS\n");
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

}  // namespace

int main(int argc, char** argv) {
    // Unbuffered: a test reading the output sees every line even if the
    // program is ended early.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        return Usage();
    }
    std::string command = argv[1];
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

// capture_frame_reader: reads the raw frames a capture client (ffmpeg with
// -f rawvideo) writes to its standard output, and tells for each sample
// which of the phone simulator's pictures it shows and when it came. A
// Linux program: it reads a pipe from the client running under Wine.
//
//   ffmpeg ... -f rawvideo - | capture_frame_reader FORMAT WIDTHxHEIGHT
//        [--frames N] [--log FILE] [--keep FILE.ppm]
//
// FORMAT is ffmpeg's pixel format name (nv12, yuv420p, yuyv422, bgr24,
// bgr0). With --frames, it stops after N frames rather than at the end of
// the input (Wine's own processes may hold a pipe open after the client
// ended). With --log, one line a sample: the time its last byte was read
// (CLOCK_REALTIME, microseconds, the clock tests/app/frame_relay notes
// packets in), its frame number (-1 when unreadable) and its orientation.
// With --keep, the first sample that is not an upright, readable pattern
// (else the last sample) is kept as a PPM picture. At the end it prints
//
//   samples S unreadable U not-upright N repeats R missed M backwards B first F last L
//
// and exits 0 when at least one sample came and every one was an upright,
// readable pattern; 1 when not; 2 on bad arguments or a frame cut short.

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pattern/test_pattern.h"
#include "picture_tally.h"
#include "raw_frames.h"

namespace {

using pavix::testing::RawFormat;

int Usage() {
    std::fprintf(stderr,
                 "usage: capture_frame_reader nv12|yuv420p|yuyv422|bgr24|bgr0 WIDTHxHEIGHT"
                 " [--frames N] [--log FILE] [--keep FILE.ppm]\n");
    return 2;
}

std::int64_t NowUs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Reads exactly `size` bytes unless the input ends first; the bytes read.
std::size_t ReadFull(int fd, std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

const char* Describe(const phonesim::PatternOrientation& o) {
    if (!o.recognised) return "unrecognised";
    if (o.upright()) return "upright";
    if (o.flipped_vertically) return o.mirrored ? "flipped+mirrored" : "flipped";
    if (o.mirrored) return "mirrored";
    return "red-blue-swapped";
}

bool WritePpm(const char* path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    const bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    RawFormat format;
    int width = 0;
    int height = 0;
    if (!pavix::testing::ParseRawFormat(argv[1], &format) ||
        std::sscanf(argv[2], "%dx%d", &width, &height) != 2) {
        return Usage();
    }
    const std::size_t frameSize = pavix::testing::RawFrameSize(format, width, height);
    if (frameSize == 0) return Usage();
    const char* logPath = nullptr;
    const char* keepPath = nullptr;
    unsigned long frames = 0;  // 0: until the input ends
    for (int i = 3; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--log") == 0) {
            logPath = argv[i + 1];
        } else if (std::strcmp(argv[i], "--frames") == 0) {
            frames = std::strtoul(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keepPath = argv[i + 1];
        } else {
            return Usage();
        }
    }
    if ((argc - 3) % 2 != 0) return Usage();
    FILE* log = logPath != nullptr ? std::fopen(logPath, "w") : nullptr;
    if (logPath != nullptr && log == nullptr) {
        std::fprintf(stderr, "capture_frame_reader: cannot write %s\n", logPath);
        return 2;
    }

    std::vector<std::uint8_t> frame(frameSize);
    std::vector<std::uint8_t> rgb;
    std::vector<std::uint8_t> kept;
    bool keptBad = false;
    pavix::testing::PictureTally tally;
    std::size_t notUpright = 0;
    std::size_t cut = 0;
    while (frames == 0 || tally.samples < frames) {
        const std::size_t got = ReadFull(STDIN_FILENO, frame.data(), frameSize);
        if (got < frameSize) {
            cut = got;
            break;
        }
        const std::int64_t arrival = NowUs();
        pavix::testing::RawFrameToRgb(format, width, height, frame.data(), &rgb);
        const phonesim::ImageView view = phonesim::RgbView(rgb.data(), width, height);
        const std::int64_t number = phonesim::ReadFrameNumber(view);
        const phonesim::PatternOrientation orientation = phonesim::ReadOrientation(view);
        tally.Add(number);
        const bool good = number >= 0 && orientation.upright();
        if (!orientation.upright()) ++notUpright;
        if (log != nullptr) {
            std::fprintf(log, "%lld %lld %s\n", static_cast<long long>(arrival),
                         static_cast<long long>(number), Describe(orientation));
        }
        if (keepPath != nullptr && !keptBad) {
            kept = rgb;
            keptBad = !good;
        }
    }
    if (log != nullptr) std::fclose(log);
    if (keepPath != nullptr && !kept.empty() && !WritePpm(keepPath, width, height, kept)) {
        std::fprintf(stderr, "capture_frame_reader: cannot write %s\n", keepPath);
    }
    std::printf("samples %zu unreadable %zu not-upright %zu repeats %zu missed %zu backwards %zu"
                " first %lld last %lld\n",
                tally.samples, tally.unreadable, notUpright, tally.repeats, tally.missed,
                tally.backwards, static_cast<long long>(tally.first),
                static_cast<long long>(tally.last));
    if (cut != 0) {
        std::printf("the input ended %zu bytes into a frame of %zu\n", cut, frameSize);
        return 2;
    }
    return tally.samples > 0 && tally.unreadable == 0 && notUpright == 0 ? 0 : 1;
}

// pattern_check: the phone simulator's test pattern for the live-link tests
// and benchmarks of pavix.exe (a Linux program: the tests run it beside
// Wine).
//
//   pattern_check read FILE.bmp
//       reads the pattern back from a 24- or 32-bit BMP picture (a dump of
//       the shared block, or a picture camcheck saved) and prints
//           frame N                 (or "frame unreadable")
//           orientation WORDS       upright, or what is wrong: flipped,
//                                   mirrored, red-blue-swapped; unrecognised
//       exit status 0 when the picture is an upright pattern whose frame
//       number reads, 1 when not, 2 when the file is not such a BMP
//   pattern_check compare BLOCK.bmp FILE.jpg...
//       compares a dump of the shared block with each JPEG as pavix.exe
//       publishes it: decoded by the program's decoder (4-byte pixels,
//       large pictures shrunk for a 493 x 389 pane) and scaled to 480 x 320
//       by an exact bilinear reference; prints "FILE largest D mean M" for
//       each and "best FILE" for the closest, exit status 0 when the
//       closest is within the scaler's tolerance (a flipped, mirrored or
//       colour-swapped block is far from every reference), 1 when not
//   pattern_check jpeg FRAME WIDTHxHEIGHT QUALITY OUT.jpg [pattern|camera]
//       writes the JPEG the simulator sends as frame FRAME at that size and
//       quality, of the flat pattern or the camera-like scene (the
//       simulator's own frame source makes it)

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "frame_source.h"
#include "frames/jpeg_decoder.h"
#include "pattern/test_pattern.h"
#include "shared/shared_frame_buffer.h"
#include "tests/support/scaling_reference.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: pattern_check read FILE.bmp\n"
                 "       pattern_check compare BLOCK.bmp FILE.jpg...\n"
                 "       pattern_check jpeg FRAME WIDTHxHEIGHT QUALITY OUT.jpg [pattern|camera]\n");
    return 2;
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

// An uncompressed 24- or 32-bit BMP file as a view on its pixels; false
// with a reason when the file is anything else or shorter than it claims.
bool ViewOfBmp(const std::vector<std::uint8_t>& file, phonesim::ImageView* view,
               std::string* error) {
    constexpr std::size_t kFileHeader = 14;
    constexpr std::size_t kInfoHeader = 40;
    if (file.size() < kFileHeader + kInfoHeader || file[0] != 'B' || file[1] != 'M') {
        *error = "not a BMP file";
        return false;
    }
    const std::uint32_t pixelsAt = Le32(file, 10);
    const std::int32_t width = static_cast<std::int32_t>(Le32(file, 18));
    const std::int32_t height = static_cast<std::int32_t>(Le32(file, 22));
    const std::uint16_t bits = Le16(file, 28);
    const std::uint32_t compression = Le32(file, 30);
    if ((bits != 24 && bits != 32) || compression != 0) {
        *error = "not an uncompressed 24- or 32-bit BMP";
        return false;
    }
    if (width <= 0 || width > 16384 || height == 0 || height < -16384 || height > 16384) {
        *error = "implausible picture size";
        return false;
    }
    const int rows = height < 0 ? -height : height;
    const std::size_t stride = (static_cast<std::size_t>(width) * bits / 8 + 3) & ~std::size_t{3};
    if (pixelsAt > file.size() || file.size() - pixelsAt < stride * static_cast<std::size_t>(rows)) {
        *error = "the file is shorter than its pixels";
        return false;
    }
    const std::uint8_t* pixels = file.data() + pixelsAt;
    view->width = width;
    view->height = rows;
    view->bytes_per_pixel = bits / 8;
    view->bgr = true;
    if (height > 0) {  // bottom-up: the top row is the last one in the file
        view->data = pixels + stride * static_cast<std::size_t>(rows - 1);
        view->stride = -static_cast<std::ptrdiff_t>(stride);
    } else {
        view->data = pixels;
        view->stride = static_cast<std::ptrdiff_t>(stride);
    }
    return true;
}

std::string DescribeOrientation(const phonesim::PatternOrientation& o) {
    if (!o.recognised) return "unrecognised";
    if (o.upright()) return "upright";
    std::string words;
    if (o.flipped_vertically) words += " flipped";
    if (o.mirrored) words += " mirrored";
    if (o.red_blue_swapped) words += " red-blue-swapped";
    return words.substr(1);
}

int Read(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "pattern_check: cannot read %s\n", path);
        return 2;
    }
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    phonesim::ImageView view;
    std::string error;
    if (!ViewOfBmp(file, &view, &error)) {
        std::fprintf(stderr, "pattern_check: %s: %s\n", path, error.c_str());
        return 2;
    }
    const std::int64_t frame = phonesim::ReadFrameNumber(view);
    const phonesim::PatternOrientation orientation = phonesim::ReadOrientation(view);
    if (frame >= 0) {
        std::printf("frame %lld\n", static_cast<long long>(frame));
    } else {
        std::printf("frame unreadable\n");
    }
    std::printf("orientation %s\n", DescribeOrientation(orientation).c_str());
    return frame >= 0 && orientation.upright() ? 0 : 1;
}

bool ReadWholeFile(const char* path, std::vector<std::uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

int Compare(int count, char** paths) {
    std::vector<std::uint8_t> file;
    phonesim::ImageView block;
    std::string error;
    if (!ReadWholeFile(paths[0], &file) || !ViewOfBmp(file, &block, &error) ||
        block.width != pavix::kPictureWidth || block.height != pavix::kPictureHeight) {
        std::fprintf(stderr, "pattern_check: %s is not a 480 x 320 BMP picture %s\n", paths[0],
                     error.c_str());
        return 2;
    }
    // As the frame thread decodes (app/rovo_engine.cpp: the pane's client
    // area is 493 x 389).
    pavix::CJpegDecoder decoder;
    decoder.SetLayout(pavix::CJpegDecoder::Layout::Bgrx);
    decoder.SetLeastSize(493, 389);
    const char* best = nullptr;
    double bestMean = 1e9;
    double bestLargest = 1e9;
    for (int i = 1; i < count; ++i) {
        std::vector<std::uint8_t> jpeg;
        int width = 0;
        int height = 0;
        if (!ReadWholeFile(paths[i], &jpeg) ||
            decoder.Decode(jpeg.data(), jpeg.size(), &width, &height) == nullptr) {
            std::fprintf(stderr, "pattern_check: %s does not decode\n", paths[i]);
            return 2;
        }
        const pavix::BgrxPicture picture{decoder.Pixels(), width, height,
                                         static_cast<std::ptrdiff_t>(width) * 4};
        const pavix::testing::ReferencePicture want(picture, pavix::kPictureWidth,
                                                    pavix::kPictureHeight);
        pavix::testing::Difference difference;
        for (int y = 0; y < block.height; ++y) {
            const std::uint8_t* row = block.data + y * block.stride;
            for (int x = 0; x < block.width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    difference.Add(row[x * block.bytes_per_pixel + c], want.At(x, y, c));
                }
            }
        }
        std::printf("%s largest %.1f mean %.2f\n", paths[i], difference.largest, difference.Mean());
        if (difference.Mean() < bestMean) {
            best = paths[i];
            bestMean = difference.Mean();
            bestLargest = difference.largest;
        }
    }
    if (best == nullptr) return Usage();
    std::printf("best %s\n", best);
    return bestLargest <= pavix::testing::kScalingTolerance &&
                   bestMean <= pavix::testing::kScalingMeanTolerance
               ? 0
               : 1;
}

bool ParseNumber(const char* text, long long low, long long high, long long* value) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
    *value = v;
    return true;
}

int WriteJpeg(const char* frameText, const std::string& size, const char* qualityText,
              const char* path, const std::string& content) {
    long long frame = 0, width = 0, height = 0, quality = 0;
    const std::size_t x = size.find('x');
    if (!ParseNumber(frameText, 0, phonesim::kFrameNumberMask, &frame) ||
        x == std::string::npos || !ParseNumber(size.substr(0, x).c_str(), 32, 8192, &width) ||
        !ParseNumber(size.substr(x + 1).c_str(), 32, 8192, &height) ||
        !ParseNumber(qualityText, 1, 100, &quality) || (content != "pattern" && content != "camera")) {
        return Usage();
    }
    std::unique_ptr<phonesim::FrameSource> source = phonesim::MakePatternSource(
        static_cast<int>(width), static_cast<int>(height), static_cast<int>(quality),
        content == "camera" ? phonesim::Content::kCamera : phonesim::Content::kPattern);
    std::vector<std::uint8_t> jpeg;
    std::string error;
    if (!source->Frame(static_cast<std::uint64_t>(frame), &jpeg, &error)) {
        std::fprintf(stderr, "pattern_check: %s\n", error.c_str());
        return 1;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "pattern_check: cannot write %s\n", path);
        return 1;
    }
    std::printf("wrote %zu bytes\n", jpeg.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "read" && argc == 3) return Read(argv[2]);
    if (command == "compare" && argc >= 4) return Compare(argc - 2, argv + 2);
    if (command == "jpeg" && (argc == 6 || argc == 7)) {
        return WriteJpeg(argv[2], argv[3], argv[4], argv[5], argc == 7 ? argv[6] : "pattern");
    }
    return Usage();
}

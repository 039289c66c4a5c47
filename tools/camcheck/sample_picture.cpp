#include "tools/camcheck/sample_picture.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "libyuv/convert_argb.h"
#include "libyuv/convert_from_argb.h"

namespace pavix::tools {

namespace {

constexpr int kLargestSide = 4096;

std::size_t RgbStride(int width, int bytesPerPixel) {
    return (static_cast<std::size_t>(width) * bytesPerPixel + 3) & ~static_cast<std::size_t>(3);
}

}  // namespace

const char* SampleFormatName(SampleFormat format) {
    switch (format) {
        case SampleFormat::NV12: return "NV12";
        case SampleFormat::I420: return "I420";
        case SampleFormat::YUY2: return "YUY2";
        case SampleFormat::RGB24: return "RGB24";
        case SampleFormat::RGB32: return "RGB32";
    }
    return "?";
}

bool ParseSampleFormat(const std::string& name, SampleFormat* format) {
    std::string upper;
    for (char c : name) {
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    for (SampleFormat f : kSampleFormats) {
        if (upper == SampleFormatName(f)) {
            *format = f;
            return true;
        }
    }
    return false;
}

bool ParseSize(const std::string& text, int* width, int* height) {
    std::size_t x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 == text.size()) {
        return false;
    }
    long sides[2] = {0, 0};
    const std::string parts[2] = {text.substr(0, x), text.substr(x + 1)};
    for (int i = 0; i < 2; ++i) {
        if (parts[i].find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        errno = 0;
        sides[i] = std::strtol(parts[i].c_str(), nullptr, 10);
        if (errno != 0 || sides[i] < 2 || sides[i] > kLargestSide || sides[i] % 2 != 0) {
            return false;
        }
    }
    *width = static_cast<int>(sides[0]);
    *height = static_cast<int>(sides[1]);
    return true;
}

std::size_t SampleBytes(const SampleLayout& layout) {
    if (layout.width <= 0 || layout.height <= 0 || layout.width % 2 != 0 || layout.height % 2 != 0 ||
        layout.width > kLargestSide || layout.height > kLargestSide) {
        return 0;
    }
    const std::size_t w = static_cast<std::size_t>(layout.width);
    const std::size_t h = static_cast<std::size_t>(layout.height);
    switch (layout.format) {
        case SampleFormat::NV12:
        case SampleFormat::I420: return w * h * 3 / 2;
        case SampleFormat::YUY2: return w * h * 2;
        case SampleFormat::RGB24: return RgbStride(layout.width, 3) * h;
        case SampleFormat::RGB32: return w * h * 4;
    }
    return 0;
}

bool SampleToPicture(const std::uint8_t* sample, std::size_t size, const SampleLayout& layout,
                     Picture* picture) {
    const std::size_t need = SampleBytes(layout);
    if (need == 0 || sample == nullptr || size < need) {
        return false;
    }
    const int w = layout.width;
    const int h = layout.height;
    picture->width = w;
    picture->height = h;
    picture->bgr.assign(static_cast<std::size_t>(w) * h * 3, 0);
    uint8_t* out = picture->bgr.data();
    const int outStride = w * 3;
    // libyuv's "RGB24" is blue, green, red in memory: the picture's order.
    switch (layout.format) {
        case SampleFormat::NV12: {
            const uint8_t* uv = sample + static_cast<std::size_t>(w) * h;
            return libyuv::NV12ToRGB24(sample, w, uv, w, out, outStride, w, h) == 0;
        }
        case SampleFormat::I420: {
            const uint8_t* u = sample + static_cast<std::size_t>(w) * h;
            const uint8_t* v = u + static_cast<std::size_t>(w / 2) * (h / 2);
            return libyuv::I420ToRGB24(sample, w, u, w / 2, v, w / 2, out, outStride, w, h) == 0;
        }
        case SampleFormat::YUY2: {
            std::vector<uint8_t> argb(static_cast<std::size_t>(w) * h * 4);
            return libyuv::YUY2ToARGB(sample, w * 2, argb.data(), w * 4, w, h) == 0 &&
                   libyuv::ARGBToRGB24(argb.data(), w * 4, out, outStride, w, h) == 0;
        }
        case SampleFormat::RGB24:
        case SampleFormat::RGB32: {
            const int bytes = layout.format == SampleFormat::RGB24 ? 3 : 4;
            const std::size_t stride = RgbStride(w, bytes);
            for (int y = 0; y < h; ++y) {
                const int row = layout.topDown ? y : h - 1 - y;
                const uint8_t* in = sample + static_cast<std::size_t>(row) * stride;
                uint8_t* to = out + static_cast<std::size_t>(y) * outStride;
                for (int x = 0; x < w; ++x, in += bytes, to += 3) {
                    std::memcpy(to, in, 3);
                }
            }
            return true;
        }
    }
    return false;
}

}  // namespace pavix::tools

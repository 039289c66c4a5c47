#include "raw_frames.h"

#include <algorithm>

namespace pavix::testing {
namespace {

std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// BT.601, studio range, in 1/256 steps.
void YuvToRgb(int y, int u, int v, std::uint8_t* rgb) {
    const int c = 298 * (y - 16);
    const int d = u - 128;
    const int e = v - 128;
    rgb[0] = Clamp((c + 409 * e + 128) >> 8);
    rgb[1] = Clamp((c - 100 * d - 208 * e + 128) >> 8);
    rgb[2] = Clamp((c + 516 * d + 128) >> 8);
}

void RgbToYuv(const std::uint8_t* rgb, int* y, int* u, int* v) {
    const int r = rgb[0], g = rgb[1], b = rgb[2];
    *y = Clamp(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    *u = Clamp(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
    *v = Clamp(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

}  // namespace

bool ParseRawFormat(const std::string& name, RawFormat* format) {
    static const struct {
        const char* name;
        RawFormat format;
    } kNames[] = {{"nv12", RawFormat::Nv12},
                  {"yuv420p", RawFormat::Yuv420p},
                  {"yuyv422", RawFormat::Yuyv422},
                  {"bgr24", RawFormat::Bgr24},
                  {"bgr0", RawFormat::Bgr0}};
    for (const auto& entry : kNames) {
        if (name == entry.name) {
            *format = entry.format;
            return true;
        }
    }
    return false;
}

std::size_t RawFrameSize(RawFormat format, int width, int height) {
    if (width <= 0 || height <= 0 || width % 2 != 0 || height % 2 != 0) return 0;
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    switch (format) {
        case RawFormat::Nv12:
        case RawFormat::Yuv420p: return pixels * 3 / 2;
        case RawFormat::Yuyv422: return pixels * 2;
        case RawFormat::Bgr24: return pixels * 3;
        case RawFormat::Bgr0: return pixels * 4;
    }
    return 0;
}

void RawFrameToRgb(RawFormat format, int width, int height, const std::uint8_t* frame,
                   std::vector<std::uint8_t>* rgb) {
    const std::size_t w = static_cast<std::size_t>(width);
    rgb->resize(w * static_cast<std::size_t>(height) * 3);
    std::uint8_t* out = rgb->data();
    const std::uint8_t* luma = frame;
    const std::uint8_t* chroma = frame + w * static_cast<std::size_t>(height);
    const std::size_t quarter = w / 2 * static_cast<std::size_t>(height / 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, out += 3) {
            const std::size_t at = static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x);
            const std::size_t half = static_cast<std::size_t>(y / 2) * (w / 2) +
                                     static_cast<std::size_t>(x / 2);
            switch (format) {
                case RawFormat::Nv12:
                    YuvToRgb(luma[at], chroma[half * 2], chroma[half * 2 + 1], out);
                    break;
                case RawFormat::Yuv420p:
                    YuvToRgb(luma[at], chroma[half], chroma[quarter + half], out);
                    break;
                case RawFormat::Yuyv422: {
                    const std::uint8_t* pair = frame + (at & ~std::size_t{1}) * 2;
                    YuvToRgb(pair[(x & 1) * 2], pair[1], pair[3], out);
                    break;
                }
                case RawFormat::Bgr24:
                case RawFormat::Bgr0: {
                    const std::uint8_t* p = frame + at * (format == RawFormat::Bgr24 ? 3 : 4);
                    out[0] = p[2];
                    out[1] = p[1];
                    out[2] = p[0];
                    break;
                }
            }
        }
    }
}

void RgbToRawFrame(RawFormat format, int width, int height, const std::uint8_t* rgb,
                   std::vector<std::uint8_t>* frame) {
    const std::size_t w = static_cast<std::size_t>(width);
    frame->assign(RawFrameSize(format, width, height), 0);
    std::uint8_t* out = frame->data();
    std::uint8_t* chroma = out + w * static_cast<std::size_t>(height);
    const std::size_t quarter = w / 2 * static_cast<std::size_t>(height / 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x);
            const std::uint8_t* p = rgb + at * 3;
            int Y, U, V;
            RgbToYuv(p, &Y, &U, &V);
            // Chroma from the top-left pixel of each pair or square.
            const bool first = x % 2 == 0 && y % 2 == 0;
            const std::size_t half = static_cast<std::size_t>(y / 2) * (w / 2) +
                                     static_cast<std::size_t>(x / 2);
            switch (format) {
                case RawFormat::Nv12:
                    out[at] = static_cast<std::uint8_t>(Y);
                    if (first) {
                        chroma[half * 2] = static_cast<std::uint8_t>(U);
                        chroma[half * 2 + 1] = static_cast<std::uint8_t>(V);
                    }
                    break;
                case RawFormat::Yuv420p:
                    out[at] = static_cast<std::uint8_t>(Y);
                    if (first) {
                        chroma[half] = static_cast<std::uint8_t>(U);
                        chroma[quarter + half] = static_cast<std::uint8_t>(V);
                    }
                    break;
                case RawFormat::Yuyv422: {
                    std::uint8_t* pair = out + (at & ~std::size_t{1}) * 2;
                    pair[(x & 1) * 2] = static_cast<std::uint8_t>(Y);
                    if (x % 2 == 0) {
                        pair[1] = static_cast<std::uint8_t>(U);
                        pair[3] = static_cast<std::uint8_t>(V);
                    }
                    break;
                }
                case RawFormat::Bgr24:
                case RawFormat::Bgr0: {
                    std::uint8_t* q = out + at * (format == RawFormat::Bgr24 ? 3 : 4);
                    q[0] = p[2];
                    q[1] = p[1];
                    q[2] = p[0];
                    break;
                }
            }
        }
    }
}

}  // namespace pavix::testing

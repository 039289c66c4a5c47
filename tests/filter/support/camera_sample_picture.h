#pragma once

// A camera sample of any offered format read back as the picture it shows,
// the way a capture application reads it: YUV through BT.601 limited range
// (written out here, not taken from libyuv), RGB as a DIB in the type's row
// order. Header-only, for the native and the Windows tests alike.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "filter/camera_picture_converter.h"
#include "tools/shmtool/picture.h"

namespace pavix::testing {

inline tools::Rgb YuvToRgb(int y, int u, int v) {
    const double c = 1.164 * (y - 16);
    auto clamp = [](double x) {
        return static_cast<std::uint8_t>(std::min(255.0, std::max(0.0, x + 0.5)));
    };
    return {clamp(c + 1.596 * (v - 128)), clamp(c - 0.391 * (u - 128) - 0.813 * (v - 128)),
            clamp(c + 2.018 * (u - 128))};
}

// False when the sample is shorter than the type needs.
inline bool CameraSampleToPicture(const std::uint8_t* sample, std::size_t size,
                                  const CameraType& type, tools::Picture* picture) {
    const std::size_t needed = CameraImageSize(type);
    if (needed == 0 || size < needed) {
        return false;
    }
    const int w = type.width;
    const int h = type.height;
    const std::size_t luma = static_cast<std::size_t>(w) * h;
    picture->width = w;
    picture->height = h;
    picture->bgr.assign(luma * 3, 0);
    for (int row = 0; row < h; ++row) {
        for (int x = 0; x < w; ++x) {
            tools::Rgb c{};
            const std::size_t at = static_cast<std::size_t>(row) * w + x;
            switch (type.format) {
                case CameraFormat::I420: {
                    const std::size_t ch = static_cast<std::size_t>(row / 2) * (w / 2) + x / 2;
                    c = YuvToRgb(sample[at], sample[luma + ch], sample[luma + luma / 4 + ch]);
                    break;
                }
                case CameraFormat::NV12: {
                    const std::size_t ch = luma + static_cast<std::size_t>(row / 2) * w + (x & ~1);
                    c = YuvToRgb(sample[at], sample[ch], sample[ch + 1]);
                    break;
                }
                case CameraFormat::YUY2: {
                    const std::size_t pair = static_cast<std::size_t>(row) * w * 2 + (x & ~1) * 2;
                    c = YuvToRgb(sample[pair + (x % 2) * 2], sample[pair + 1], sample[pair + 3]);
                    break;
                }
                case CameraFormat::RGB24:
                case CameraFormat::RGB32: {
                    const int bytes = type.format == CameraFormat::RGB24 ? 3 : 4;
                    const std::size_t stride =
                        (static_cast<std::size_t>(w) * bytes + 3) & ~std::size_t{3};
                    const int line = type.topDown ? row : h - 1 - row;
                    const std::uint8_t* p =
                        &sample[static_cast<std::size_t>(line) * stride + static_cast<std::size_t>(x) * bytes];
                    c = {p[2], p[1], p[0]};
                    break;
                }
            }
            std::uint8_t* out = &picture->bgr[at * 3];
            out[0] = c.b;
            out[1] = c.g;
            out[2] = c.r;
        }
    }
    return true;
}

// The four-quadrant test picture's colours at the centre of each quadrant,
// within `tolerance` per channel (scaling blurs only the borders; YUV
// rounds the colours a little).
inline void ExpectQuadrantCentres(const tools::Picture& picture, const std::string& where,
                                  int tolerance = 12) {
    const char* names[4] = {"top left", "top right", "bottom left", "bottom right"};
    for (int q = 0; q < 4; ++q) {
        const int x = picture.width / 4 + (q % 2) * picture.width / 2;
        const int y = picture.height / 4 + (q / 2) * picture.height / 2;
        const std::uint8_t* p = picture.Pixel(x, y);
        const tools::Rgb& want = tools::kQuadrantColours[q];
        EXPECT_TRUE(std::abs(p[2] - want.r) <= tolerance && std::abs(p[1] - want.g) <= tolerance &&
                    std::abs(p[0] - want.b) <= tolerance)
            << where << ", " << names[q] << ": " << tools::FormatRgb(tools::Rgb{p[2], p[1], p[0]});
    }
}

}  // namespace pavix::testing

#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "frames/jpeg_library.h"

namespace pavix::testing {

using JpegBytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t r, g, b;
};

// Compresses width x height pixels, rows top first, `components` bytes per
// pixel in `colorSpace`, with libjpeg at `quality` and no chroma
// subsampling.
JpegBytes CompressJpeg(const std::vector<std::uint8_t>& pixels, int width, int height,
                       int components, J_COLOR_SPACE colorSpace, int quality = 100);

// An RGB picture made of flat 8 x 8 blocks, block (x, y) in colour(x, y):
// flat blocks come back from the codec within a step or two of their colour.
std::vector<std::uint8_t> BlockPicture(int width, int height,
                                       const std::function<Rgb(int blockX, int blockY)>& colour);

// 16 x 16: red top left, green top right, blue bottom left, white bottom
// right.
JpegBytes QuadrantJpeg();
constexpr Rgb kQuadrantColours[2][2] = {{{255, 0, 0}, {0, 255, 0}},
                                        {{0, 0, 255}, {255, 255, 255}}};

// A colour picture of any size with blocks of varying colour.
JpegBytes ColourJpeg(int width, int height);

// A greyscale picture; block (x, y) has grey level level(x, y).
JpegBytes GreyJpeg(int width, int height, const std::function<std::uint8_t(int, int)>& level);

// A four-component (CMYK) picture.
JpegBytes CmykJpeg(int width, int height);

// Offset of the first marker FF `code` in `jpeg`, or the size when absent.
std::size_t FindMarker(const JpegBytes& jpeg, std::uint8_t code);

// Rewrites the size in the baseline frame header (SOF0).
void SetFrameSize(JpegBytes* jpeg, std::uint16_t width, std::uint16_t height);

}  // namespace pavix::testing

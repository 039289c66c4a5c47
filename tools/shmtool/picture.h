#pragma once

// Pictures for the camera tools and tests: 24-bit pictures in memory, BMP
// files in and out, the four-quadrant test picture, and the conversion to
// and from the shared frame buffer's pixel area.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pavix::tools {

// Blue, green, red per pixel; top row first; no row padding.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;

    const uint8_t* Pixel(int x, int y) const { return &bgr[(static_cast<size_t>(y) * width + x) * 3]; }
};

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// The test picture as it should appear upright: top-left red, top-right
// green, bottom-left blue, bottom-right white.
inline constexpr Rgb kQuadrantColours[4] = {
    {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
Picture QuadrantPicture(int width, int height);

// The average colour of each quadrant, in the order of kQuadrantColours.
void QuadrantAverages(const Picture& picture, Rgb (&averages)[4]);
std::string FormatRgb(const Rgb& colour);  // "#rrggbb"

// Reads an uncompressed 24- or 32-bit BMP (bottom-up or top-down). Any
// other content, or a file too short for what its headers claim, is refused
// with a reason.
bool DecodeBmp(const std::vector<uint8_t>& file, Picture* picture, std::string* error);
// A 24-bit bottom-up BMP file.
std::vector<uint8_t> EncodeBmp(const Picture& picture);

bool ReadFile(const std::string& path, std::vector<uint8_t>* data);
bool WriteFile(const std::string& path, const std::vector<uint8_t>& data);

// Nearest-neighbour scaling.
Picture ScalePicture(const Picture& picture, int width, int height);

// A picture (scaled to 480 x 320 when it has another size) to the rows of
// the shared block's pixel area, which holds the bottom row first, and back.
void PictureToPixelArea(const Picture& picture, uint8_t* area);
Picture PixelAreaToPicture(const uint8_t* area);

// A sample of `width` x |height| 24-bit pixels as a capture application
// gets it: bottom-up rows for a positive height, top-down for a negative
// one. Rows are padded to 4 bytes. False when the sample is too short.
bool SampleToPicture(const uint8_t* sample, size_t size, int width, int height,
                     Picture* picture);

}  // namespace pavix::tools

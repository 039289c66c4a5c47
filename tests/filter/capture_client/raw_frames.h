#pragma once

// Raw video frames as a capture client (ffmpeg's rawvideo output) writes
// them one after another: their sizes, and each turned into top-down RGB so
// that the test pattern's readers can look at it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pavix::testing {

// ffmpeg's names for the camera's types: NV12, I420, YUY2, RGB24, RGB32.
enum class RawFormat { Nv12, Yuv420p, Yuyv422, Bgr24, Bgr0 };

// False for a name that is none of nv12, yuv420p, yuyv422, bgr24, bgr0.
bool ParseRawFormat(const std::string& name, RawFormat* format);

// Bytes of one tightly packed frame (ffmpeg writes no row padding); 0 for a
// size that is not positive and even.
std::size_t RawFrameSize(RawFormat format, int width, int height);

// `frame` (RawFrameSize bytes, rows top-down) as width*height*3 bytes of
// top-down RGB. YUV is read as BT.601 with studio range, as the camera
// writes it.
void RawFrameToRgb(RawFormat format, int width, int height, const std::uint8_t* frame,
                   std::vector<std::uint8_t>* rgb);

// The other way, for tests: top-down RGB into a frame of `format`.
void RgbToRawFrame(RawFormat format, int width, int height, const std::uint8_t* rgb,
                   std::vector<std::uint8_t>* frame);

}  // namespace pavix::testing

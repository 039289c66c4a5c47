// A camera-like version of the test pattern: the same layout, readable by the
// same readers (frame number, orientation, colour order), seen through a
// moving textured scene and sensor noise, so that its JPEGs weigh and decode
// like a real phone's pictures rather than like flat colour fields.
//
// Each pixel is 72 % the pattern's colour and 28 % a scene texture that pans
// across the picture from frame to frame, plus noise that changes every
// frame. The texture is sized relative to the picture, so every size shows
// the same scene; the noise is weaker on larger pictures, as a phone's
// encoder smooths more there, which keeps the JPEGs of 640 x 480,
// 1280 x 720 and 1920 x 1080 pictures at quality 80 between 40 and 120 KB.
#pragma once

#include <cstdint>
#include <vector>

namespace phonesim {

// Draws frame `frame` into `rgb_out`, width*height*3 bytes, top-down RGB.
// Sizes below 32x32 draw nothing.
void RenderCameraScene(uint64_t frame, int width, int height, uint8_t* rgb_out);
void RenderCameraScene(uint64_t frame, int width, int height, std::vector<uint8_t>* rgb_out);

}  // namespace phonesim

// Compresses an RGB picture to a baseline JPEG (libjpeg 6b API, 4:2:0).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace phonesim {

// `rgb` holds width*height*3 bytes, top-down. `quality` is 1..100. On success
// `jpeg_out` holds one complete JPEG image from SOI to EOI; on failure returns
// false and says why in `error`.
bool EncodeJpeg(const uint8_t* rgb, int width, int height, int quality,
                std::vector<uint8_t>* jpeg_out, std::string* error);

}  // namespace phonesim

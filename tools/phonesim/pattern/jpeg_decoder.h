// Decodes a JPEG image to RGB (libjpeg 6b API), telling a clean image apart
// from one the library had to patch up (damaged entropy data, missing end).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace phonesim {

struct DecodedJpeg {
  std::vector<uint8_t> rgb;  // width*height*3, top-down
  int width = 0;
  int height = 0;
  int warnings = 0;          // corrupt-data warnings libjpeg recovered from
  std::string first_warning;
};

// Pictures larger than this many pixels are refused rather than allocated.
constexpr uint64_t kMaxDecodedPixels = uint64_t{8192} * 8192;

// Returns false (with `error`) when the data is not a decodable JPEG. Returns
// true with out->warnings > 0 when it decoded only after recovering from
// damage; such a picture is partly made up by the decoder.
bool DecodeJpeg(const uint8_t* data, size_t size, DecodedJpeg* out, std::string* error);

}  // namespace phonesim

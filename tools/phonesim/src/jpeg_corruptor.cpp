#include "jpeg_corruptor.h"

#include <algorithm>

namespace phonesim {
namespace {

// First byte after the start-of-scan header, or 0 when the marker structure
// cannot be followed.
size_t FindScanData(const std::vector<uint8_t>& jpeg) {
  size_t pos = 2;  // after SOI
  while (pos + 4 <= jpeg.size()) {
    if (jpeg[pos] != 0xFF) return 0;
    const uint8_t marker = jpeg[pos + 1];
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    const size_t length = (size_t{jpeg[pos + 2]} << 8) | jpeg[pos + 3];
    if (length < 2) return 0;
    const size_t next = pos + 2 + length;
    if (marker == 0xDA) return next <= jpeg.size() ? next : 0;
    pos = next;
  }
  return 0;
}

// Position of the last EOI marker, or the size when there is none.
size_t FindEnd(const std::vector<uint8_t>& jpeg) {
  for (size_t i = jpeg.size(); i >= 2; --i) {
    if (jpeg[i - 2] == 0xFF && jpeg[i - 1] == 0xD9) return i - 2;
  }
  return jpeg.size();
}

size_t Uniform(std::mt19937_64& rng, size_t lo, size_t hi) {
  return std::uniform_int_distribution<size_t>(lo, std::max(lo, hi))(rng);
}

}  // namespace

JpegDamage CorruptJpeg(std::vector<uint8_t>* jpeg, std::mt19937_64& rng) {
  size_t begin = FindScanData(*jpeg);
  size_t end = FindEnd(*jpeg);
  if (begin == 0 || end <= begin + 8) {  // not a JPEG we understand: damage the middle
    begin = jpeg->size() / 4;
    end = jpeg->size() - jpeg->size() / 4;
  }
  const size_t span = end - begin;
  const bool truncate = std::uniform_int_distribution<int>(0, 1)(rng) == 1;
  if (truncate) {
    jpeg->resize(Uniform(rng, begin + span / 4, begin + span * 3 / 4));
    return JpegDamage::kTruncated;
  }
  const size_t length = std::min(span, std::max<size_t>(16, span / 8));
  const size_t start = Uniform(rng, begin, begin + span / 2 - std::min(span / 2, length / 2));
  std::uniform_int_distribution<int> byte(0, 255);
  for (size_t i = start; i < std::min(start + length, end); ++i) {
    (*jpeg)[i] = static_cast<uint8_t>(byte(rng));
  }
  return JpegDamage::kScrambled;
}

}  // namespace phonesim

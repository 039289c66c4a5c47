#include "stream_faults.h"

#include <algorithm>
#include <cstring>

namespace phonesim {
namespace {

constexpr char kMagic[] = "ROVOd";
constexpr size_t kMagicSize = 5;

}  // namespace

size_t StreamFaults::NextChunk(size_t remaining) {
  if (remaining <= 1) return remaining;
  // Pick a bit length first so that 1-byte and 4 KiB writes are both common.
  const int bits = std::uniform_int_distribution<int>(0, 12)(rng_);
  const size_t upper = std::min<size_t>(remaining, std::min<size_t>(kMaxChunk, size_t{1} << bits));
  return std::uniform_int_distribution<size_t>(1, upper)(rng_);
}

int StreamFaults::NextPauseMicros() {
  if (std::uniform_int_distribution<int>(0, 15)(rng_) != 0) return 0;
  return std::uniform_int_distribution<int>(50, 2000)(rng_);
}

std::vector<uint8_t> StreamFaults::NextGarbage(const uint8_t* payload_tail, size_t tail_size) {
  const size_t size = std::uniform_int_distribution<size_t>(1, kMaxGarbage)(rng_);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> garbage(size);
  for (uint8_t& b : garbage) b = static_cast<uint8_t>(byte(rng_));
  // Now and then plant a near miss of the marker.
  if (size >= kMagicSize && std::uniform_int_distribution<int>(0, 3)(rng_) == 0) {
    const size_t at = std::uniform_int_distribution<size_t>(0, size - kMagicSize)(rng_);
    std::memcpy(&garbage[at], kMagic, kMagicSize);
    garbage[at + kMagicSize - 1] = 'D';
  }

  // Remove any marker, also one that starts in the payload's last bytes. A
  // match that reaches into the garbage has its final 'd' there.
  const size_t keep = std::min<size_t>(tail_size, kMagicSize - 1);
  std::vector<uint8_t> window(payload_tail + tail_size - keep, payload_tail + tail_size);
  window.insert(window.end(), garbage.begin(), garbage.end());
  for (size_t i = 0; i + kMagicSize <= window.size(); ++i) {
    if (std::memcmp(&window[i], kMagic, kMagicSize) == 0) {
      window[i + kMagicSize - 1] = 'e';
      garbage[i + kMagicSize - 1 - keep] = 'e';
    }
  }
  return garbage;
}

uint64_t DeriveSeed(uint64_t seed, uint64_t user) {
  // splitmix64 of the pair
  uint64_t z = seed + (user + 1) * 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace phonesim

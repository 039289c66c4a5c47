// The random parts of the stream faults: how packets are cut into writes and
// what garbage goes between packets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace phonesim {

constexpr size_t kMaxChunk = 4096;
constexpr size_t kMaxGarbage = 256;

class StreamFaults {
 public:
  explicit StreamFaults(uint64_t seed) : rng_(seed) {}

  // Size of the next write, 1..min(remaining, kMaxChunk); small sizes are as
  // likely as large ones by order of magnitude.
  size_t NextChunk(size_t remaining);

  // Microseconds to pause after a write: mostly 0, sometimes up to 2 ms.
  int NextPauseMicros();

  // 1..kMaxGarbage random bytes to follow a packet whose payload ended with
  // `payload_tail` (its last bytes, up to 4 matter). The packet start marker
  // "ROVOd" appears neither in the garbage nor across the boundary with the
  // payload; near misses such as "ROVOD" do, to test resynchronisation.
  std::vector<uint8_t> NextGarbage(const uint8_t* payload_tail, size_t tail_size);

 private:
  std::mt19937_64 rng_;
};

// An independent seed for one user of the fault randomness, so that turning
// one fault on or off leaves the others' choices unchanged.
uint64_t DeriveSeed(uint64_t seed, uint64_t user);

}  // namespace phonesim

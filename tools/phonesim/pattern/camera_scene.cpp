#include "pattern/camera_scene.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "pattern/test_pattern.h"

namespace phonesim {
namespace {

// The scene: value noise of a few octaves on a square tile that wraps, so
// it can pan forever.
constexpr int kTileBits = 9;
constexpr int kTileSide = 1 << kTileBits;  // 512
constexpr int kTileMask = kTileSide - 1;

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

// One tile per colour channel, made once.
const std::array<std::vector<uint8_t>, 3>& SceneTiles() {
  static const std::array<std::vector<uint8_t>, 3> tiles = [] {
    std::array<std::vector<uint8_t>, 3> made;
    for (int c = 0; c < 3; ++c) {
      std::vector<double> sum(kTileSide * kTileSide, 0.0);
      double weight_total = 0;
      // Lattice cells of 128, 64, 32, 16 and 8 pixels; finer octaves weigh
      // less, as in natural pictures.
      for (int octave = 0; octave < 5; ++octave) {
        const int cell = 128 >> octave;
        const int cells = kTileSide / cell;
        const double weight = 1.0 / (1 << octave) + 0.15;
        weight_total += weight;
        auto lattice = [&](int lx, int ly) {
          const uint32_t h = Hash(static_cast<uint32_t>((c * 8 + octave) * 1000003 +
                                                        (ly % cells) * cells + lx % cells));
          return (h & 0xFFFF) / 65535.0;
        };
        for (int y = 0; y < kTileSide; ++y) {
          const int ly = y / cell;
          const double fy = static_cast<double>(y % cell) / cell;
          const double sy = fy * fy * (3 - 2 * fy);
          for (int x = 0; x < kTileSide; ++x) {
            const int lx = x / cell;
            const double fx = static_cast<double>(x % cell) / cell;
            const double sx = fx * fx * (3 - 2 * fx);
            const double top = lattice(lx, ly) * (1 - sx) + lattice(lx + 1, ly) * sx;
            const double bottom = lattice(lx, ly + 1) * (1 - sx) + lattice(lx + 1, ly + 1) * sx;
            sum[y * kTileSide + x] += weight * (top * (1 - sy) + bottom * sy);
          }
        }
      }
      made[c].resize(sum.size());
      for (size_t i = 0; i < sum.size(); ++i) {
        // Stretch the contrast: sums of octaves crowd around the middle.
        const double v = (sum[i] / weight_total - 0.5) * 2.2 + 0.5;
        made[c][i] = static_cast<uint8_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5);
      }
    }
    return made;
  }();
  return tiles;
}

// Noise amplitude (peak, in steps) for a picture of `pixels` pixels.
int NoiseAmplitude(int64_t pixels) {
  const double megapixels = static_cast<double>(pixels) / 1e6;
  return std::clamp(static_cast<int>(std::lround(15.0 / std::pow(megapixels / 0.3072, 0.75))), 3, 24);
}

}  // namespace

void RenderCameraScene(uint64_t frame, int width, int height, std::vector<uint8_t>* rgb_out) {
  rgb_out->assign(static_cast<size_t>(std::max(width, 0)) * std::max(height, 0) * 3, 0);
  RenderCameraScene(frame, width, height, rgb_out->data());
}

void RenderCameraScene(uint64_t frame, int width, int height, uint8_t* rgb_out) {
  if (width < 32 || height < 32 || rgb_out == nullptr) return;
  RenderPattern(frame, width, height, rgb_out);
  const auto& tiles = SceneTiles();
  // The tile spans about 1.2 picture widths; it pans a little every frame.
  const int64_t step = (int64_t{kTileSide} << 16) * 10 / (12 * width);  // tile pixels per picture pixel, 16.16
  const int64_t pan_x = static_cast<int64_t>(frame % 4096) * (3 << 16);
  const int64_t pan_y = static_cast<int64_t>(frame % 4096) * (1 << 16);
  const int amplitude = NoiseAmplitude(int64_t{width} * height);
  const int span = 2 * amplitude + 1;
  uint32_t state = Hash(static_cast<uint32_t>(frame) * 2654435761u + 1u) | 1u;
  for (int y = 0; y < height; ++y) {
    const int ty = static_cast<int>(((pan_y + y * step) >> 16) & kTileMask);
    const uint8_t* rows[3] = {&tiles[0][ty * kTileSide], &tiles[1][((ty + 170) & kTileMask) * kTileSide],
                              &tiles[2][((ty + 341) & kTileMask) * kTileSide]};
    uint8_t* p = rgb_out + static_cast<size_t>(y) * width * 3;
    int64_t tx = pan_x;
    for (int x = 0; x < width; ++x, p += 3, tx += step) {
      const int t = static_cast<int>((tx >> 16) & kTileMask);
      // xorshift32: one draw gives the noise of all three channels.
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      for (int c = 0; c < 3; ++c) {
        const int texture = rows[c][(t + 97 * c) & kTileMask];
        const int noise = static_cast<int>((((state >> (c * 10)) & 1023) * span) >> 10) - amplitude;
        const int value = (p[c] * 184 + texture * 72) / 256 + noise;
        p[c] = static_cast<uint8_t>(std::clamp(value, 0, 255));
      }
    }
  }
}

}  // namespace phonesim

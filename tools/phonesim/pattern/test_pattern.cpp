#include "pattern/test_pattern.h"

#include <algorithm>
#include <cstdlib>

namespace phonesim {
namespace {

// Band edges in thousandths of the height.
constexpr int kTopQuadrantsEnd = 340;
constexpr int kUpperTrackEnd = 400;
constexpr int kRowAEnd = 500;
constexpr int kRowBEnd = 600;
constexpr int kLowerTrackEnd = 660;

struct Rgb {
  uint8_t r, g, b;
};

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kTrackGrey{64, 64, 64};
constexpr Rgb kBarYellow{255, 255, 0};

// 5x7 digits, one byte a row, bit 4 the leftmost column.
constexpr uint8_t kDigitFont[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

int Edge(int size, int thousandths) { return static_cast<int>(int64_t{size} * thousandths / 1000); }
int CellEdge(int width, int cell) { return static_cast<int>(int64_t{width} * cell / kCodeCells); }

class Canvas {
 public:
  Canvas(uint8_t* rgb, int width, int height) : rgb_(rgb), width_(width), height_(height) {}

  void Fill(int x0, int y0, int x1, int y1, Rgb c) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width_);
    y1 = std::min(y1, height_);
    for (int y = y0; y < y1; ++y) {
      uint8_t* p = rgb_ + (static_cast<size_t>(y) * width_ + x0) * 3;
      for (int x = x0; x < x1; ++x, p += 3) {
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
      }
    }
  }

 private:
  uint8_t* rgb_;
  int width_;
  int height_;
};

bool CodeBit(uint32_t number, int cell) {
  if (cell == 0) return true;
  if (cell == kCodeCells - 1) return false;
  return (number >> (kFrameNumberBits - cell)) & 1u;
}

void DrawNumber(Canvas& canvas, uint32_t number, int width, int height) {
  const int scale = std::max(1, height / 80);
  char digits[16];
  int count = 0;
  do {
    digits[count++] = static_cast<char>(number % 10);
    number /= 10;
  } while (number != 0);
  int x = Edge(width, 20);
  const int y0 = Edge(height, 20);
  const int right_limit = width / 2 - scale;
  for (int i = count - 1; i >= 0; --i) {
    if (x + 5 * scale > right_limit) break;
    const uint8_t* glyph = kDigitFont[static_cast<int>(digits[i])];
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if (glyph[row] & (0x10 >> col)) {
          canvas.Fill(x + col * scale, y0 + row * scale, x + (col + 1) * scale,
                      y0 + (row + 1) * scale, kBlack);
        }
      }
    }
    x += 6 * scale;
  }
}

// Mean of each channel over a rectangle given in thousandths of the size.
struct Mean {
  double r = 0, g = 0, b = 0;
  double Luma() const { return (r + g + b) / 3.0; }
};

Mean Sample(const ImageView& image, int fx0, int fy0, int fx1, int fy1) {
  const int x0 = Edge(image.width, fx0);
  const int y0 = Edge(image.height, fy0);
  const int x1 = std::max(x0 + 1, Edge(image.width, fx1));
  const int y1 = std::max(y0 + 1, Edge(image.height, fy1));
  const int ri = image.bgr ? 2 : 0;
  const int bi = image.bgr ? 0 : 2;
  double sr = 0, sg = 0, sb = 0;
  for (int y = y0; y < y1; ++y) {
    const uint8_t* p = image.data + static_cast<ptrdiff_t>(y) * image.stride +
                       static_cast<ptrdiff_t>(x0) * image.bytes_per_pixel;
    for (int x = x0; x < x1; ++x, p += image.bytes_per_pixel) {
      sr += p[ri];
      sg += p[1];
      sb += p[bi];
    }
  }
  const double n = static_cast<double>(x1 - x0) * (y1 - y0);
  return Mean{sr / n, sg / n, sb / n};
}

bool ValidView(const ImageView& image, int min_width, int min_height) {
  return image.data != nullptr && image.width >= min_width && image.height >= min_height &&
         (image.bytes_per_pixel == 3 || image.bytes_per_pixel == 4) &&
         std::abs(image.stride) >= static_cast<ptrdiff_t>(image.width) * image.bytes_per_pixel;
}

enum Colour { kColourRed, kColourGreen, kColourBlue, kColourWhite, kColourNone };

Colour Classify(const Mean& m) {
  constexpr double kTolerance = 100.0;
  const Rgb refs[4] = {kRed, kGreen, kBlue, kWhite};
  for (int i = 0; i < 4; ++i) {
    if (std::abs(m.r - refs[i].r) < kTolerance && std::abs(m.g - refs[i].g) < kTolerance &&
        std::abs(m.b - refs[i].b) < kTolerance) {
      return static_cast<Colour>(i);
    }
  }
  return kColourNone;
}

}  // namespace

ImageView RgbView(const uint8_t* rgb, int width, int height) {
  ImageView view;
  view.data = rgb;
  view.width = width;
  view.height = height;
  view.stride = static_cast<ptrdiff_t>(width) * 3;
  return view;
}

int MotionBarWidth(int width) { return std::max(2, width / 40); }

int MotionBarLeft(uint64_t frame, int width) {
  const int travel = std::max(0, width - MotionBarWidth(width));
  const int step = static_cast<int>(frame % kMotionPeriodFrames);
  return static_cast<int>(int64_t{travel} * step / (kMotionPeriodFrames - 1));
}

void RenderPattern(uint64_t frame, int width, int height, std::vector<uint8_t>* rgb_out) {
  rgb_out->assign(static_cast<size_t>(std::max(width, 0)) * std::max(height, 0) * 3, 0);
  RenderPattern(frame, width, height, rgb_out->data());
}

void RenderPattern(uint64_t frame, int width, int height, uint8_t* rgb_out) {
  if (width < 32 || height < 32 || rgb_out == nullptr) return;
  Canvas canvas(rgb_out, width, height);
  const uint32_t number = static_cast<uint32_t>(frame) & kFrameNumberMask;
  const int half = width / 2;
  const int y_top_end = Edge(height, kTopQuadrantsEnd);
  const int y_track1_end = Edge(height, kUpperTrackEnd);
  const int y_row_a_end = Edge(height, kRowAEnd);
  const int y_row_b_end = Edge(height, kRowBEnd);
  const int y_track2_end = Edge(height, kLowerTrackEnd);

  canvas.Fill(0, 0, half, y_top_end, kRed);
  canvas.Fill(half, 0, width, y_top_end, kGreen);
  canvas.Fill(0, y_track2_end, half, height, kBlue);
  canvas.Fill(half, y_track2_end, width, height, kWhite);

  canvas.Fill(0, y_top_end, width, y_track1_end, kTrackGrey);
  canvas.Fill(0, y_row_b_end, width, y_track2_end, kTrackGrey);
  const int bar_left = MotionBarLeft(frame, width);
  const int bar_right = bar_left + MotionBarWidth(width);
  canvas.Fill(bar_left, y_top_end, bar_right, y_track1_end, kBarYellow);
  canvas.Fill(bar_left, y_row_b_end, bar_right, y_track2_end, kBarYellow);

  for (int cell = 0; cell < kCodeCells; ++cell) {
    const bool bit = CodeBit(number, cell);
    const int x0 = CellEdge(width, cell);
    const int x1 = CellEdge(width, cell + 1);
    canvas.Fill(x0, y_track1_end, x1, y_row_a_end, bit ? kWhite : kBlack);
    canvas.Fill(x0, y_row_a_end, x1, y_row_b_end, bit ? kBlack : kWhite);
  }

  DrawNumber(canvas, number, width, height);
}

int64_t ReadFrameNumber(const uint8_t* rgb, int width, int height) {
  return ReadFrameNumber(RgbView(rgb, width, height));
}

int64_t ReadFrameNumber(const ImageView& image) {
  if (!ValidView(image, 2 * kCodeCells, 40)) return -1;
  // Each cell is sampled over its middle half, each row likewise, so the
  // blur that scaling and compression leave at the edges does not count.
  constexpr double kMinContrast = 64.0;
  const int row_a_y0 = kUpperTrackEnd + (kRowAEnd - kUpperTrackEnd) / 4;
  const int row_a_y1 = kRowAEnd - (kRowAEnd - kUpperTrackEnd) / 4;
  const int row_b_y0 = kRowAEnd + (kRowBEnd - kRowAEnd) / 4;
  const int row_b_y1 = kRowBEnd - (kRowBEnd - kRowAEnd) / 4;
  uint32_t number = 0;
  for (int cell = 0; cell < kCodeCells; ++cell) {
    const int x0 = (4 * cell + 1) * 1000 / (4 * kCodeCells);
    const int x1 = (4 * cell + 3) * 1000 / (4 * kCodeCells);
    const double a = Sample(image, x0, row_a_y0, x1, row_a_y1).Luma();
    const double b = Sample(image, x0, row_b_y0, x1, row_b_y1).Luma();
    if (std::abs(a - b) < kMinContrast) return -1;
    const bool bit = a > b;
    if (cell == 0 || cell == kCodeCells - 1) {
      if (bit != CodeBit(0, cell)) return -1;
      continue;
    }
    number = (number << 1) | (bit ? 1u : 0u);
  }
  return number;
}

PatternOrientation ReadOrientation(const uint8_t* rgb, int width, int height) {
  return ReadOrientation(RgbView(rgb, width, height));
}

PatternOrientation ReadOrientation(const ImageView& image) {
  PatternOrientation result;
  if (!ValidView(image, 8, 8)) return result;
  // Boxes well inside each quadrant, clear of the digits and the motion bar,
  // and placed symmetrically so they stay inside a quadrant after any flip.
  const Colour seen[4] = {
      Classify(Sample(image, 130, 150, 370, 270)),  // top left
      Classify(Sample(image, 630, 150, 870, 270)),  // top right
      Classify(Sample(image, 130, 730, 370, 850)),  // bottom left
      Classify(Sample(image, 630, 730, 870, 850)),  // bottom right
  };
  for (int flags = 0; flags < 8; ++flags) {
    const bool flip = flags & 1;
    const bool mirror = flags & 2;
    const bool swap = flags & 4;
    Colour expected[4] = {kColourRed, kColourGreen, kColourBlue, kColourWhite};
    if (swap) {
      for (Colour& c : expected) {
        if (c == kColourRed) {
          c = kColourBlue;
        } else if (c == kColourBlue) {
          c = kColourRed;
        }
      }
    }
    if (flip) {
      std::swap(expected[0], expected[2]);
      std::swap(expected[1], expected[3]);
    }
    if (mirror) {
      std::swap(expected[0], expected[1]);
      std::swap(expected[2], expected[3]);
    }
    if (std::equal(expected, expected + 4, seen)) {
      result.recognised = true;
      result.flipped_vertically = flip;
      result.mirrored = mirror;
      result.red_blue_swapped = swap;
      return result;
    }
  }
  return result;
}

}  // namespace phonesim

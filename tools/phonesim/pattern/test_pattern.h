// Moving, self-identifying test picture used by the phone simulator, and the
// readers that recognise it again after it went through scaling and JPEG.
//
// Layout (fractions of the picture's width W and height H; every boundary is
// placed at the same fraction whatever the size, so the readers work on a
// picture scaled to any size of at least 160x120, aspect ratio changes too):
//
//   y 0.00 .. 0.34  quadrants: left half pure red (255,0,0),
//                   right half pure green (0,255,0).
//                   Top-left corner carries the frame number in black decimal
//                   digits for a human eye (y 0.02 .. about 0.11).
//   y 0.34 .. 0.40  motion track: dark grey (64,64,64) with a yellow
//                   (255,255,0) vertical bar; see MotionBarLeft().
//   y 0.40 .. 0.50  code row A: 26 equal cells, cell c spanning
//                   x [c*W/26, (c+1)*W/26). Cell 0 is the start marker
//                   (white), cells 1..24 hold the frame number modulo 2^24,
//                   most significant bit first (white = 1, black = 0),
//                   cell 25 is the end marker (black).
//   y 0.50 .. 0.60  code row B: every cell the opposite of row A's cell above.
//   y 0.60 .. 0.66  motion track again, same bar.
//   y 0.66 .. 1.00  quadrants: left half pure blue (0,0,255),
//                   right half white (255,255,255).
//
// Reading the number compares each cell of row A with the cell below it, so
// it needs no fixed threshold and rejects a picture that is mirrored or upside
// down (the markers come out reversed) or that is not this pattern at all
// (some pair of cells fails to differ clearly).
//
// The quadrant colours reveal orientation and channel order: the eight
// arrangements produced by flipping, mirroring and swapping red with blue all
// differ, see ReadOrientation().
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace phonesim {

constexpr int kFrameNumberBits = 24;
constexpr uint32_t kFrameNumberMask = (1u << kFrameNumberBits) - 1;
constexpr int kCodeCells = kFrameNumberBits + 2;  // start marker + bits + end marker
constexpr int kMotionPeriodFrames = 64;           // the bar crosses the picture in this many frames

// A picture in memory for the readers: 3 or 4 bytes a pixel, RGB or BGR order
// (a fourth byte is ignored), rows top to bottom `stride` bytes apart. A
// bottom-up buffer is described by pointing `data` at its last row and giving a
// negative stride.
struct ImageView {
  const uint8_t* data = nullptr;  // first byte of the top row
  int width = 0;
  int height = 0;
  ptrdiff_t stride = 0;
  int bytes_per_pixel = 3;
  bool bgr = false;
};

// A tightly packed top-down RGB picture.
ImageView RgbView(const uint8_t* rgb, int width, int height);

// Draws frame `frame` into `rgb_out`, width*height*3 bytes, top-down RGB.
// Sizes below 32x32 draw nothing.
void RenderPattern(uint64_t frame, int width, int height, uint8_t* rgb_out);
void RenderPattern(uint64_t frame, int width, int height, std::vector<uint8_t>* rgb_out);

// Left edge and width in pixels of the motion bar for `frame` at `width`: the
// bar moves right by one step each frame and starts over after
// kMotionPeriodFrames frames.
int MotionBarLeft(uint64_t frame, int width);
int MotionBarWidth(int width);

// The frame number (0 .. kFrameNumberMask) shown by the picture, or -1 when the
// picture is not an upright, unmirrored view of the pattern or is too damaged
// or too small (below 52x40) to read.
int64_t ReadFrameNumber(const uint8_t* rgb, int width, int height);
int64_t ReadFrameNumber(const ImageView& image);

// How the pattern's quadrants appear in a picture.
struct PatternOrientation {
  bool recognised = false;          // the four colours sit in one of the eight arrangements
  bool flipped_vertically = false;  // upside down (top and bottom exchanged)
  bool mirrored = false;            // left and right exchanged
  bool red_blue_swapped = false;    // red and blue channels exchanged (RGB read as BGR)
  bool upright() const {
    return recognised && !flipped_vertically && !mirrored && !red_blue_swapped;
  }
};

PatternOrientation ReadOrientation(const uint8_t* rgb, int width, int height);
PatternOrientation ReadOrientation(const ImageView& image);

}  // namespace phonesim

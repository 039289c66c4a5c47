#pragma once

// The shared frame buffer "PavixShMem": the one channel between the desktop
// program (the writer) and the camera filter (every reader). It holds one
// picture and one 32-bit frame word; there is no lock and no event, the
// newest picture always wins.
//
// Layout of the block (offsets from the start of the view, little-endian):
//      0     4  frame word (signed 32-bit, values below)
//      4     1  unused, 0
//      5  460800  pixel area: 480 x 320, 3 bytes per pixel (blue, green,
//                 red), rows bottom-up: the first 1,440 bytes hold the
//                 bottom row of the picture
//  460805  40955  unused, 0
//
// The layout constants and the reader's copy are plain data and logic and
// build everywhere; opening the block needs Windows.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace pavix {

inline constexpr char kSharedFrameBufferName[] = "PavixShMem";
inline constexpr std::size_t kSharedFrameBufferSize = 501760;  // 0x7A800

inline constexpr std::size_t kFrameWordOffset = 0;
inline constexpr std::size_t kPixelAreaOffset = 5;

inline constexpr int kPictureWidth = 480;
inline constexpr int kPictureHeight = 320;
inline constexpr int kPictureBytesPerPixel = 3;
inline constexpr std::size_t kPictureStride = kPictureWidth * kPictureBytesPerPixel;  // 1440
inline constexpr std::size_t kPixelAreaSize = kPictureStride * kPictureHeight;        // 460800

static_assert(kPictureStride % 4 == 0, "rows of a 24-bit DIB need no padding at this width");
static_assert(kPixelAreaOffset + kPixelAreaSize <= kSharedFrameBufferSize,
              "the pixel area lies inside the block");

// Frame word values. 1 to kLargestFrameNumber: the pixel area holds a
// decoded phone picture, numbered by the writer's frame count.
inline constexpr int32_t STATUS_STARTUP = 0;    // idle picture at start-up
inline constexpr int32_t STATUS_SHUTDOWN = -1;  // writer has shut down
inline constexpr int32_t STATUS_NO_LINK = -2;   // phone link down, idle picture
inline constexpr int32_t kLargestFrameNumber = 1000000010;

// Reads the frame word of a mapped block as one aligned 32-bit access. A
// reader without a view sees STATUS_STARTUP (a black picture that streams).
int32_t ReadFrameWord(const void* view);

// Stores the frame word as one aligned 32-bit access.
void WriteFrameWord(void* view, int32_t frameWord);

// Row order of a picture handed to a capture application.
enum class RowOrder {
    BottomUp,  // as in the block: a DIB with a positive height
    TopDown,   // a DIB with a negative height: the top row first
};

// Copies the block's picture into a sample buffer of `size` bytes in the
// given row order. Never reads outside the pixel area: bytes of the buffer
// beyond the picture are zeroed, and without a view (null) the whole buffer
// becomes black.
void CopyPictureToSample(const void* view, uint8_t* sample, std::size_t size, RowOrder order);

#if defined(_WIN32)
// Creates the block or opens the existing one and maps all of it for
// reading and writing. Returns 1 with both places filled, or 0 with both
// null (nothing is left open).
int OpenSharedFrameBuffer(HANDLE* mapping, void** view);

// Unmaps the view and closes the mapping, each when present, and clears
// both places.
void CloseSharedFrameBuffer(HANDLE* mapping, void** view);
#endif

}  // namespace pavix

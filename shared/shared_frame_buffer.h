#pragma once

// The shared frame buffer "PavixShMem": the one channel between the desktop
// program (the writer) and the camera filter (every reader). It holds one
// picture and one 32-bit frame word; there is no lock and no event, the
// newest picture always wins.
//
// Beside it lies the small sequence section "PavixShMemSequence": one
// 32-bit count at offset 0 that the writer makes odd before it writes the
// block and even again after, so that a reader can tell a whole picture
// from one it copied while the writer was at it (SharedPictureReader). A
// reader that knows nothing of it reads the block as before; a writer that
// knows nothing of it leaves the count as it is, and readers then copy as
// before too.
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

inline constexpr char kFrameSequenceName[] = "PavixShMemSequence";
inline constexpr std::size_t kFrameSequenceSize = 64;

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

// The one write of the block, for every writer: the sequence count (when
// there is one) goes odd, `pixels` (kPixelAreaSize bytes, bottom row first;
// null leaves the picture as it is) are copied into the pixel area, the
// frame word is stored, and the count goes even again. A count left odd by
// a writer that died mid-write is moved on to a fresh odd value. One writer
// at a time: callers in one process serialise their writes.
void WriteSharedPicture(void* view, volatile std::uint32_t* sequence, const uint8_t* pixels,
                        int32_t frameWord);

// The sequence count, read as one aligned 32-bit load that later loads do
// not move ahead of.
std::uint32_t ReadSequence(const volatile std::uint32_t* sequence);

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
// The same from a pixel area anywhere (kPixelAreaSize bytes, bottom row
// first; null: black).
void CopyPixelsToSample(const uint8_t* pixels, uint8_t* sample, std::size_t size, RowOrder order);

#if defined(_WIN32)
// How a side maps a shared section. Both create it when it is not there
// yet, with the shared objects' security (shared_object_security.h), so the
// order in which the programs start does not matter.
enum class SharedAccess {
    // The writer (pavix.exe, elevated): maps for reading and writing, and
    // puts the shared security on a section an older filter made.
    ReadWrite,
    // A reader (the camera filter, in any video application): opens for
    // reading only, and maps for reading.
    Read,
};

// Creates the section `name` of `size` bytes or opens the existing one and
// maps `size` bytes of it. Returns 1 with both places filled, or 0 with both
// null (nothing is left open; a section smaller than `size` is refused).
int OpenSharedSection(const char* name, std::size_t size, SharedAccess access, HANDLE* mapping,
                      void** view);

// Maps exactly `size` bytes of `section` with `access` (FILE_MAP_READ or
// FILE_MAP_WRITE): 1 with both places filled; else 0 with both null, the
// section closed and the mapping's error kept. A null section gives 0.
int MapSectionView(HANDLE section, std::size_t size, DWORD access, HANDLE* mapping, void** view);

// The block for reading and writing: OpenSharedSection of PavixShMem.
int OpenSharedFrameBuffer(HANDLE* mapping, void** view);

// Unmaps the view and closes the mapping, each when present, and clears
// both places.
void CloseSharedFrameBuffer(HANDLE* mapping, void** view);
#endif

}  // namespace pavix

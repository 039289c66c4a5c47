#pragma once

#include <cstddef>
#include <cstdint>

#include "shared/local_heap.h"

namespace pavix {

// A picture in memory as the decoder leaves it: `width` x `height` pixels of
// 4 bytes each in the order blue, green, red, unused; rows `stride` bytes
// apart, the top row first.
struct BgrxPicture {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
};

// Bytes per pixel of a BgrxPicture.
inline constexpr int kBgrxBytesPerPixel = 4;

// Scales pictures of any size, 1 x 1 and up, with bilinear filtering
// (libyuv's SIMD rows, chosen for this processor at run time):
//   - along an axis that shrinks, sample centres are aligned: target pixel i
//     reads the source at (i + 0.5) * source / target - 0.5;
//   - along an axis that grows, the corners are aligned: target pixel i
//     reads the source at i * (source - 1) / (target - 1);
//   - a single source row or column is repeated.
//
// ToSharedPicture writes the shared frame buffer's picture: 480 x 320
// pixels of 3 bytes (blue, green, red), rows bottom-up, straight into the
// block's pixel area. ToBgrx writes a top-down 4-byte picture of any size,
// for the preview.
//
// The scratch picture for the block (480 x 320 x 4 bytes) is taken once,
// from `heap`. One thread at a time.
class CPictureScaler {
public:
    explicit CPictureScaler(const BlockAllocator& heap = LocalHeap());
    virtual ~CPictureScaler();
    CPictureScaler(const CPictureScaler&) = delete;
    CPictureScaler& operator=(const CPictureScaler&) = delete;

    // Fills the 460,800 bytes at `area` with `source` scaled to 480 x 320,
    // bottom row first. False, with `area` untouched, when the source is
    // empty or the scratch picture cannot be had.
    bool ToSharedPicture(const BgrxPicture& source, std::uint8_t* area);

    // Fills `target` (rows `targetStride` bytes apart, top row first) with
    // `source` scaled to width x height, 4 bytes a pixel. False, with the
    // target untouched, when either picture is empty.
    static bool ToBgrx(const BgrxPicture& source, std::uint8_t* target, int width, int height,
                       std::ptrdiff_t targetStride);

private:
    const BlockAllocator& heap_;
    std::uint8_t* scratch_ = nullptr;
};

// Whether `picture` describes pixels that can be read: a pixel pointer, a
// size from 1 x 1 and rows of at least width x 4 bytes.
bool IsReadable(const BgrxPicture& picture);

}  // namespace pavix

#pragma once

// Puts pictures into the HD picture block (shared/hd_picture_block.h) as
// I420, the block's format, each in one buffer between BeginHdPicture and
// EndHdPicture, numbered 1, 2, ... in the order published:
//   - a decoded phone picture (BGRX, top row first) at its own size when it
//     fits 1920 x 1080, else scaled down to fit keeping its aspect; an odd
//     last row or column is left out;
//   - the idle picture as PavixShMem holds it (480 x 320, 3 bytes a pixel,
//     bottom row first), turned upright.
// Colours as libyuv converts them (BT.601, limited range), which is what
// the camera's conversions read back. One thread at a time.

#include <cstdint>

#include "frames/picture_scaler.h"
#include "shared/local_heap.h"

namespace pavix {

class CHdPicturePublisher {
public:
    explicit CHdPicturePublisher(const BlockAllocator& heap = LocalHeap());
    ~CHdPicturePublisher();
    CHdPicturePublisher(const CHdPicturePublisher&) = delete;
    CHdPicturePublisher& operator=(const CHdPicturePublisher&) = delete;

    // False, with the block as it was, for a picture too small to publish
    // or without memory to scale a large one.
    bool PublishBgrx(void* block, const BgrxPicture& picture, std::int32_t frameWord,
                     std::int64_t arrivalTime);
    bool PublishIdle(void* block, const std::uint8_t* pixels, std::int32_t frameWord,
                     std::int64_t arrivalTime);

    // Gives back the memory taken for scaling large pictures.
    void ReleaseScratch();

private:
    const BlockAllocator& heap_;
    std::uint64_t pictureNumber_ = 0;
    // A picture scaled down to fit, before its conversion (taken on the
    // first one larger than the block: 8 MB).
    std::uint8_t* scratch_ = nullptr;
};

}  // namespace pavix

#pragma once

#include <cstdint>

#include "shared/critical_section.h"
#include "shared/local_heap.h"

namespace pavix {

// The hand-over of preview pictures from the frame thread to the window
// that paints them. Three buffers of width x height pixels, 4 bytes each
// (blue, green, red, unused), top row first: the newest picture, the one
// being painted, and one for the writer to fill, so neither side ever waits
// for the other's work and the painter always gets the newest picture.
// Pictures the screen cannot show in time are simply replaced.
//
// One writer thread and one reader thread. The lock is held only for the
// index changes, never across the filling or the painting.
class CPreviewPictures {
public:
    static constexpr int kBuffers = 3;

    explicit CPreviewPictures(const BlockAllocator& heap = LocalHeap());
    virtual ~CPreviewPictures();
    CPreviewPictures(const CPreviewPictures&) = delete;
    CPreviewPictures& operator=(const CPreviewPictures&) = delete;

    // Takes the three buffers; false (and nothing kept) when they cannot be
    // had or the size is empty. Before either thread uses the exchange.
    bool Init(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return width_ * 4; }

    // Writer: a buffer that is neither the newest picture nor being painted
    // (null before Init) ...
    std::uint8_t* BeginWrite();
    // ... and, once filled, it becomes the newest picture.
    void EndWrite();
    // Writer or reader: there is no newest picture any more.
    void Clear();

    // Reader: the newest picture, kept from the writer until EndRead; null
    // when there is none.
    const std::uint8_t* BeginRead();
    void EndRead();

private:
    // A buffer that is neither `a` nor `b`.
    static int Other(int a, int b);

    const BlockAllocator& heap_;
    CriticalSection lock_;
    std::uint8_t* buffers_[kBuffers] = {};
    int width_ = 0;
    int height_ = 0;
    int newest_ = -1;
    int reading_ = -1;
    int writing_ = -1;
};

}  // namespace pavix

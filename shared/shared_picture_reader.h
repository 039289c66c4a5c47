#pragma once

// A reader's copy of the shared frame buffer's picture that hands on whole
// pictures only. The writer makes the sequence count odd while it writes
// the block (WriteSharedPicture); the reader copies the picture when the
// count is even and keeps the copy when the count is still the same
// afterwards. It never makes the writer wait, and needs no write access.
// After a few tries that all met the writer at work it hands on its last
// whole picture again. Without a sequence count (a writer that does not
// keep one) it copies the block as it is, as readers always did.
//
// One thread at a time (a capture pin's streaming thread).

#include <cstddef>
#include <cstdint>

#include "shared/local_heap.h"
#include "shared/shared_frame_buffer.h"

namespace pavix {

class SharedPictureReader {
public:
    // What a copy handed on.
    enum class Copied {
        Whole,      // the picture, checked whole against the sequence count
        LastWhole,  // the writer was at work every try: the last whole one again
        Unchecked,  // no sequence count, no memory, or nothing whole yet: as it was
    };

    // Copies tried before it gives up, and how long it waits at most for a
    // writer at work (whose one copy takes a fraction of a millisecond).
    static constexpr int kTries = 4;
    static constexpr int kWriterWaitUs = 1000;

    explicit SharedPictureReader(const BlockAllocator& heap = LocalHeap());
    ~SharedPictureReader();
    SharedPictureReader(const SharedPictureReader&) = delete;
    SharedPictureReader& operator=(const SharedPictureReader&) = delete;

    // Fills `sample` (`size` bytes) with the block's picture in `order`, as
    // CopyPictureToSample does. `view` is the block (null: black),
    // `sequence` its count (null: none).
    Copied CopyToSample(const void* view, const volatile std::uint32_t* sequence,
                        std::uint8_t* sample, std::size_t size, RowOrder order);

private:
    // A whole copy of the block's pixels into whole_; false when every
    // try met the writer (whole_ is then as it was).
    bool TakeWholePicture(const std::uint8_t* pixels, const volatile std::uint32_t* sequence);

    const BlockAllocator& heap_;
    // kPixelAreaSize bytes each, or null: the last whole picture, and the
    // copy being tried (the two trade places when it turns out whole).
    std::uint8_t* whole_ = nullptr;
    std::uint8_t* trying_ = nullptr;
    bool haveWhole_ = false;
};

}  // namespace pavix

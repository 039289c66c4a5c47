#pragma once

#include <cstddef>
#include <cstdint>

#include "frames/jpeg_error_manager.h"
#include "frames/jpeg_library.h"
#include "shared/local_heap.h"

namespace pavix {

// Largest width or height of a picture the decoder takes, well above any
// phone camera. A header announcing more is refused before any pixel memory
// is taken for it.
constexpr int kMaxPictureSide = 8192;

// One libjpeg decompressor, reused for every frame, that decodes a JPEG
// payload in place into a picture of its own:
//     W x H pixels, 3 bytes each in the order blue, green, red, rows of
//     W x 3 bytes without padding, the top row first
// (the memory order of GDI+'s PixelFormat24bppRGB). Colour and greyscale
// JPEGs decode to that layout; other component layouts fail.
//
// The pixel buffer comes from `heap` and grows to the largest picture seen,
// so a steady picture size costs no allocation per frame. Above what a
// 1920 x 1080 picture needs it is given back as soon as a smaller picture
// comes: one burst of huge pictures does not hold hundreds of megabytes.
// A failed decode leaves the decompressor ready for the next payload: one
// bad frame costs that frame only.
//
// Used by one thread at a time.
class CJpegDecoder {
public:
    explicit CJpegDecoder(const BlockAllocator& heap = LocalHeap());
    virtual ~CJpegDecoder();
    CJpegDecoder(const CJpegDecoder&) = delete;
    CJpegDecoder& operator=(const CJpegDecoder&) = delete;

    // Decodes `length` bytes at `data`, the whole payload. Returns the
    // picture's pixels and stores its size in *width and *height; null when
    // the payload is not a picture this decoder can show (the reason is
    // written as a debug text "Error: ...\n" and kept in LastError()).
    // The pixels stay valid until the next Decode or the destructor.
    const std::uint8_t* Decode(const std::uint8_t* data, std::size_t length, int* width,
                               int* height);

    // The picture of the last Decode; null and 0 x 0 when it failed.
    const std::uint8_t* Pixels() const { return width_ > 0 ? output_ : nullptr; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Bytes in the pixel buffer; 0 until the first picture.
    std::int32_t Capacity() const { return capacity_; }

    // The library's text for the last failure; empty if there was none.
    const char* LastError() const { return errors_.message; }

private:
    // Picks the blue-green-red output for the picture whose header was just
    // read, or raises a library error for a layout we cannot show.
    void ChooseOutputLayout();
    // Makes room for `bytes` of pixels; false when the heap refuses.
    bool GrowOutput(std::int32_t bytes);

    jpeg_decompress_struct decompressor_{};
    JpegErrorManager errors_{};
    jpeg_source_mgr source_{};
    const BlockAllocator& heap_;
    bool created_ = false;

    std::uint8_t* output_ = nullptr;
    std::int32_t capacity_ = 0;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace pavix

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
// (the memory order of GDI+'s PixelFormat24bppRGB), or with
// SetLayout(Bgrx) 4 bytes each (blue, green, red, unused), rows of W x 4
// bytes, which is what the picture scaler reads. Colour and greyscale JPEGs
// decode to either layout; other component layouts fail.
//
// SetLeastSize(w, h) lets the library shrink large pictures while decoding
// (by 1/2, 1/4 or 1/8, its fast reductions): the smallest of those that
// still gives at least w x h pixels, or none. A picture of 1920 x 1080 for a
// 493 x 389 target decodes as 960 x 540, in less time and with the detail
// averaged rather than skipped by a later scaling.
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

    enum class Layout { Bgr, Bgrx };
    // From the next Decode on.
    void SetLayout(Layout layout) { layout_ = layout; }
    int BytesPerPixel() const { return layout_ == Layout::Bgrx ? 4 : 3; }
    // 0 x 0 (the default): every picture at its full size.
    void SetLeastSize(int width, int height) {
        leastWidth_ = width;
        leastHeight_ = height;
    }
    // The picture's size before any reduction; 0 x 0 when the last Decode
    // failed.
    int SourceWidth() const { return width_ > 0 ? sourceWidth_ : 0; }
    int SourceHeight() const { return width_ > 0 ? sourceHeight_ : 0; }

    // The library's text for the last failure; empty if there was none.
    const char* LastError() const { return errors_.message; }

private:
    // Picks the blue-green-red output for the picture whose header was just
    // read, or raises a library error for a layout we cannot show.
    void ChooseOutputLayout();
    // Picks the reduction for the picture whose header was just read.
    void ChooseReduction();
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
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    Layout layout_ = Layout::Bgr;
    int leastWidth_ = 0;
    int leastHeight_ = 0;
};

}  // namespace pavix

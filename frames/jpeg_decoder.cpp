#include "frames/jpeg_decoder.h"

#include <cstring>

#include "frames/jpeg_memory_source.h"
#include "shared/debug_text.h"

namespace pavix {
namespace {

constexpr int kBytesPerPixel = 3;
// Pixel memory the decoder keeps between pictures: what a 1920 x 1080
// picture needs. More is kept only while pictures that large keep coming.
constexpr std::int32_t kKeptPixelBytes = 1920 * 1080 * kBytesPerPixel;

void WriteDecodeError(const char* message) {
    DebugTextFormat(JMSG_LENGTH_MAX + 16, "Error: %s\n", message);
}

}  // namespace

CJpegDecoder::CJpegDecoder(const BlockAllocator& heap) : heap_(heap) {
    AttachJpegErrorManager(&decompressor_, &errors_);
    if (setjmp(errors_.recovery) != 0) {
        // The library could not set itself up (no memory): every decode
        // fails, and HandleJpeg's rule replaces this decoder soon enough.
        WriteDecodeError(errors_.message);
        jpeg_destroy_decompress(&decompressor_);
        return;
    }
    jpeg_create_decompress(&decompressor_);
    AttachJpegMemorySource(&decompressor_, &source_);
    created_ = true;
}

CJpegDecoder::~CJpegDecoder() {
    if (created_) jpeg_destroy_decompress(&decompressor_);
    heap_.release(output_);
}

const std::uint8_t* CJpegDecoder::Decode(const std::uint8_t* data, std::size_t length, int* width,
                                         int* height) {
    width_ = 0;
    height_ = 0;
    if (!created_) return nullptr;

    // Every library error lands here. Nothing below keeps state in locals
    // that this branch reads.
    if (setjmp(errors_.recovery) != 0) {
        jpeg_abort_decompress(&decompressor_);
        WriteDecodeError(errors_.message);
        return nullptr;
    }
    errors_.message[0] = '\0';
    PointJpegMemorySource(&source_, data, length);
    jpeg_read_header(&decompressor_, TRUE);
    ChooseOutputLayout();
    if (decompressor_.image_width > static_cast<JDIMENSION>(kMaxPictureSide) ||
        decompressor_.image_height > static_cast<JDIMENSION>(kMaxPictureSide)) {
        ERREXIT1(&decompressor_, JERR_IMAGE_TOO_BIG, kMaxPictureSide);
    }
    ChooseReduction();
    jpeg_start_decompress(&decompressor_);
    const int bytesPerPixel = BytesPerPixel();
    if (decompressor_.output_components != bytesPerPixel) {
        ERREXIT(&decompressor_, JERR_CONVERSION_NOTIMPL);
    }

    // Both sides are at most kMaxPictureSide: the sizes fit 32 bits.
    const JDIMENSION rows = decompressor_.output_height;
    const std::int32_t rowBytes = static_cast<std::int32_t>(decompressor_.output_width) * bytesPerPixel;
    if (!GrowOutput(rowBytes * static_cast<std::int32_t>(rows))) {
        ERREXIT1(&decompressor_, JERR_OUT_OF_MEMORY, 0);
    }
    while (decompressor_.output_scanline < rows) {
        JSAMPROW row = output_ + static_cast<std::size_t>(decompressor_.output_scanline) * rowBytes;
        jpeg_read_scanlines(&decompressor_, &row, 1);
    }
    jpeg_finish_decompress(&decompressor_);

    width_ = static_cast<int>(decompressor_.output_width);
    height_ = static_cast<int>(rows);
    sourceWidth_ = static_cast<int>(decompressor_.image_width);
    sourceHeight_ = static_cast<int>(decompressor_.image_height);
    *width = width_;
    *height = height_;
    return output_;
}

void CJpegDecoder::ChooseOutputLayout() {
    switch (decompressor_.jpeg_color_space) {
        case JCS_YCbCr:
        case JCS_RGB:
        case JCS_GRAYSCALE:  // the library repeats the grey level three times
            decompressor_.out_color_space = layout_ == Layout::Bgrx ? JCS_EXT_BGRX : JCS_EXT_BGR;
            return;
        default:  // CMYK, YCCK and unknown layouts
            ERREXIT(&decompressor_, JERR_CONVERSION_NOTIMPL);
    }
}

void CJpegDecoder::ChooseReduction() {
    decompressor_.scale_num = 1;
    decompressor_.scale_denom = 1;
    if (leastWidth_ <= 0 || leastHeight_ <= 0) return;
    const long width = static_cast<long>(decompressor_.image_width);
    const long height = static_cast<long>(decompressor_.image_height);
    // The library rounds a reduced size up.
    for (const long denominator : {8L, 4L, 2L}) {
        if ((width + denominator - 1) / denominator >= leastWidth_ &&
            (height + denominator - 1) / denominator >= leastHeight_) {
            decompressor_.scale_denom = static_cast<unsigned int>(denominator);
            return;
        }
    }
}

bool CJpegDecoder::GrowOutput(std::int32_t bytes) {
    if (output_ != nullptr && capacity_ >= bytes) {
        // Once a picture larger than full HD has passed, the next smaller
        // one gives the memory above that back.
        if (capacity_ <= kKeptPixelBytes || bytes > kKeptPixelBytes) return true;
    }
    heap_.release(output_);
    output_ = static_cast<std::uint8_t*>(heap_.allocate(static_cast<std::size_t>(bytes)));
    capacity_ = output_ != nullptr ? bytes : 0;
    return output_ != nullptr;
}

}  // namespace pavix

#pragma once

// Turns a picture of the HD block (I420, any even size up to 1920 x 1080)
// or of PavixShMem (480 x 320, 24-bit, bottom row first) into one sample of
// the type a capture application connected with. The picture is never
// distorted: when the source and the type differ in aspect the source's
// centre is cropped to fill the type (no bars), then scaled with libyuv's
// bilinear filter and converted. Platform-neutral; one thread at a time (a
// pin's streaming thread).

#include <cstddef>
#include <cstdint>

#include "shared/i420_picture.h"
#include "shared/local_heap.h"

namespace pavix {

enum class CameraFormat { NV12, I420, YUY2, RGB24, RGB32 };

// "NV12", "I420", "YUY2", "RGB24" or "RGB32".
const char* CameraFormatName(CameraFormat format);

// A connection type as the pin delivers it. RGB rows go bottom-up (a DIB
// with a positive height) unless `topDown`; YUV rows always go top-down.
struct CameraType {
    CameraFormat format = CameraFormat::RGB24;
    int width = 0;
    int height = 0;
    bool topDown = false;
};

// Bytes of one sample of `type` (rows of RGB24 padded to 4 bytes as in a
// DIB); 0 for a size that is not positive and even, or wider or taller
// than 8192.
std::size_t CameraImageSize(const CameraType& type);

// The centred part of a width x height source with the aspect of
// targetWidth x targetHeight, its corner and sides even.
struct CropRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
CropRect CentreCrop(int width, int height, int targetWidth, int targetHeight);

class CCameraPictureConverter {
public:
    explicit CCameraPictureConverter(const BlockAllocator& heap = LocalHeap());
    ~CCameraPictureConverter();
    CCameraPictureConverter(const CCameraPictureConverter&) = delete;
    CCameraPictureConverter& operator=(const CCameraPictureConverter&) = delete;

    // Fills `sample` (`size` bytes, at least CameraImageSize(type)) with
    // `source`. False, with the sample untouched, for an empty source, a
    // sample too small, or no memory for the scratch pictures.
    bool FromI420(const I420Picture& source, const CameraType& type, std::uint8_t* sample,
                  std::size_t size);

    // The same from PavixShMem's pixel area (kPixelAreaSize bytes, bottom
    // row first).
    bool FromSharedPixels(const std::uint8_t* pixels, const CameraType& type, std::uint8_t* sample,
                          std::size_t size);

private:
    // Scratch memory of at least `bytes`, grown when needed; false when
    // the heap refuses (the old scratch is then kept).
    bool ReserveScratch(std::size_t bytes);
    // Scratch bytes the scaled picture needs for `source` into `type`.
    static std::size_t ScaledScratchSize(const I420Picture& source, const CameraType& type);
    // Crop, scale (into `scaled` when the type is not I420) and convert a
    // checked source into a checked sample.
    static void Convert(const I420Picture& source, const CameraType& type, std::uint8_t* sample,
                        std::uint8_t* scaled);

    const BlockAllocator& heap_;
    // Scratch pictures, grown to the largest need and kept.
    std::uint8_t* scratch_ = nullptr;
    std::size_t scratchSize_ = 0;
};

}  // namespace pavix

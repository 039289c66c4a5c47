#include "frames/picture_scaler.h"

#include <libyuv/convert_from_argb.h>
#include <libyuv/scale_argb.h>

#include <climits>

#include "shared/shared_frame_buffer.h"

namespace pavix {
namespace {

constexpr std::size_t kScratchBytes =
    static_cast<std::size_t>(kPictureWidth) * kPictureHeight * kBgrxBytesPerPixel;

// libyuv takes int strides.
bool FitsInt(std::ptrdiff_t value) { return value >= INT_MIN && value <= INT_MAX; }

}  // namespace

bool IsReadable(const BgrxPicture& picture) {
    return picture.pixels != nullptr && picture.width > 0 && picture.height > 0 &&
           picture.stride >= static_cast<std::ptrdiff_t>(picture.width) * kBgrxBytesPerPixel &&
           FitsInt(picture.stride);
}

CPictureScaler::CPictureScaler(const BlockAllocator& heap) : heap_(heap) {}

CPictureScaler::~CPictureScaler() { heap_.release(scratch_); }

bool CPictureScaler::ToSharedPicture(const BgrxPicture& source, std::uint8_t* area) {
    if (area == nullptr || !IsReadable(source)) return false;
    if (scratch_ == nullptr) {
        scratch_ = static_cast<std::uint8_t*>(heap_.allocate(kScratchBytes));
        if (scratch_ == nullptr) return false;
    }
    constexpr int kScratchStride = kPictureWidth * kBgrxBytesPerPixel;
    // libyuv's "ARGB" is our blue, green, red, unused in memory, and its
    // "RGB24" our blue, green, red.
    if (libyuv::ARGBScale(source.pixels, static_cast<int>(source.stride), source.width,
                          source.height, scratch_, kScratchStride, kPictureWidth, kPictureHeight,
                          libyuv::kFilterBilinear) != 0) {
        return false;
    }
    // A negative height reads the scratch picture from its last row up: the
    // block gets its bottom row first.
    return libyuv::ARGBToRGB24(scratch_, kScratchStride, area, static_cast<int>(kPictureStride),
                               kPictureWidth, -kPictureHeight) == 0;
}

bool CPictureScaler::ToBgrx(const BgrxPicture& source, std::uint8_t* target, int width,
                            int height, std::ptrdiff_t targetStride) {
    if (target == nullptr || width <= 0 || height <= 0 || !IsReadable(source) ||
        targetStride < static_cast<std::ptrdiff_t>(width) * kBgrxBytesPerPixel ||
        !FitsInt(targetStride)) {
        return false;
    }
    return libyuv::ARGBScale(source.pixels, static_cast<int>(source.stride), source.width,
                             source.height, target, static_cast<int>(targetStride), width, height,
                             libyuv::kFilterBilinear) == 0;
}

}  // namespace pavix

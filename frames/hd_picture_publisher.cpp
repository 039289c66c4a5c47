#include "frames/hd_picture_publisher.h"

#include <libyuv/convert.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/scale_argb.h>

#include "shared/hd_picture_block.h"
#include "shared/shared_frame_buffer.h"

namespace pavix {

CHdPicturePublisher::CHdPicturePublisher(const BlockAllocator& heap) : heap_(heap) {}

CHdPicturePublisher::~CHdPicturePublisher() { ReleaseScratch(); }

void CHdPicturePublisher::ReleaseScratch() {
    heap_.release(scratch_);
    scratch_ = nullptr;
}

bool CHdPicturePublisher::PublishBgrx(void* block, const BgrxPicture& picture,
                                      std::int32_t frameWord, std::int64_t arrivalTime) {
    int width = 0;
    int height = 0;
    if (block == nullptr || picture.pixels == nullptr ||
        !FitHdPictureSize(picture.width, picture.height, &width, &height)) {
        return false;
    }
    const std::uint8_t* source = picture.pixels;
    int sourceStride = static_cast<int>(picture.stride);
    // Fitting without scaling leaves out one row or column at most.
    if (width < picture.width - 1 || height < picture.height - 1) {
        if (scratch_ == nullptr) {
            scratch_ = static_cast<std::uint8_t*>(heap_.allocate(
                static_cast<std::size_t>(kHdMaxWidth) * kHdMaxHeight * kBgrxBytesPerPixel));
            if (scratch_ == nullptr) return false;
        }
        const int scaledStride = width * kBgrxBytesPerPixel;
        if (libyuv::ARGBScale(picture.pixels, sourceStride, picture.width, picture.height, scratch_,
                              scaledStride, width, height, libyuv::kFilterBilinear) != 0) {
            return false;
        }
        source = scratch_;
        sourceStride = scaledStride;
    }
    HdPictureSlot slot;
    if (!BeginHdPicture(block, width, height, &slot)) return false;
    // libyuv's ARGB is the bytes blue, green, red, alpha: the decoder's BGRX.
    libyuv::ARGBToI420(source, sourceStride, slot.y, slot.strideY, slot.u, slot.strideUV, slot.v,
                       slot.strideUV, width, height);
    EndHdPicture(block, slot, frameWord, ++pictureNumber_, arrivalTime);
    return true;
}

bool CHdPicturePublisher::PublishIdle(void* block, const std::uint8_t* pixels,
                                      std::int32_t frameWord, std::int64_t arrivalTime) {
    HdPictureSlot slot;
    if (block == nullptr || pixels == nullptr ||
        !BeginHdPicture(block, kPictureWidth, kPictureHeight, &slot)) {
        return false;
    }
    // libyuv's RGB24 is the bytes blue, green, red, as in the block; a
    // negative height reads the rows from the last one in memory up.
    libyuv::RGB24ToI420(pixels, static_cast<int>(kPictureStride), slot.y, slot.strideY, slot.u,
                        slot.strideUV, slot.v, slot.strideUV, kPictureWidth, -kPictureHeight);
    EndHdPicture(block, slot, frameWord, ++pictureNumber_, arrivalTime);
    return true;
}

}  // namespace pavix

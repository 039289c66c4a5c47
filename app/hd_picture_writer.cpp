#include "app/hd_picture_writer.h"

#include <libyuv/convert.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/scale_argb.h>

#include "shared/debug_text.h"
#include "shared/hd_picture_block.h"
#include "shared/shared_frame_buffer.h"

namespace pavix {

CHdPictureWriter::CHdPictureWriter(const BlockAllocator& heap) : heap_(heap) {}

CHdPictureWriter::~CHdPictureWriter() { Close(); }

bool CHdPictureWriter::Open() {
    bool global = false;
    if (!CreateHdPictureBlock(&blockMapping_, &block_, &global)) {
        DebugTextFormat(120, "pavix: no HD picture block (error %lu); cameras use PavixShMem\n",
                        GetLastError());
        return false;
    }
    // Without the section no camera can ask: pictures still come as idle
    // ones, and cameras look for new ones on their own clock.
    if (!CreateHdRequestSection(global, &requestMapping_, &requests_)) {
        DebugTextFormat(120, "pavix: no HD request section (error %lu)\n", GetLastError());
    }
    CreateHdReadyEvents(global, events_);
    return true;
}

void CHdPictureWriter::Close() {
    ScopedLock hold(writeLock_);
    for (HANDLE& event : events_) {
        if (event != nullptr) CloseHandle(event);
        event = nullptr;
    }
    CloseSharedFrameBuffer(&requestMapping_, &requests_);
    CloseSharedFrameBuffer(&blockMapping_, &block_);
    heap_.release(scratch_);
    scratch_ = nullptr;
}

CameraRequest CHdPictureWriter::ReadRequest() const {
    return ReadCameraRequest(requests_, GetTickCount64());
}

std::int64_t CHdPictureWriter::Now() {
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

std::uint8_t* CHdPictureWriter::Scratch() {
    if (scratch_ == nullptr) {
        scratch_ = static_cast<std::uint8_t*>(
            heap_.allocate(static_cast<std::size_t>(kHdMaxWidth) * kHdMaxHeight * kBgrxBytesPerPixel));
    }
    return scratch_;
}

void CHdPictureWriter::PublishPicture(const BgrxPicture& picture, std::int32_t frameWord,
                                      std::int64_t arrivalTime, const CameraRequest& request) {
    if (request.liveSlots == 0 || picture.pixels == nullptr) return;
    int width = 0;
    int height = 0;
    if (!FitHdPictureSize(picture.width, picture.height, &width, &height)) return;
    ScopedLock hold(writeLock_);
    if (block_ == nullptr) return;
    // Larger than the block takes (a phone that ignores the decoder's
    // reductions): scaled down first, in private memory.
    const std::uint8_t* source = picture.pixels;
    int sourceStride = static_cast<int>(picture.stride);
    if (width < picture.width - 1 || height < picture.height - 1) {
        std::uint8_t* scaled = Scratch();
        if (scaled == nullptr) return;
        const int scaledStride = width * kBgrxBytesPerPixel;
        if (libyuv::ARGBScale(picture.pixels, sourceStride, picture.width, picture.height, scaled,
                              scaledStride, width, height, libyuv::kFilterBilinear) != 0) {
            return;
        }
        source = scaled;
        sourceStride = scaledStride;
    }
    HdPictureSlot slot;
    if (!BeginHdPicture(block_, width, height, &slot)) return;
    // libyuv's ARGB is the bytes blue, green, red, alpha: the decoder's BGRX.
    libyuv::ARGBToI420(source, sourceStride, slot.y, slot.strideY, slot.u, slot.strideUV, slot.v,
                       slot.strideUV, width, height);
    EndHdPicture(block_, slot, frameWord, ++pictureNumber_, arrivalTime);
    Signal(request.liveSlots);
}

void CHdPictureWriter::PublishIdle(const std::uint8_t* pixels, std::int32_t frameWord) {
    if (pixels == nullptr) return;
    const std::int64_t arrival = Now();
    ScopedLock hold(writeLock_);
    if (block_ == nullptr) return;
    HdPictureSlot slot;
    if (!BeginHdPicture(block_, kPictureWidth, kPictureHeight, &slot)) return;
    // A negative height reads the bottom-up rows from the last one up.
    libyuv::RGB24ToI420(pixels, static_cast<int>(kPictureStride), slot.y, slot.strideY, slot.u,
                        slot.strideUV, slot.v, slot.strideUV, kPictureWidth, -kPictureHeight);
    EndHdPicture(block_, slot, frameWord, ++pictureNumber_, arrival);
    Signal(ReadRequest().liveSlots);
}

void CHdPictureWriter::Signal(std::uint32_t liveSlots) const {
    for (int i = 0; i < kRequestSlots; ++i) {
        if ((liveSlots & (1u << i)) != 0 && events_[i] != nullptr) SetEvent(events_[i]);
    }
}

}  // namespace pavix

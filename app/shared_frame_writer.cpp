// The writer side of the shared frame buffer: the engine maps the block at
// start-up. Phone pictures are scaled and flipped straight into its pixel
// area by the picture scaler; the idle picture, a few times a run, is drawn
// through a GDI+ bitmap on the same pixels.

#include "app/rovo_engine.h"

#include <atomic>

#include "shared/shared_frame_buffer.h"

namespace pavix {

int CRovoEngine::InitSharedFrameBuffer() {
    if (!OpenSharedFrameBuffer(&sharedMapping_, &sharedView_)) {
        const DWORD error = GetLastError();
        ReleaseSharedFrameBuffer();
        return error != 0 ? static_cast<int>(error) : -1;
    }
    // Row 0 of the bitmap is the first row in memory, the block's bottom
    // row: DrawToSharedFrame draws upside down to match.
    auto* pixels = static_cast<BYTE*>(sharedView_) + kPixelAreaOffset;
    if (gdip::GdipCreateBitmapFromScan0(kPictureWidth, kPictureHeight,
                                        static_cast<INT>(kPictureStride), PixelFormat24bppRGB,
                                        pixels, &sharedBitmap_) != Gdiplus::Ok) {
        sharedBitmap_ = nullptr;  // frame words are still published
    }
    frameCount_ = 0;
    frameCountAtCheck_ = 0;
    return 0;
}

void CRovoEngine::ReleaseSharedFrameBuffer() {
    if (sharedBitmap_ != nullptr) {
        gdip::GdipDisposeImage(sharedBitmap_);
        sharedBitmap_ = nullptr;
    }
    CloseSharedFrameBuffer(&sharedMapping_, &sharedView_);
}

void CRovoEngine::DrawToSharedFrame(GpImage* picture, std::int32_t frameWord) {
    GpGraphics* graphics = nullptr;
    if (sharedBitmap_ != nullptr &&
        gdip::GdipGetImageGraphicsContext(sharedBitmap_, &graphics) != Gdiplus::Ok) {
        graphics = nullptr;
    }
    if (graphics != nullptr) {
        // Vertical flip: (x, y) lands at (x, 320 - y).
        gdip::GdipScaleWorldTransform(graphics, 1.0f, -1.0f, Gdiplus::MatrixOrderPrepend);
        gdip::GdipTranslateWorldTransform(graphics, 0.0f, static_cast<float>(kPictureHeight),
                                          Gdiplus::MatrixOrderAppend);
        if (picture != nullptr) {
            gdip::GdipDrawImageRectI(graphics, picture, 0, 0, kPictureWidth, kPictureHeight);
        }
        // The pixels are complete once the graphics object is gone.
        gdip::GdipDeleteGraphics(graphics);
    }
    // Readers look at the frame word first: it is stored last.
    if (sharedView_ != nullptr) WriteFrameWord(sharedView_, frameWord);
}

void CRovoEngine::PublishPicture(const BgrxPicture& picture, std::int32_t frameWord) {
    if (sharedView_ == nullptr) return;
    // A picture the scaler refuses leaves the block's picture as it was;
    // the frame word still counts it, as with the idle picture.
    scaler_.ToSharedPicture(picture, static_cast<std::uint8_t*>(sharedView_) + kPixelAreaOffset);
    // Readers look at the frame word first: it is stored last.
    std::atomic_thread_fence(std::memory_order_release);
    WriteFrameWord(sharedView_, frameWord);
}

}  // namespace pavix

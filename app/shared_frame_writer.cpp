// The writer side of the shared frame buffer: the engine maps the block and
// its sequence section at start-up. Every picture is made in private memory
// first (phone pictures by the picture scaler, the idle picture through a
// GDI+ bitmap) and reaches the block in one short copy through
// WriteSharedFrame, the one place that writes it. The HD block beside it has
// a writer of its own (CHdPictureWriter).

#include "app/rovo_engine.h"

#include "shared/local_heap.h"
#include "shared/shared_frame_buffer.h"

namespace pavix {

int CRovoEngine::InitSharedFrameBuffer() {
    if (!OpenSharedFrameBuffer(&sharedMapping_, &sharedView_)) {
        const DWORD error = GetLastError();
        ReleaseSharedFrameBuffer();
        return error != 0 ? static_cast<int>(error) : -1;
    }
    // Without the sequence section readers copy the block as they always
    // did: the program goes on.
    void* sequence = nullptr;
    if (OpenSharedSection(kFrameSequenceName, kFrameSequenceSize, SharedAccess::ReadWrite,
                          &sequenceMapping_, &sequence)) {
        sequence_ = static_cast<volatile std::uint32_t*>(sequence);
    }
    // Without the HD block cameras read PavixShMem, as with an older
    // pavix.exe: the program goes on.
    hdPictures_.Open();
    framePixels_ = static_cast<std::uint8_t*>(LocalHeap().allocate(kPixelAreaSize));
    idlePixels_ = static_cast<std::uint8_t*>(LocalHeap().allocate(kPixelAreaSize));
    if (framePixels_ == nullptr || idlePixels_ == nullptr) {
        ReleaseSharedFrameBuffer();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // Row 0 of the bitmap is the first row in memory, the block's bottom
    // row: DrawToSharedFrame draws upside down to match.
    if (gdip::GdipCreateBitmapFromScan0(kPictureWidth, kPictureHeight,
                                        static_cast<INT>(kPictureStride), PixelFormat24bppRGB,
                                        idlePixels_, &sharedBitmap_) != Gdiplus::Ok) {
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
    hdPictures_.Close();
    CloseSharedFrameBuffer(&sharedMapping_, &sharedView_);
    void* sequence = const_cast<std::uint32_t*>(sequence_);
    CloseSharedFrameBuffer(&sequenceMapping_, &sequence);
    sequence_ = nullptr;
    LocalHeap().release(framePixels_);
    framePixels_ = nullptr;
    LocalHeap().release(idlePixels_);
    idlePixels_ = nullptr;
}

void CRovoEngine::WriteSharedFrame(const std::uint8_t* pixels, std::int32_t frameWord) {
    if (sharedView_ == nullptr) return;
    // The frame thread and the supervisor both write: one at a time, as the
    // sequence count needs. Readers never take this lock.
    ScopedLock hold(sharedWriteLock_);
    WriteSharedPicture(sharedView_, sequence_, pixels, frameWord);
}

void CRovoEngine::DrawToSharedFrame(GpImage* picture, std::int32_t frameWord) {
    // The start-up, the supervisor and the shutdown draw it; the bitmap's
    // pixels are one for all of them.
    ScopedLock hold(idleDrawLock_);
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
    WriteSharedFrame(graphics != nullptr ? idlePixels_ : nullptr, frameWord);
    // Always, camera or not: one that starts finds a picture and its frame
    // word. Without the bitmap the pixels stay black.
    hdPictures_.PublishIdle(idlePixels_, frameWord);
}

void CRovoEngine::PublishPicture(const BgrxPicture& picture, std::int32_t frameWord) {
    if (sharedView_ == nullptr) return;
    // The HD cameras first: their picture needs no scaling for PavixShMem
    // to wait for.
    hdPictures_.PublishPicture(picture, frameWord, arrivalTime_, cameraRequest_);
    // A picture the scaler refuses leaves the block's picture as it was;
    // the frame word still counts it, as with the idle picture.
    const bool scaled = scaler_.ToSharedPicture(picture, framePixels_);
    WriteSharedFrame(scaled ? framePixels_ : nullptr, frameWord);
}

}  // namespace pavix

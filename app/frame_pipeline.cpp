// What happens to each JPEG payload the frame parser hands on: decode,
// publish into the shared block, draw the preview, count the rate.

#include <algorithm>
#include <new>
#include <string>

#include "app/rovo_engine.h"
#include "frames/jpeg_decoder.h"
#include "link/comm_handler.h"
#include "rovo_communication.pb.h"
#include "shared/debug_text.h"
#include "ui/ui_handler.h"

namespace pavix {
namespace {

// The frame count restarts at 0 at the first notice after it passed this.
constexpr std::int32_t kFrameCountWrap = 1000000000;
// A notice goes to the phone every this many pictures.
constexpr std::int32_t kFramesPerNotice = 10;

}  // namespace

bool CRovoEngine::HandleJpeg(const std::uint8_t* payload, std::int32_t length) {
    // The picture's arrival, for the HD cameras' time stamps: before the
    // decode, which is ours and not the phone's delay.
    arrivalTime_ = CHdPictureWriter::Now();
    FollowCameraRequest();
    int width = 0;
    int height = 0;
    const std::uint8_t* pixels =
        decoder_ != nullptr ? decoder_->Decode(payload, static_cast<std::size_t>(length), &width, &height)
                            : nullptr;
    if (pixels == nullptr) {
        DebugText("get error Jpeg data\n");
        if (!decodeFailures_.OnFailed()) return true;
        // Four in a row: a fresh decoder, and the frames queued behind the
        // bad ones are dropped by the caller.
        delete decoder_;
        decoder_ = MakeDecoder();
        return false;
    }
    decodeFailures_.OnDecoded();

    // The decoder's rows are blue-green-red-unused, top row first, of any
    // width; the scaler reads them where they are.
    const BgrxPicture picture{pixels, width, height,
                              static_cast<std::ptrdiff_t>(width) * kBgrxBytesPerPixel};
    OnFrameDecoded(picture);
    DrawToPreview(picture);
    UpdateFrameRate();
    return true;
}

void CRovoEngine::FollowCameraRequest() {
    cameraRequest_ = hdPictures_.ReadRequest();
    // With no camera asking for more than the pane and the 480 x 320 block
    // need, exactly the decode of old.
    if (decoder_ != nullptr) {
        decoder_->SetLeastSize(std::max(decodeLeastWidth_, cameraRequest_.width),
                               std::max(decodeLeastHeight_, cameraRequest_.height));
    }
}

void CRovoEngine::OnFrameDecoded(const BgrxPicture& picture) {
    ++frameCount_;
    PublishPicture(picture, frameCount_);
    if (frameCount_ - frameCountAtCheck_ >= kFramesPerNotice) {
        if (frameCount_ > kFrameCountWrap) frameCount_ = 0;
        frameCountAtCheck_ = frameCount_;
        SendFrameNotice();
    }
}

void CRovoEngine::SendFrameNotice() {
    rovo_communication::cmd_notice notice;
    notice.set_cmd(1);
    std::string bytes;
    if (notice.SerializeToString(&bytes)) link_->SendData(bytes);
}

bool CRovoEngine::InitPreviewPictures(int width, int height) {
    return previewPictures_.Init(width, height);
}

void CRovoEngine::DrawToPreview(const BgrxPicture& picture) {
    // Nobody sees the pane while the window is in the notification area: no
    // picture for it then. The first picture after it is shown again
    // replaces the one it shows meanwhile.
    if (ui_ != nullptr && !ui_->IsPreviewShown()) return;
    std::uint8_t* target = previewPictures_.BeginWrite();
    if (target == nullptr) return;
    if (!CPictureScaler::ToBgrx(picture, target, previewPictures_.Width(), previewPictures_.Height(),
                                previewPictures_.Stride())) {
        return;  // the buffer is not handed over; the pane keeps its picture
    }
    previewPictures_.EndWrite();
    if (ui_ != nullptr) ui_->ShowNewPicture();
}

void CRovoEngine::ShowIdlePreview() {
    previewPictures_.Clear();
    if (ui_ != nullptr) ui_->ShowNewPicture();
}

bool CRovoEngine::AcquirePanePicture(PanePicture* picture) {
    const std::uint8_t* pixels = previewPictures_.BeginRead();
    if (pixels == nullptr) return false;
    picture->pixels = pixels;
    picture->width = previewPictures_.Width();
    picture->height = previewPictures_.Height();
    return true;
}

void CRovoEngine::ReleasePanePicture() { previewPictures_.EndRead(); }

void CRovoEngine::UpdateFrameRate() {
    float rate = 0;
    if (!rateWindow_.OnPicture(GetTickCount(), &rate)) return;
    ui_->SetFrameRate(rate);
}

}  // namespace pavix

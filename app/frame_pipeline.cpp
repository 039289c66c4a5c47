// What happens to each JPEG payload the frame parser hands on: decode,
// publish into the shared block, draw the preview, count the rate.

#include <cwchar>
#include <new>
#include <string>

#include "app/rovo_engine.h"
#include "frames/jpeg_decoder.h"
#include "link/comm_handler.h"
#include "rovo_communication.pb.h"
#include "shared/debug_text.h"
#include "ui/ui_handler.h"
#include "ui/ui_texts.h"

namespace pavix {
namespace {

// The frame count restarts at 0 at the first notice after it passed this.
constexpr std::int32_t kFrameCountWrap = 1000000000;
// A notice goes to the phone every this many pictures.
constexpr std::int32_t kFramesPerNotice = 10;

}  // namespace

bool CRovoEngine::HandleJpeg(const std::uint8_t* payload, std::int32_t length) {
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
        decoder_ = new (std::nothrow) CJpegDecoder();
        return false;
    }
    decodeFailures_.OnDecoded();

    // The decoder's rows are blue-green-red, top row first, which is what
    // GDI+ reads as 24bppRGB with a positive stride; no copy is made.
    GpBitmap* picture = nullptr;
    if (gdip::GdipCreateBitmapFromScan0(width, height, width * 3, PixelFormat24bppRGB,
                                        const_cast<BYTE*>(pixels), &picture) != Gdiplus::Ok) {
        return true;  // a width GDI+ cannot take rows of (not a multiple of 4 bytes)
    }
    OnFrameDecoded(picture);
    DrawToPreview(picture);
    UpdateFrameRate();
    gdip::GdipDisposeImage(picture);
    return true;
}

void CRovoEngine::OnFrameDecoded(GpImage* picture) {
    ++frameCount_;
    DrawToSharedFrame(picture, frameCount_);
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

void CRovoEngine::DrawToPreview(GpImage* picture) {
    if (picture == nullptr || ui_ == nullptr) return;
    const HWND pane = ui_->PreviewPane();
    HDC dc = GetDC(pane);
    if (dc == nullptr) return;
    GpGraphics* graphics = nullptr;
    if (gdip::GdipCreateFromHDC(dc, &graphics) == Gdiplus::Ok) {
        RECT area;
        GetClientRect(pane, &area);
        gdip::GdipDrawImageRectI(graphics, picture, area.left, area.top, area.right - area.left,
                                 area.bottom - area.top);
        gdip::GdipDeleteGraphics(graphics);
    }
    ReleaseDC(pane, dc);
}

void CRovoEngine::UpdateFrameRate() {
    float rate = 0;
    if (!rateWindow_.OnPicture(GetTickCount(), &rate)) return;
    wchar_t text[kRateTextSize];
    FormatRateText(rate, text, kRateTextSize);
    ui_->SetRateText(text);
}

}  // namespace pavix

// Payloads for one long-lived decoder, as the frame thread feeds it. Each
// input is decoded as a whole payload, and again written over a good
// picture (the first two bytes choose where), which reaches deeper into the
// library. After each, a good picture must still decode exactly as before:
// no payload may leave the decoder unusable. Each payload also goes the
// frame thread's way: decoded to 4-byte pixels (shrunk when large) and
// scaled into a block's picture area and a preview picture, which must
// take any picture that decodes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frames/jpeg_decoder.h"
#include "frames/picture_scaler.h"
#include "shared/shared_frame_buffer.h"
#include "shared/debug_text.h"
#include "tests/support/jpeg_samples.h"

namespace {

struct Rig {
    Rig() : good(pavix::testing::ColourJpeg(32, 24)), area(pavix::kPixelAreaSize),
            preview(kPreviewWidth * kPreviewHeight * 4) {
        pavix::SetDebugTextSink([](const char*) {});
        framePath.SetLayout(pavix::CJpegDecoder::Layout::Bgrx);
        framePath.SetLeastSize(kPreviewWidth, kPreviewHeight);
        int width = 0;
        int height = 0;
        const std::uint8_t* pixels = decoder.Decode(good.data(), good.size(), &width, &height);
        if (pixels == nullptr) std::abort();
        reference.assign(pixels, pixels + width * height * 3);
    }

    void DecodeAndCheck(const std::vector<std::uint8_t>& payload) {
        int width = -1;
        int height = -1;
        const std::uint8_t* pixels = decoder.Decode(payload.data(), payload.size(), &width, &height);
        if (pixels == nullptr) return;
        if (width < 1 || height < 1 || width > pavix::kMaxPictureSide ||
            height > pavix::kMaxPictureSide) {
            std::abort();
        }
        const std::size_t bytes = static_cast<std::size_t>(width) * height * 3;
        if (static_cast<std::size_t>(decoder.Capacity()) < bytes) std::abort();
        volatile std::uint8_t last = pixels[bytes - 1];  // inside the buffer
        (void)last;

        pixels = framePath.Decode(payload.data(), payload.size(), &width, &height);
        if (pixels == nullptr) return;
        const pavix::BgrxPicture picture{pixels, width, height, static_cast<std::ptrdiff_t>(width) * 4};
        if (!scaler.ToSharedPicture(picture, area.data()) ||
            !pavix::CPictureScaler::ToBgrx(picture, preview.data(), kPreviewWidth, kPreviewHeight,
                                           kPreviewWidth * 4)) {
            std::abort();
        }
    }

    void ExpectGoodStillDecodes() {
        int width = 0;
        int height = 0;
        const std::uint8_t* pixels = decoder.Decode(good.data(), good.size(), &width, &height);
        if (pixels == nullptr || width != 32 || height != 24 ||
            std::memcmp(pixels, reference.data(), reference.size()) != 0) {
            std::abort();
        }
    }

    static constexpr int kPreviewWidth = 493;
    static constexpr int kPreviewHeight = 389;

    pavix::testing::JpegBytes good;
    std::vector<std::uint8_t> reference;
    pavix::CJpegDecoder decoder;
    pavix::CJpegDecoder framePath;
    pavix::CPictureScaler scaler;
    std::vector<std::uint8_t> area;
    std::vector<std::uint8_t> preview;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rig rig;

    rig.DecodeAndCheck(std::vector<std::uint8_t>(data, data + size));

    if (size >= 2) {
        std::vector<std::uint8_t> spliced = rig.good;
        const std::size_t at = (data[0] | (data[1] << 8)) % spliced.size();
        const std::size_t count = size - 2;
        if (at + count > spliced.size()) spliced.resize(at + count);
        std::memcpy(spliced.data() + at, data + 2, count);
        // An odd first byte also cuts the picture right after the new bytes.
        if (data[0] & 1) spliced.resize(at + count);
        rig.DecodeAndCheck(spliced);
    }

    rig.ExpectGoodStillDecodes();
    return 0;
}

// What the frame thread does with each picture, against the bare decode of
// the same JPEG, for the simulator's pictures of the sizes phones send:
//
//   bare decode   CJpegDecoder::Decode as before: 3-byte pixels, full size
//   publish       decode to 4-byte pixels (large pictures shrunk while
//                 decoding), the scaler into a private 480 x 320 picture,
//                 then its one write into the block with the sequence count
//   + preview     publish, then the scaler into a 493 x 389 preview picture
//
// Each figure is the best of three half-second runs (the machine is shared).
//
//   frame_path_bench [SECONDS_PER_RUN]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "frame_source.h"
#include "frames/jpeg_decoder.h"
#include "frames/picture_scaler.h"
#include "shared/shared_frame_buffer.h"
#include "tests/bench/best_time.h"

namespace {


// The preview pane's picture.
constexpr int kPreviewWidth = 493;
constexpr int kPreviewHeight = 389;

using pavix::bench::BestMsPerStep;

struct Picture {
    const char* content;
    int width;
    int height;
};

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 0.5;
    const Picture pictures[] = {
        {"pattern", 640, 480}, {"camera", 640, 480},   {"camera", 1280, 720},
        {"camera", 1920, 1080}, {"camera", 641, 479}, {"camera", 4000, 3000},
    };
    std::printf("%-20s %8s %12s %12s %12s %9s %9s\n", "picture", "JPEG", "bare decode", "publish",
                "+ preview", "publish/", "preview/");
    std::printf("%-20s %8s %12s %12s %12s %9s %9s\n", "", "KB", "ms", "ms", "ms", "decode",
                "decode");
    pavix::CJpegDecoder bare;
    pavix::CJpegDecoder decoder;
    decoder.SetLayout(pavix::CJpegDecoder::Layout::Bgrx);
    decoder.SetLeastSize(kPreviewWidth, kPreviewHeight);
    pavix::CPictureScaler scaler;
    std::vector<std::uint8_t> area(pavix::kPixelAreaSize);
    std::vector<std::uint8_t> block(pavix::kSharedFrameBufferSize);
    std::uint32_t sequence = 0;
    std::int32_t frameWord = 0;
    std::vector<std::uint8_t> preview(static_cast<std::size_t>(kPreviewWidth) * kPreviewHeight * 4);
    int status = 0;
    for (const Picture& p : pictures) {
        const bool camera = std::string(p.content) == "camera";
        std::unique_ptr<phonesim::FrameSource> source = phonesim::MakePatternSource(
            p.width, p.height, 80, camera ? phonesim::Content::kCamera : phonesim::Content::kPattern);
        std::vector<std::uint8_t> jpeg;
        std::string error;
        if (!source->Frame(7, &jpeg, &error)) {
            std::fprintf(stderr, "frame_path_bench: %s\n", error.c_str());
            return 1;
        }
        int w = 0;
        int h = 0;
        bool ok = true;
        const double decodeMs = BestMsPerStep(seconds, [&] {
            ok = ok && bare.Decode(jpeg.data(), jpeg.size(), &w, &h) != nullptr;
        });
        auto publish = [&] {
            ok = ok && decoder.Decode(jpeg.data(), jpeg.size(), &w, &h) != nullptr;
            const pavix::BgrxPicture picture{decoder.Pixels(), w, h,
                                             static_cast<std::ptrdiff_t>(w) * 4};
            ok = ok && scaler.ToSharedPicture(picture, area.data());
            pavix::WriteSharedPicture(block.data(), &sequence, area.data(), ++frameWord);
            return picture;
        };
        const double publishMs = BestMsPerStep(seconds, publish);
        const double previewMs = BestMsPerStep(seconds, [&] {
            const pavix::BgrxPicture picture = publish();
            ok = ok && pavix::CPictureScaler::ToBgrx(picture, preview.data(), kPreviewWidth,
                                                     kPreviewHeight, kPreviewWidth * 4);
        });
        if (!ok) {
            std::fprintf(stderr, "frame_path_bench: %s %dx%d failed\n", p.content, p.width, p.height);
            status = 1;
        }
        char name[32];
        std::snprintf(name, sizeof name, "%s %dx%d", p.content, p.width, p.height);
        std::printf("%-20s %8.1f %12.3f %12.3f %12.3f %8.2fx %8.2fx\n", name, jpeg.size() / 1024.0,
                    decodeMs, publishMs, previewMs, publishMs / decodeMs, previewMs / decodeMs);
    }
    return status;
}

// What putting a decoded picture into the HD picture block costs, in the
// block's format (I420) against the alternative of copying the decoder's
// BGRX picture as it is, and against the bare decode of the same JPEG; each
// with what a camera then does to deliver the most asked-for type (NV12)
// at the same size. Simulator camera scenes at 1280 x 720 and 1920 x 1080.
//
//   decode        CJpegDecoder::Decode to BGRX at full size (a camera asks
//                 for the phone's size, so nothing is shrunk)
//   I420 write    CHdPicturePublisher::PublishBgrx, as the engine does:
//                 ARGBToI420 into a buffer of the block
//   BGRX copy     memcpy of the picture into a buffer of 4 bytes a pixel
//   I420 read     a camera's I420 -> NV12 (I420ToNV12)
//   BGRX read     a camera's BGRX -> NV12 (ARGBToNV12)
//
// Each figure is the best of three half-second runs (the machine is shared).
//
//   hd_block_bench [SECONDS_PER_RUN]

#include <libyuv/convert_from.h>
#include <libyuv/convert_from_argb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame_source.h"
#include "frames/hd_picture_publisher.h"
#include "frames/jpeg_decoder.h"
#include "shared/hd_picture_block.h"
#include "tests/bench/best_time.h"

namespace {


using pavix::bench::BestMsPerStep;

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 0.5;
    const struct {
        int width, height;
    } sizes[] = {{1280, 720}, {1920, 1080}};

    std::printf("%-10s %7s %8s %8s %8s %8s %8s %10s %10s %8s\n", "camera", "JPEG", "decode",
                "I420", "BGRX", "I420", "BGRX", "I420 path", "BGRX path", "BGRX/");
    std::printf("%-10s %7s %8s %8s %8s %8s %8s %10s %10s %8s\n", "scene", "KB", "ms", "write",
                "copy", "read", "read", "ms", "ms", "I420");
    pavix::CJpegDecoder decoder;
    decoder.SetLayout(pavix::CJpegDecoder::Layout::Bgrx);
    // 64-bit elements: the block's fields aligned as in a mapped view.
    std::vector<std::uint64_t> block(pavix::kHdBlockSize / 8);
    pavix::InitHdBlock(block.data(), 1, 1);
    pavix::CHdPicturePublisher publisher;
    int status = 0;
    for (const auto& size : sizes) {
        std::unique_ptr<phonesim::FrameSource> source = phonesim::MakePatternSource(
            size.width, size.height, 80, phonesim::Content::kCamera);
        std::vector<std::uint8_t> jpeg;
        std::string error;
        if (!source->Frame(7, &jpeg, &error)) {
            std::fprintf(stderr, "hd_block_bench: %s\n", error.c_str());
            return 1;
        }
        int w = 0;
        int h = 0;
        bool ok = true;
        const double decodeMs = BestMsPerStep(seconds, [&] {
            ok = ok && decoder.Decode(jpeg.data(), jpeg.size(), &w, &h) != nullptr;
        });
        if (!ok || w != size.width || h != size.height) {
            std::fprintf(stderr, "hd_block_bench: %dx%d did not decode\n", size.width, size.height);
            status = 1;
            continue;
        }
        const std::uint8_t* bgrx = decoder.Pixels();
        const std::size_t bgrxBytes = static_cast<std::size_t>(w) * h * 4;

        const pavix::BgrxPicture decoded{bgrx, w, h, static_cast<std::ptrdiff_t>(w) * 4};
        const double i420WriteMs = BestMsPerStep(seconds, [&] {
            ok = ok && publisher.PublishBgrx(block.data(), decoded, 1, 0);
        });
        std::vector<std::uint8_t> bgrxBuffer(bgrxBytes);
        const double bgrxCopyMs =
            BestMsPerStep(seconds, [&] { std::memcpy(bgrxBuffer.data(), bgrx, bgrxBytes); });

        pavix::HdPictureView picture;
        ok = ok && pavix::FindLatestHdPicture(block.data(), &picture);
        std::vector<std::uint8_t> nv12(static_cast<std::size_t>(w) * h * 3 / 2);
        std::uint8_t* uv = nv12.data() + static_cast<std::size_t>(w) * h;
        const double i420ReadMs = BestMsPerStep(seconds, [&] {
            libyuv::I420ToNV12(picture.y, picture.strideY, picture.u, picture.strideUV, picture.v,
                               picture.strideUV, nv12.data(), w, uv, w, w, h);
        });
        const double bgrxReadMs = BestMsPerStep(seconds, [&] {
            libyuv::ARGBToNV12(bgrxBuffer.data(), w * 4, nv12.data(), w, uv, w, w, h);
        });
        if (!ok) {
            std::fprintf(stderr, "hd_block_bench: %dx%d failed\n", w, h);
            status = 1;
        }
        const double i420Path = i420WriteMs + i420ReadMs;
        const double bgrxPath = bgrxCopyMs + bgrxReadMs;
        char name[16];
        std::snprintf(name, sizeof name, "%dx%d", w, h);
        std::printf("%-10s %7.1f %8.3f %8.3f %8.3f %8.3f %8.3f %10.3f %10.3f %7.2fx\n", name,
                    jpeg.size() / 1024.0, decodeMs, i420WriteMs, bgrxCopyMs, i420ReadMs, bgrxReadMs,
                    i420Path, bgrxPath, bgrxPath / i420Path);
    }
    std::printf("paths: the writer's step plus one camera's NV12 at the same size; each further\n"
                "camera adds its read. Block: %zu bytes as I420; %zu as BGRX.\n",
                pavix::kHdBlockSize,
                pavix::kHdHeaderSize + 3 * static_cast<std::size_t>(pavix::kHdMaxWidth) *
                                           pavix::kHdMaxHeight * 4);
    return status;
}

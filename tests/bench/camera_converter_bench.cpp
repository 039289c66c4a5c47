// What the camera's pin spends on each sample: CCameraPictureConverter
// turning a picture of the HD block into the connected type, against the
// bare libyuv calls that do the same work with nothing around them (no
// crop, no scratch pictures, no checks). Source pictures are the
// simulator's camera-like scene in I420.
//
// Each figure is the best of three runs of SECONDS_PER_RUN (the machine is
// shared).
//
//   camera_converter_bench [SECONDS_PER_RUN]    (default 0.5)

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "filter/camera_picture_converter.h"
#include "libyuv/convert.h"
#include "libyuv/convert_argb.h"
#include "libyuv/convert_from.h"
#include "libyuv/scale.h"
#include "pattern/camera_scene.h"
#include "shared/shared_frame_buffer.h"
#include "tests/bench/best_time.h"

namespace {

using pavix::CameraFormat;

using pavix::bench::BestMsPerStep;

// An I420 picture of the simulator's scene, its planes packed.
struct I420Frame {
    int width;
    int height;
    std::vector<std::uint8_t> bytes;

    I420Frame(int w, int h) : width(w), height(h), bytes(static_cast<std::size_t>(w) * h * 3 / 2) {
        std::vector<std::uint8_t> rgb;
        phonesim::RenderCameraScene(7, w, h, &rgb);
        // libyuv's RAW is R, G, B in memory, as the scene is drawn.
        libyuv::RAWToI420(rgb.data(), w * 3, Y(), w, U(), w / 2, V(), w / 2, w, h);
    }
    std::uint8_t* Y() { return bytes.data(); }
    std::uint8_t* U() { return Y() + static_cast<std::size_t>(width) * height; }
    std::uint8_t* V() { return U() + static_cast<std::size_t>(width / 2) * (height / 2); }
    pavix::I420Picture Picture() {
        return {Y(), U(), V(), width, width / 2, width, height};
    }
};

// The bare library work of one sample: a cropped, scaled I420 picture (when
// the sizes differ) converted to the type, bottom-up for RGB.
class BareLibrary {
public:
    void Convert(I420Frame& source, const pavix::CameraType& type, std::uint8_t* out) {
        const int w = type.width;
        const int h = type.height;
        const std::uint8_t* y = source.Y();
        const std::uint8_t* u = source.U();
        const std::uint8_t* v = source.V();
        int sy = source.width;
        int suv = source.width / 2;
        if (w != source.width || h != source.height) {
            const pavix::CropRect crop = pavix::CentreCrop(source.width, source.height, w, h);
            scaled_.resize(static_cast<std::size_t>(w) * h * 3 / 2);
            std::uint8_t* dy = scaled_.data();
            std::uint8_t* du = dy + static_cast<std::size_t>(w) * h;
            std::uint8_t* dv = du + static_cast<std::size_t>(w / 2) * (h / 2);
            libyuv::I420Scale(y + crop.y * sy + crop.x, sy, u + crop.y / 2 * suv + crop.x / 2, suv,
                              v + crop.y / 2 * suv + crop.x / 2, suv, crop.width, crop.height, dy,
                              w, du, w / 2, dv, w / 2, w, h, libyuv::kFilterBilinear);
            y = dy;
            u = du;
            v = dv;
            sy = w;
            suv = w / 2;
        }
        const std::size_t lumaSize = static_cast<std::size_t>(w) * h;
        switch (type.format) {
            case CameraFormat::NV12:
                libyuv::I420ToNV12(y, sy, u, suv, v, suv, out, w, out + lumaSize, w, w, h);
                break;
            case CameraFormat::I420:
                libyuv::I420Copy(y, sy, u, suv, v, suv, out, w, out + lumaSize, w / 2,
                                 out + lumaSize + lumaSize / 4, w / 2, w, h);
                break;
            case CameraFormat::YUY2:
                libyuv::I420ToYUY2(y, sy, u, suv, v, suv, out, w * 2, w, h);
                break;
            case CameraFormat::RGB24:  // B, G, R in memory: libyuv's RGB24
                libyuv::I420ToRGB24(y, sy, u, suv, v, suv, out, (w * 3 + 3) & ~3, w, -h);
                break;
            case CameraFormat::RGB32:  // B, G, R, A in memory: libyuv's ARGB
                libyuv::I420ToARGB(y, sy, u, suv, v, suv, out, w * 4, w, -h);
                break;
        }
    }

private:
    std::vector<std::uint8_t> scaled_;
};

struct Case {
    int sourceWidth;
    int sourceHeight;
    CameraFormat format;
    int width;
    int height;
};

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 0.5;
    if (seconds <= 0 || seconds > 60) {
        std::fprintf(stderr, "usage: camera_converter_bench [SECONDS_PER_RUN]\n");
        return 2;
    }
    const Case cases[] = {
        // The judged one: a 720p phone, a 720p NV12 client (target <= 1 ms).
        {1280, 720, CameraFormat::NV12, 1280, 720},
        {1280, 720, CameraFormat::I420, 1280, 720},
        {1280, 720, CameraFormat::YUY2, 1280, 720},
        {1280, 720, CameraFormat::RGB24, 1280, 720},
        {1280, 720, CameraFormat::RGB32, 1280, 720},
        // Scaled: a larger phone picture, and a 4:3 one cropped to 16:9.
        {1920, 1080, CameraFormat::NV12, 1280, 720},
        {640, 480, CameraFormat::NV12, 1280, 720},
        {1920, 1080, CameraFormat::NV12, 1920, 1080},
        {1280, 720, CameraFormat::RGB24, 480, 320},
    };
    std::printf("%-22s %-18s %10s %10s %8s\n", "source", "sample", "ours ms", "libyuv ms", "ours/");
    std::printf("%-22s %-18s %10s %10s %8s\n", "", "", "", "", "libyuv");
    pavix::CCameraPictureConverter converter;
    BareLibrary bare;
    int status = 0;
    for (const Case& c : cases) {
        I420Frame source(c.sourceWidth, c.sourceHeight);
        const pavix::CameraType type{c.format, c.width, c.height, false};
        std::vector<std::uint8_t> sample(pavix::CameraImageSize(type));
        bool ok = !sample.empty();
        const double oursMs = BestMsPerStep(seconds, [&] {
            ok = ok && converter.FromI420(source.Picture(), type, sample.data(), sample.size());
        });
        const double bareMs = BestMsPerStep(seconds, [&] { bare.Convert(source, type, sample.data()); });
        if (!ok) {
            std::fprintf(stderr, "camera_converter_bench: FromI420 refused %dx%d -> %s %dx%d\n",
                         c.sourceWidth, c.sourceHeight, pavix::CameraFormatName(c.format), c.width, c.height);
            status = 1;
        }
        char from[32];
        char to[32];
        std::snprintf(from, sizeof from, "I420 %dx%d", c.sourceWidth, c.sourceHeight);
        std::snprintf(to, sizeof to, "%s %dx%d", pavix::CameraFormatName(c.format), c.width, c.height);
        std::printf("%-22s %-18s %10.3f %10.3f %7.2fx\n", from, to, oursMs, bareMs, oursMs / bareMs);
    }

    // An older pavix.exe: PavixShMem's 480 x 320 picture scaled up, against
    // the copy of the block that was the whole of a sample before.
    std::vector<std::uint8_t> pixels(pavix::kPixelAreaSize, 0x80);
    std::vector<std::uint8_t> copy(pavix::kPixelAreaSize);
    const pavix::CameraType hd{CameraFormat::NV12, 1280, 720, false};
    std::vector<std::uint8_t> sample(pavix::CameraImageSize(hd));
    bool ok = true;
    const double sharedMs = BestMsPerStep(seconds, [&] {
        ok = ok && converter.FromSharedPixels(pixels.data(), hd, sample.data(), sample.size());
    });
    const double copyMs = BestMsPerStep(seconds, [&] {
        std::memcpy(copy.data(), pixels.data(), copy.size());
    });
    if (!ok) status = 1;
    std::printf("%-22s %-18s %10.3f %10.3f %7.2fx  (against the 480x320 copy of before)\n",
                "PavixShMem 480x320", "NV12 1280x720", sharedMs, copyMs, sharedMs / copyMs);
    return status;
}

// What one camera sample costs the pin's streaming thread: the block's
// 480 x 320 picture, or a 1920 x 1080 I420 picture (what the HD block will
// hold), cropped, scaled and converted into each offered size and format.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "filter/camera_picture_converter.h"
#include "shared/shared_frame_buffer.h"

namespace {

using pavix::CameraFormat;
using pavix::CameraType;

constexpr int kSizes[][2] = {{1920, 1080}, {1280, 720}, {640, 480}, {640, 360}, {480, 320}};
constexpr CameraFormat kFormats[] = {CameraFormat::NV12, CameraFormat::I420, CameraFormat::YUY2,
                                     CameraFormat::RGB24, CameraFormat::RGB32};
const char* const kFormatNames[] = {"NV12", "I420", "YUY2", "RGB24", "RGB32"};

CameraType TypeOf(const benchmark::State& state) {
    return {kFormats[state.range(1)], kSizes[state.range(0)][0], kSizes[state.range(0)][1], false};
}

// A picture with detail everywhere, so that no conversion meets only flat
// colour.
std::vector<std::uint8_t> Pattern(std::size_t bytes) {
    std::vector<std::uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i) {
        data[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 9));
    }
    return data;
}

void Label(benchmark::State& state, const CameraType& type) {
    state.SetLabel(std::to_string(type.width) + "x" + std::to_string(type.height) + " " +
                   kFormatNames[state.range(1)]);
}

void BM_FromSharedPixels(benchmark::State& state) {
    const CameraType type = TypeOf(state);
    const std::vector<std::uint8_t> pixels = Pattern(pavix::kPixelAreaSize);
    std::vector<std::uint8_t> sample(pavix::CameraImageSize(type));
    pavix::CCameraPictureConverter converter;
    for (auto _ : state) {
        bool done = converter.FromSharedPixels(pixels.data(), type, sample.data(), sample.size());
        benchmark::DoNotOptimize(done);
        benchmark::ClobberMemory();
    }
    Label(state, type);
}

void BM_FromI420At1080p(benchmark::State& state) {
    const CameraType type = TypeOf(state);
    constexpr int kWidth = 1920, kHeight = 1080;
    const std::vector<std::uint8_t> planes = Pattern(kWidth * kHeight * 3 / 2);
    const pavix::I420Picture source{planes.data(), planes.data() + kWidth * kHeight,
                                    planes.data() + kWidth * kHeight * 5 / 4, kWidth, kWidth / 2,
                                    kWidth, kHeight};
    std::vector<std::uint8_t> sample(pavix::CameraImageSize(type));
    pavix::CCameraPictureConverter converter;
    for (auto _ : state) {
        bool done = converter.FromI420(source, type, sample.data(), sample.size());
        benchmark::DoNotOptimize(done);
        benchmark::ClobberMemory();
    }
    Label(state, type);
}

void EveryType(benchmark::internal::Benchmark* bench) {
    for (int size = 0; size < 5; ++size) {
        for (int format = 0; format < 5; ++format) {
            bench->Args({size, format});
        }
    }
}

BENCHMARK(BM_FromSharedPixels)->Apply(EveryType)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FromI420At1080p)->Apply(EveryType)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

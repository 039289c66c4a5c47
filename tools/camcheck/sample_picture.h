#pragma once

// A capture sample of any type the camera offers turned back into a 24-bit
// picture, so that the same readers check every type: NV12, I420 and YUY2
// (rows top-down, BT.601 limited range as the camera writes them), RGB24
// and RGB32 (rows bottom-up as in a DIB, or top-down for a negative
// height). Platform-neutral.

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/shmtool/picture.h"

namespace pavix::tools {

enum class SampleFormat { NV12, I420, YUY2, RGB24, RGB32 };

inline constexpr SampleFormat kSampleFormats[] = {SampleFormat::NV12, SampleFormat::I420,
                                                  SampleFormat::YUY2, SampleFormat::RGB24,
                                                  SampleFormat::RGB32};

const char* SampleFormatName(SampleFormat format);
// "NV12", "I420", "YUY2", "RGB24", "RGB32" (any case); false for others.
bool ParseSampleFormat(const std::string& name, SampleFormat* format);

// "WxH" with both sides even, 2 to 4096; false for anything else.
bool ParseSize(const std::string& text, int* width, int* height);

struct SampleLayout {
    SampleFormat format = SampleFormat::RGB24;
    int width = 0;
    int height = 0;          // positive
    bool topDown = false;    // RGB only: rows top-down (negative biHeight)
};

// Bytes of one sample in this layout (RGB24 rows padded to 4 bytes); 0 for
// sizes that are not positive and even.
std::size_t SampleBytes(const SampleLayout& layout);

// The sample as an upright-as-delivered picture (top row first). False when
// the sample is shorter than its layout needs or the layout is invalid.
bool SampleToPicture(const std::uint8_t* sample, std::size_t size, const SampleLayout& layout,
                     Picture* picture);

}  // namespace pavix::tools

#pragma once

#include <cstdint>

namespace pavix {

// An I420 picture's planes: Y at full size, U and V at half width and half
// height, rows `strideY` and `strideUV` bytes apart, the top row first.
struct I420Picture {
    const std::uint8_t* y = nullptr;
    const std::uint8_t* u = nullptr;
    const std::uint8_t* v = nullptr;
    int strideY = 0;
    int strideUV = 0;
    int width = 0;
    int height = 0;
};

}  // namespace pavix

#include "tests/support/scaling_reference.h"

#include <algorithm>
#include <cmath>

namespace pavix::testing {
namespace {

// Where target pixel i reads along an axis of `source` pixels scaled to
// `target`, and the two neighbours with the weight of the second.
struct Tap {
    int first;
    int second;
    double weight;
};

Tap TapFor(int i, int source, int target) {
    double at = 0;
    if (target <= source) {
        at = (i + 0.5) * source / target - 0.5;
    } else if (source > 1 && target > 1) {
        at = static_cast<double>(i) * (source - 1) / (target - 1);
    }
    at = std::clamp(at, 0.0, static_cast<double>(source - 1));
    const int first = static_cast<int>(std::floor(at));
    const int second = std::min(first + 1, source - 1);
    return {first, second, at - first};
}

}  // namespace

std::vector<std::uint8_t> ScenePicture(int width, int height) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    const double pi = 3.141592653589793;
    // The waves are products of a column and a row term: computed once each.
    std::vector<double> across(static_cast<std::size_t>(width) * 3);
    std::vector<double> down(static_cast<std::size_t>(height) * 3);
    for (int c = 0; c < 3; ++c) {
        for (int x = 0; x < width; ++x) {
            across[x * 3 + c] = std::sin(2 * pi * ((x + 0.5) / width * (2 + c) + 0.3 * c));
        }
        for (int y = 0; y < height; ++y) {
            down[y * 3 + c] = std::cos(2 * pi * (y + 0.5) / height * (1.5 + 0.5 * c));
        }
    }
    for (int y = 0; y < height; ++y) {
        const double v = (y + 0.5) / height;
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width;
            std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
            const bool light = (static_cast<int>(u * 12) + static_cast<int>(v * 9)) % 2 == 0;
            const bool inBoard = u > 0.55 && v > 0.5;
            for (int c = 0; c < 3; ++c) {
                const double wave = 128 + 90 * across[x * 3 + c] * down[y * 3 + c];
                p[c] = inBoard ? static_cast<std::uint8_t>(light ? 230 - 20 * c : 20 + 10 * c)
                               : static_cast<std::uint8_t>(std::lround(wave));
            }
            p[3] = 0xFF;
        }
    }
    return pixels;
}

ReferencePicture::ReferencePicture(const BgrxPicture& source, int width, int height)
    : width_(width), values_(static_cast<std::size_t>(width) * height * 3) {
    std::vector<Tap> columns;
    for (int x = 0; x < width; ++x) columns.push_back(TapFor(x, source.width, width));
    for (int y = 0; y < height; ++y) {
        const Tap row = TapFor(y, source.height, height);
        const std::uint8_t* upper = source.pixels + row.first * source.stride;
        const std::uint8_t* lower = source.pixels + row.second * source.stride;
        for (int x = 0; x < width; ++x) {
            const Tap& column = columns[x];
            for (int c = 0; c < 3; ++c) {
                const double top = upper[column.first * 4 + c] * (1 - column.weight) +
                                   upper[column.second * 4 + c] * column.weight;
                const double bottom = lower[column.first * 4 + c] * (1 - column.weight) +
                                      lower[column.second * 4 + c] * column.weight;
                values_[(static_cast<std::size_t>(y) * width + x) * 3 + c] =
                    top * (1 - row.weight) + bottom * row.weight;
            }
        }
    }
}

void Difference::Add(int got, double want) {
    const double distance = std::fabs(got - want);
    largest = std::max(largest, distance);
    sum += distance;
    ++count;
}

}  // namespace pavix::testing

#pragma once

#include <cstdint>
#include <vector>

#include "frames/picture_scaler.h"

namespace pavix::testing {

// How far a scaled pixel may stray from the reference, which computes
// exactly. libyuv's column filter weighs neighbours with 7-bit weights that
// add up to 127/128 and truncates, its row filter truncates 8-bit weights:
// values come out up to 2 steps darker (white is 253), 1.5 on average, and
// the weights' rounding adds up to 2 more at hard edges.
constexpr int kScalingTolerance = 5;
constexpr double kScalingMeanTolerance = 2.0;

// A scene for scaling tests, width x height pixels of 4 bytes (blue, green,
// red, unused), top row first: smooth waves in each colour plus a
// checkerboard of hard edges, both sized relative to the picture so that
// every size shows the same content.
std::vector<std::uint8_t> ScenePicture(int width, int height);

// The exact bilinear scaling of a picture to width x height, with the
// scaler's conventions: sample centres aligned along an axis that shrinks,
// corners aligned along one that grows.
class ReferencePicture {
public:
    ReferencePicture(const BgrxPicture& source, int width, int height);
    // Channel c (0 blue, 1 green, 2 red) of pixel (x, y), top row 0.
    double At(int x, int y, int c) const {
        return values_[(static_cast<std::size_t>(y) * width_ + x) * 3 + c];
    }

private:
    int width_;
    std::vector<double> values_;
};

// The largest and the mean distance between scaled and reference values.
struct Difference {
    double largest = 0;
    double sum = 0;
    long count = 0;
    void Add(int got, double want);
    double Mean() const { return count > 0 ? sum / count : 0; }
};

}  // namespace pavix::testing

#include "tools/camcheck/pattern_content.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace pavix::tools {

namespace {

// Fractions of the pattern's layout (test_pattern.h).
constexpr double kTopBandEnd = 0.34;
constexpr double kBottomBandStart = 0.66;
constexpr double kCodeRowA = 0.45;  // the middle of code row A
constexpr double kStartMarker = 1.0 / phonesim::kCodeCells;

// A band edge blurred by scaling and JPEG lands within this much of where
// it should, as a fraction of the side (about 3 pixels at 320 rows).
constexpr double kEdgeTolerance = 0.011;

struct Colour {
    int r, g, b;
};

Colour At(const Picture& picture, int x, int y) {
    const uint8_t* p = picture.Pixel(x, y);
    return {p[2], p[1], p[0]};
}

bool Near(const Colour& c, int r, int g, int b, int margin) {
    return std::abs(c.r - r) <= margin && std::abs(c.g - g) <= margin && std::abs(c.b - b) <= margin;
}

// Half-way between a pure colour and the track's grey or a code cell: the
// edge counts where the colour is lost.
constexpr int kEdgeMargin = 96;

// Rows from `fromY` stepping by `step` while column x keeps the colour; the
// row where it stops.
int RunEnd(const Picture& picture, int x, int fromY, int step, const Colour& colour) {
    int y = fromY;
    while (y >= 0 && y < picture.height &&
           Near(At(picture, x, y), colour.r, colour.g, colour.b, kEdgeMargin)) {
        y += step;
    }
    return y;
}

Colour Average(const Picture& picture, double fx0, double fy0, double fx1, double fy1) {
    const int x0 = static_cast<int>(fx0 * picture.width);
    const int x1 = std::max(x0 + 1, static_cast<int>(fx1 * picture.width));
    const int y0 = static_cast<int>(fy0 * picture.height);
    const int y1 = std::max(y0 + 1, static_cast<int>(fy1 * picture.height));
    long long sum[3] = {0, 0, 0};
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = picture.Pixel(x, y);
            sum[0] += p[2];
            sum[1] += p[1];
            sum[2] += p[0];
        }
    }
    const long long n = static_cast<long long>(x1 - x0) * (y1 - y0);
    return {static_cast<int>(sum[0] / n), static_cast<int>(sum[1] / n),
            static_cast<int>(sum[2] / n)};
}

}  // namespace

PatternContent ReadPatternContent(const Picture& picture) {
    PatternContent content;
    if (picture.width < 64 || picture.height < 64 ||
        picture.bgr.size() < static_cast<size_t>(picture.width) * picture.height * 3) {
        return content;
    }
    phonesim::ImageView view;
    view.data = picture.bgr.data();
    view.width = picture.width;
    view.height = picture.height;
    view.stride = static_cast<ptrdiff_t>(picture.width) * 3;
    view.bgr = true;
    content.frame = phonesim::ReadFrameNumber(view);
    content.orientation = phonesim::ReadOrientation(view);
    // Boxes that stay inside their quadrant for every crop of a 4:3 or
    // wider source, clear of the digits (top left, above 0.12).
    constexpr int kMargin = 40;  // video range and JPEG: pure colours come back within this
    content.coloursTrue = Near(Average(picture, 0.15, 0.16, 0.35, 0.24), 255, 0, 0, kMargin) &&
                          Near(Average(picture, 0.65, 0.16, 0.85, 0.24), 0, 255, 0, kMargin) &&
                          Near(Average(picture, 0.15, 0.76, 0.35, 0.84), 0, 0, 255, kMargin) &&
                          Near(Average(picture, 0.65, 0.76, 0.85, 0.84), 255, 255, 255, kMargin);
    return content;
}

PatternGeometry MeasurePatternGeometry(const Picture& picture) {
    PatternGeometry geometry;
    if (picture.width < 64 || picture.height < 64) {
        return geometry;
    }
    const int w = picture.width;
    const int h = picture.height;
    // From rows well inside the quadrants (for any crop of a 4:3 or wider
    // source) outwards to the tracks; in the left and the right half, each
    // with its own colours, averaged.
    const int left = w / 4;
    const int right = w * 3 / 4;
    const int upper = h / 5;
    const int lower = h - 1 - h / 5;
    const int topEnds[2] = {RunEnd(picture, left, upper, 1, {255, 0, 0}),
                            RunEnd(picture, right, upper, 1, {0, 255, 0})};
    const int bottomStarts[2] = {RunEnd(picture, left, lower, -1, {0, 0, 255}) + 1,
                                 RunEnd(picture, right, lower, -1, {255, 255, 255}) + 1};
    for (int i = 0; i < 2; ++i) {
        if (topEnds[i] == upper || topEnds[i] >= h / 2 || bottomStarts[i] == lower + 1 ||
            bottomStarts[i] <= h / 2) {
            return geometry;  // not a pattern's bands
        }
    }
    geometry.topBandEnd = (topEnds[0] + topEnds[1]) / 2.0 / h;
    geometry.bottomBandStart = (bottomStarts[0] + bottomStarts[1]) / 2.0 / h;
    // Code row A's middle, found from the measured bands: the start marker
    // runs white from the left edge (cell 1, the number's top bit, is black
    // for every frame number below 2^23).
    const double rowA = geometry.topBandEnd + (kCodeRowA - kTopBandEnd) /
                                                  (kBottomBandStart - kTopBandEnd) *
                                                  (geometry.bottomBandStart - geometry.topBandEnd);
    const int y = std::clamp(static_cast<int>(rowA * h), 0, h - 1);
    int x = 0;
    while (x < w / 2 && Near(At(picture, x, y), 255, 255, 255, kEdgeMargin)) {
        ++x;
    }
    geometry.startMarker = static_cast<double>(x) / w;
    geometry.measured = true;
    return geometry;
}

PatternGeometry ExpectedGeometry(int sourceWidth, int sourceHeight, int typeWidth, int typeHeight,
                                 bool cropped) {
    PatternGeometry geometry;
    geometry.measured = true;
    // The fraction of each side the type keeps.
    double keptX = 1;
    double keptY = 1;
    if (cropped) {
        const double source = static_cast<double>(sourceWidth) / sourceHeight;
        const double type = static_cast<double>(typeWidth) / typeHeight;
        if (source > type) {
            keptX = type / source;
        } else {
            keptY = source / type;
        }
    }
    auto place = [](double at, double kept) { return (at - (1 - kept) / 2) / kept; };
    geometry.topBandEnd = place(kTopBandEnd, keptY);
    geometry.bottomBandStart = place(kBottomBandStart, keptY);
    geometry.startMarker = std::max(0.0, place(kStartMarker, keptX));
    return geometry;
}

const char* FitVerdictName(FitVerdict verdict) {
    switch (verdict) {
        case FitVerdict::Cropped: return "cropped";
        case FitVerdict::Squeezed: return "squeezed";
        case FitVerdict::Neither: return "neither";
    }
    return "?";
}

FitVerdict JudgeFit(const PatternGeometry& measured, int sourceWidth, int sourceHeight,
                    int typeWidth, int typeHeight) {
    if (!measured.measured || sourceWidth <= 0 || sourceHeight <= 0 || typeWidth <= 0 ||
        typeHeight <= 0) {
        return FitVerdict::Neither;
    }
    // The largest distance of any band from where the fit puts it.
    auto distance = [&](const PatternGeometry& expected) {
        return std::max({std::fabs(measured.topBandEnd - expected.topBandEnd),
                         std::fabs(measured.bottomBandStart - expected.bottomBandStart),
                         std::fabs(measured.startMarker - expected.startMarker)});
    };
    const double crop =
        distance(ExpectedGeometry(sourceWidth, sourceHeight, typeWidth, typeHeight, true));
    const double squeeze =
        distance(ExpectedGeometry(sourceWidth, sourceHeight, typeWidth, typeHeight, false));
    if (crop <= kEdgeTolerance && crop <= squeeze) {
        return FitVerdict::Cropped;
    }
    if (squeeze <= kEdgeTolerance) {
        return FitVerdict::Squeezed;
    }
    return FitVerdict::Neither;
}

}  // namespace pavix::tools

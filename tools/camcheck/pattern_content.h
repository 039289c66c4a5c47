#pragma once

// What a capture sample shows of the phone simulator's test pattern: its
// frame number, whether it stands upright in its colours, and whether it
// was fitted to the connection type by cropping its centre (right) or by
// squeezing it (distorted). Platform-neutral.
//
// Crop and squeeze tell apart by where the pattern's bands land. The top
// quadrants end at 0.34 of the pattern's height and the bottom ones begin
// at 0.66; the code row's start marker is 1/26 of its width. Squeezed, the
// bands keep those fractions whatever the type; cropped, the centre is
// enlarged along the cut axis, so they move away from the middle (top band
// shorter, start marker narrower).

#include <cstdint>

#include "pattern/test_pattern.h"
#include "tools/shmtool/picture.h"

namespace pavix::tools {

struct PatternContent {
    int64_t frame = -1;  // -1 when the code rows do not read
    phonesim::PatternOrientation orientation;
    // Each quadrant's middle within a clear margin of its pure colour.
    bool coloursTrue = false;
};

PatternContent ReadPatternContent(const Picture& picture);

// Band positions as fractions of the picture's height and width.
struct PatternGeometry {
    bool measured = false;
    double topBandEnd = 0;       // where the top quadrants end
    double bottomBandStart = 0;  // where the bottom quadrants begin
    double startMarker = 0;      // the start marker's width (0 when cut off)
};

// Measures an upright pattern picture; `measured` false when the bands are
// not where a pattern's can be.
PatternGeometry MeasurePatternGeometry(const Picture& picture);

// Where the bands land when a sourceWidth x sourceHeight pattern fills a
// typeWidth x typeHeight picture by cropping its centre, or by squeezing.
PatternGeometry ExpectedGeometry(int sourceWidth, int sourceHeight, int typeWidth, int typeHeight,
                                 bool cropped);

enum class FitVerdict {
    Cropped,   // the bands sit where a centre crop puts them
    Squeezed,  // where they sit with the whole source squeezed in
    Neither,   // somewhere else (wrong crop, bars, not measured)
};
const char* FitVerdictName(FitVerdict verdict);

// Judges a measurement against both fits. When source and type share their
// aspect both fits agree, and a match counts as Cropped.
FitVerdict JudgeFit(const PatternGeometry& measured, int sourceWidth, int sourceHeight,
                    int typeWidth, int typeHeight);

}  // namespace pavix::tools

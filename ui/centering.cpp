#include "ui/centering.h"

namespace pavix {
namespace {

int Place(int size, int referenceStart, int referenceSize, int areaStart, int areaEnd) {
    int start = referenceStart + (referenceSize - size) / 2;
    if (start < areaStart) {
        start = areaStart;
    } else if (start + size > areaEnd) {
        start = areaEnd - size;
    }
    return start;
}

}  // namespace

ScreenPoint CenteredPosition(int width, int height, const ScreenBox& reference,
                             const ScreenBox& workArea) {
    return {Place(width, reference.left, reference.right - reference.left, workArea.left,
                  workArea.right),
            Place(height, reference.top, reference.bottom - reference.top, workArea.top,
                  workArea.bottom)};
}

}  // namespace pavix

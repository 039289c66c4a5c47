#pragma once

namespace pavix {

struct ScreenBox {
    int left;
    int top;
    int right;
    int bottom;
};

struct ScreenPoint {
    int x;
    int y;
};

// Where a window of `width` x `height` goes when it is centred on
// `reference` (divisions truncate toward zero): pushed back inside
// `workArea` where it would stick out, the left and top edges winning when
// it is larger than the work area.
ScreenPoint CenteredPosition(int width, int height, const ScreenBox& reference,
                             const ScreenBox& workArea);

}  // namespace pavix

#pragma once

// The picture sizes both cameras offer (the DirectShow filter and the
// Media Foundation source), the preferred one first, then largest down to
// PavixShMem's own size.

namespace pavix {

struct CameraSize {
    int width;
    int height;
};

inline constexpr CameraSize kCameraSizes[] = {
    {1280, 720}, {1920, 1080}, {640, 480}, {640, 360}, {480, 320}};
inline constexpr int kCameraSizeCount = sizeof(kCameraSizes) / sizeof(kCameraSizes[0]);

}  // namespace pavix

#pragma once

// The one video format the camera's capture pin offers, and the rules by
// which it accepts a format: 480 x 320, 24-bit RGB (BI_RGB), bottom-up as
// in the shared frame buffer, or top-down, which the pin delivers with its
// rows in reverse order.

#include <windows.h>
#include <strmif.h>
#include <amvideo.h>

namespace pavix {

inline constexpr LONG kCaptureWidth = 480;
inline constexpr LONG kCaptureHeight = 320;
inline constexpr DWORD kCaptureImageSize = 460800;  // 480 x 3 x 320

// 30 ms in 100 ns units: the time stamp step and the pacing of samples,
// announced as the frame duration of the offered type (33.3 per second).
inline constexpr REFERENCE_TIME kSampleDuration = 300000;

// The offered type without its format block (cbFormat 0, pbFormat null).
const AM_MEDIA_TYPE& OfferedMediaType();
// The offered format block (88 bytes).
const VIDEOINFOHEADER& OfferedVideoInfo();
// The one capability record (128 bytes).
const VIDEO_STREAM_CONFIG_CAPS& CaptureCaps();

// A task-allocated copy of the offered type with its own copy of the format
// block, for IAMStreamConfig's callers; null when out of memory.
AM_MEDIA_TYPE* CreateOfferedMediaType();

// S_OK when the pin can deliver `pmt`, E_POINTER for null, else
// E_INVALIDARG. Tested in this order: video, fixed-size samples, RGB24,
// FORMAT_VideoInfo with a format block holding a whole VIDEOINFOHEADER,
// width 480, height 320 or -320, biSizeImage matching the header, 24 bits,
// BI_RGB.
HRESULT CheckCaptureMediaType(const AM_MEDIA_TYPE* pmt);

// Whether an accepted type asks for top-down rows (negative height).
bool IsTopDown(const AM_MEDIA_TYPE& type);

}  // namespace pavix

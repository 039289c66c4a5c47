#pragma once

// The video types the camera's capture pin offers, and the rules by which
// it accepts one: 1920 x 1080, 1280 x 720, 640 x 480, 640 x 360 and
// 480 x 320, each in NV12, I420, YUY2, RGB24 and RGB32, at 30 pictures a
// second. YUV types go top-down (a positive height, by convention); RGB
// types are DIBs, bottom-up with a positive height, top-down with a
// negative one.

#include <windows.h>
#include <strmif.h>
#include <amvideo.h>

#include "filter/camera_picture_converter.h"

namespace pavix {

// 1/30 s in 100 ns units: the frame duration every offered type announces,
// the time stamp step and the pacing of samples.
inline constexpr REFERENCE_TIME kSampleDuration = 333333;
// The longest frame interval a capability record allows (one a second).
inline constexpr REFERENCE_TIME kLongestFrameInterval = 10000000;

// How many types the pin offers (five sizes in five formats).
inline constexpr int kCaptureTypeCount = 25;

// The FOURCC subtypes, defined here: mingw's headers lack some of them.
// MEDIASUBTYPE_IYUV is the same layout as I420 under another name.
extern const GUID kSubtypeNV12;
extern const GUID kSubtypeI420;
extern const GUID kSubtypeIYUV;
extern const GUID kSubtypeYUY2;

// The i-th offered type (0 <= i < kCaptureTypeCount). The first, 1280 x 720
// NV12, is the preferred one; among the RGB24 types 480 x 320 comes first,
// so a client that insists on RGB24 gets the type it always got.
CameraType CaptureType(int index);
// The type a pin proposes first and reports before anything was chosen.
CameraType PreferredCaptureType();

// The media type of `type` without its format block (cbFormat 0), and its
// format block (88 bytes), as the pin offers them.
AM_MEDIA_TYPE MediaTypeOf(const CameraType& type);
VIDEOINFOHEADER VideoInfoOf(const CameraType& type);
// The capability record of `type` (128 bytes).
VIDEO_STREAM_CONFIG_CAPS CapsOf(const CameraType& type);

// A task-allocated copy of `type` as a media type with its own format
// block, for IAMStreamConfig's callers; null when out of memory.
AM_MEDIA_TYPE* CreateCaptureMediaType(const CameraType& type);

// S_OK when the pin can deliver `pmt`, E_POINTER for null, else
// E_INVALIDARG: video, fixed-size samples, an offered subtype (IYUV as
// I420), FORMAT_VideoInfo with a format block holding a whole
// VIDEOINFOHEADER, an offered size (RGB: either row order; YUV: positive
// height), the format's bit count and compression, biSizeImage matching
// (or 0 for YUV), and AvgTimePerFrame 0 or within the capability range.
HRESULT CheckCaptureMediaType(const AM_MEDIA_TYPE* pmt);

// The camera type of a media type CheckCaptureMediaType accepted; false
// (and `type` untouched) for one it does not.
bool CameraTypeOf(const AM_MEDIA_TYPE& pmt, CameraType* type);

// Whether two camera types deliver the same samples.
bool SameCameraType(const CameraType& a, const CameraType& b);

}  // namespace pavix

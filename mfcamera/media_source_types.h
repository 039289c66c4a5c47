#pragma once

// The video types the Media Foundation camera offers: the DirectShow
// camera's five sizes in NV12 (what the Frame Server and most applications
// take), YUY2 and RGB32, at 30 pictures a second, square pixels,
// progressive. Media Foundation's RGB32 goes top-down (a positive default
// stride), as every one of these does.

#include <windows.h>
#include <mfidl.h>

#include "filter/camera_picture_converter.h"

namespace pavix {

// 1/30 s in 100 ns units: each sample's duration.
inline constexpr LONGLONG kMediaSampleDuration = 333333;

inline constexpr int kMediaSourceTypeCount = 15;

// The i-th offered type (0 <= i < kMediaSourceTypeCount); the first,
// 1280 x 720 NV12, is the one a stream starts with.
CameraType MediaSourceType(int index);

// A new media type describing `type`.
HRESULT CreateMediaSourceType(const CameraType& type, IMFMediaType** mediaType);

// The camera type of a media type that is one of the offered ones (the
// subtype and frame size are what count); false, `type` untouched, for
// any other.
bool CameraTypeOfMediaType(IMFMediaType* mediaType, CameraType* type);

}  // namespace pavix

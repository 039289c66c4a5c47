#pragma once

// GDI+ for the program: the flat interface (Gdip... functions on GpImage,
// GpBitmap, GpGraphics). objidl.h first: the GDI+ headers need IStream and
// PROPID, which the lean Windows headers leave out.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

namespace pavix {

using Gdiplus::GpBitmap;
using Gdiplus::GpGraphics;
using Gdiplus::GpImage;
namespace gdip = Gdiplus::DllExports;

}  // namespace pavix

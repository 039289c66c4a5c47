#pragma once

// GDI+ for the program: the flat interface (Gdip... functions on GpImage,
// GpBitmap, GpGraphics). objidl.h first: the GDI+ headers need IStream and
// PROPID, which the lean Windows headers leave out.
//
// gdiplus.dll is not among the DLLs that every Windows we support maps from
// its own folder whatever the program asks (KnownDLLs; Windows 7 lacks it),
// so a static import of it is looked up beside pavix.exe first: a pavix.exe
// unpacked from the zip into Downloads and started elevated would run a
// gdiplus.dll planted there. The program therefore does not import it: the
// functions below load it from the system folder on first use and call
// through the addresses found there. When it cannot be loaded, or lacks one
// of them, every call fails with Gdiplus::GenericError (GdiplusStartup too,
// so the program does not start) and GdiplusShutdown does nothing.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

namespace pavix {

using Gdiplus::GpBitmap;
using Gdiplus::GpGraphics;
using Gdiplus::GpImage;

namespace gdip {

using Gdiplus::GpStatus;

GpStatus GdiplusStartup(ULONG_PTR* token, const Gdiplus::GdiplusStartupInput* input,
                        Gdiplus::GdiplusStartupOutput* output);
void GdiplusShutdown(ULONG_PTR token);

GpStatus GdipCreateBitmapFromScan0(INT width, INT height, INT stride, Gdiplus::PixelFormat format,
                                   BYTE* scan0, GpBitmap** bitmap);
GpStatus GdipCreateBitmapFromResource(HINSTANCE instance, const WCHAR* name, GpBitmap** bitmap);
GpStatus GdipDisposeImage(GpImage* image);
GpStatus GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics);
GpStatus GdipCreateFromHDC(HDC dc, GpGraphics** graphics);
GpStatus GdipDeleteGraphics(GpGraphics* graphics);
GpStatus GdipScaleWorldTransform(GpGraphics* graphics, Gdiplus::REAL sx, Gdiplus::REAL sy,
                                 Gdiplus::GpMatrixOrder order);
GpStatus GdipTranslateWorldTransform(GpGraphics* graphics, Gdiplus::REAL dx, Gdiplus::REAL dy,
                                     Gdiplus::GpMatrixOrder order);
GpStatus GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, INT x, INT y, INT width,
                            INT height);

// The gdiplus.dll the functions above call into, loaded on first use;
// nullptr when it could not be loaded whole.
HMODULE Module();

}  // namespace gdip
}  // namespace pavix

// A stand-in gdiplus.dll for the GDI+ loader's test, built into the test
// program's folder as a planted copy would lie beside pavix.exe. It exports
// only GdiplusStartup, failing with a status GDI+ never returns: a program
// that imported gdiplus.dll and found this one would not start, and one
// that asked for "gdiplus.dll" by name would miss the other functions.

#include <windows.h>

extern "C" __declspec(dllexport) int __stdcall GdiplusStartup(void*, const void*, void*) {
    return 0x7AB;
}

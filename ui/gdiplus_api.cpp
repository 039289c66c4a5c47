#include "ui/gdiplus_api.h"

#include <cwchar>

namespace pavix {
namespace gdip {
namespace {

// Every GDI+ function the program calls, with the scope that declares it.
#define PAVIX_GDIPLUS_FUNCTIONS(X)                   \
    X(Gdiplus, GdiplusStartup)                       \
    X(Gdiplus, GdiplusShutdown)                      \
    X(Gdiplus::DllExports, GdipCreateBitmapFromScan0) \
    X(Gdiplus::DllExports, GdipCreateBitmapFromResource) \
    X(Gdiplus::DllExports, GdipDisposeImage)         \
    X(Gdiplus::DllExports, GdipGetImageGraphicsContext) \
    X(Gdiplus::DllExports, GdipCreateFromHDC)        \
    X(Gdiplus::DllExports, GdipDeleteGraphics)       \
    X(Gdiplus::DllExports, GdipScaleWorldTransform)  \
    X(Gdiplus::DllExports, GdipTranslateWorldTransform) \
    X(Gdiplus::DllExports, GdipDrawImageRectI)

// Their addresses in the loaded gdiplus.dll, typed as the headers declare
// them (decltype does not make the linker import them).
struct Entries {
    HMODULE module = nullptr;
#define PAVIX_GDIPLUS_ENTRY(scope, name) decltype(&scope::name) name = nullptr;
    PAVIX_GDIPLUS_FUNCTIONS(PAVIX_GDIPLUS_ENTRY)
#undef PAVIX_GDIPLUS_ENTRY
};

// gdiplus.dll from the system folder only. LOAD_LIBRARY_SEARCH_SYSTEM32
// needs Windows 8, or Windows 7 with update KB2533623; without it the flag
// is refused as an invalid parameter, and the full path of the system
// folder's copy does the same (its own imports then come from there too).
HMODULE LoadFromSystemFolder() {
    HMODULE module = LoadLibraryExW(L"gdiplus.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    static const wchar_t kName[] = L"\\gdiplus.dll";
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + wcslen(kName) >= MAX_PATH) return nullptr;
    wcscpy(path + length, kName);
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function* entry) {
    *entry = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *entry != nullptr;
}

Entries Load() {
    Entries entries;
    entries.module = LoadFromSystemFolder();
    if (entries.module == nullptr) return entries;
    bool whole = true;
#define PAVIX_GDIPLUS_RESOLVE(scope, name) whole = Resolve(entries.module, #name, &entries.name) && whole;
    PAVIX_GDIPLUS_FUNCTIONS(PAVIX_GDIPLUS_RESOLVE)
#undef PAVIX_GDIPLUS_RESOLVE
    if (!whole) {
        FreeLibrary(entries.module);
        return Entries{};
    }
    return entries;
}

// Loaded once, by whichever thread calls first; the module stays loaded
// until the process ends.
const Entries& Loaded() {
    static const Entries entries = Load();
    return entries;
}

template <typename Function, typename... Args>
GpStatus Call(Function function, Args... args) {
    return function != nullptr ? function(args...) : Gdiplus::GenericError;
}

}  // namespace

GpStatus GdiplusStartup(ULONG_PTR* token, const Gdiplus::GdiplusStartupInput* input,
                        Gdiplus::GdiplusStartupOutput* output) {
    return Call(Loaded().GdiplusStartup, token, input, output);
}

void GdiplusShutdown(ULONG_PTR token) {
    if (Loaded().GdiplusShutdown != nullptr) Loaded().GdiplusShutdown(token);
}

GpStatus GdipCreateBitmapFromScan0(INT width, INT height, INT stride, Gdiplus::PixelFormat format,
                                   BYTE* scan0, GpBitmap** bitmap) {
    return Call(Loaded().GdipCreateBitmapFromScan0, width, height, stride, format, scan0, bitmap);
}

GpStatus GdipCreateBitmapFromResource(HINSTANCE instance, const WCHAR* name, GpBitmap** bitmap) {
    return Call(Loaded().GdipCreateBitmapFromResource, instance, name, bitmap);
}

GpStatus GdipDisposeImage(GpImage* image) { return Call(Loaded().GdipDisposeImage, image); }

GpStatus GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics) {
    return Call(Loaded().GdipGetImageGraphicsContext, image, graphics);
}

GpStatus GdipCreateFromHDC(HDC dc, GpGraphics** graphics) {
    return Call(Loaded().GdipCreateFromHDC, dc, graphics);
}

GpStatus GdipDeleteGraphics(GpGraphics* graphics) {
    return Call(Loaded().GdipDeleteGraphics, graphics);
}

GpStatus GdipScaleWorldTransform(GpGraphics* graphics, Gdiplus::REAL sx, Gdiplus::REAL sy,
                                 Gdiplus::GpMatrixOrder order) {
    return Call(Loaded().GdipScaleWorldTransform, graphics, sx, sy, order);
}

GpStatus GdipTranslateWorldTransform(GpGraphics* graphics, Gdiplus::REAL dx, Gdiplus::REAL dy,
                                     Gdiplus::GpMatrixOrder order) {
    return Call(Loaded().GdipTranslateWorldTransform, graphics, dx, dy, order);
}

GpStatus GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, INT x, INT y, INT width,
                            INT height) {
    return Call(Loaded().GdipDrawImageRectI, graphics, image, x, y, width, height);
}

HMODULE Module() { return Loaded().module; }

}  // namespace gdip
}  // namespace pavix

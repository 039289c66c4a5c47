// pavix::gdip: gdiplus.dll comes from the system folder although a
// gdiplus.dll lies beside this program (tests/ui/planted_gdiplus.cpp, built
// into this program's folder), and the program's GDI+ calls reach it.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/gdiplus_api.h"

namespace {

using namespace pavix;

std::wstring ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring SystemFolder() {
    wchar_t path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

TEST(GdiplusLoader, TakesTheSystemFoldersCopyNotThePlantedOne) {
    const std::wstring planted = FolderOf(ModulePath(nullptr)) + L"\\gdiplus.dll";
    ASSERT_NE(GetFileAttributesW(planted.c_str()), INVALID_FILE_ATTRIBUTES)
        << "the planted gdiplus.dll is not beside the test program";

    ASSERT_NE(gdip::Module(), nullptr);
    const std::wstring loaded = ModulePath(gdip::Module());
    EXPECT_TRUE(SameFolder(FolderOf(loaded), SystemFolder()))
        << "loaded " << std::string(loaded.begin(), loaded.end());
    EXPECT_EQ(GetModuleHandleW(planted.c_str()), nullptr) << "the planted copy was loaded";

    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(gdip::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
    gdip::GdiplusShutdown(token);
}

// A picture drawn upside down into a bitmap over our own pixels, as the
// engine draws the idle picture into the shared block: every function the
// program calls goes through the table to the right entry.
TEST(GdiplusLoader, CallsReachGdiplus) {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(gdip::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);

    constexpr int kSide = 8;
    constexpr int kStride = kSide * 3;  // a multiple of 4, as GDI+ needs
    // Source: upper half red, lower half blue (B, G, R in memory).
    std::vector<BYTE> source(kStride * kSide);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            BYTE* pixel = &source[y * kStride + x * 3];
            pixel[0] = y < kSide / 2 ? 0 : 255;
            pixel[2] = y < kSide / 2 ? 255 : 0;
        }
    }
    std::vector<BYTE> target(kStride * kSide, 0);
    GpBitmap* from = nullptr;
    GpBitmap* to = nullptr;
    ASSERT_EQ(gdip::GdipCreateBitmapFromScan0(kSide, kSide, kStride, PixelFormat24bppRGB,
                                              source.data(), &from),
              Gdiplus::Ok);
    ASSERT_EQ(gdip::GdipCreateBitmapFromScan0(kSide, kSide, kStride, PixelFormat24bppRGB,
                                              target.data(), &to),
              Gdiplus::Ok);
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(gdip::GdipGetImageGraphicsContext(to, &graphics), Gdiplus::Ok);
    EXPECT_EQ(gdip::GdipScaleWorldTransform(graphics, 1.0f, -1.0f, Gdiplus::MatrixOrderPrepend),
              Gdiplus::Ok);
    EXPECT_EQ(gdip::GdipTranslateWorldTransform(graphics, 0.0f, static_cast<float>(kSide),
                                                Gdiplus::MatrixOrderAppend),
              Gdiplus::Ok);
    EXPECT_EQ(gdip::GdipDrawImageRectI(graphics, from, 0, 0, kSide, kSide), Gdiplus::Ok);
    EXPECT_EQ(gdip::GdipDeleteGraphics(graphics), Gdiplus::Ok);
    EXPECT_EQ(gdip::GdipDisposeImage(to), Gdiplus::Ok);
    EXPECT_EQ(gdip::GdipDisposeImage(from), Gdiplus::Ok);

    // Away from the edges, where GDI+ blends with what lies outside.
    const BYTE* top = &target[1 * kStride + (kSide / 2) * 3];
    const BYTE* bottom = &target[(kSide - 2) * kStride + (kSide / 2) * 3];
    EXPECT_GT(top[0], 200) << "the top is the source's blue bottom";
    EXPECT_LT(top[2], 55);
    EXPECT_GT(bottom[2], 200) << "the bottom is the source's red top";
    EXPECT_LT(bottom[0], 55);

    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(gdip::GdipCreateFromHDC(dc, &graphics), Gdiplus::Ok);
    if (graphics != nullptr) {
        EXPECT_EQ(gdip::GdipDeleteGraphics(graphics), Gdiplus::Ok);
    }
    DeleteDC(dc);

    gdip::GdiplusShutdown(token);
}

}  // namespace

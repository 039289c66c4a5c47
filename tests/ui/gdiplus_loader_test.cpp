// pavix::gdip: gdiplus.dll comes from the system folder although a
// gdiplus.dll lies beside this program (tests/ui/planted_gdiplus.cpp, built
// into this program's folder). That the calls reach it the system tests
// show: pavix.exe draws its idle picture upright into the shared block
// through them (pavix_system_start).

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

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

}  // namespace

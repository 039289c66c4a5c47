#pragma once

// The class identifier of Pavix's Media Foundation camera source: the
// virtual camera names it as its source, the Frame Server creates it.

#include <windows.h>

// {000E8034-4682-443B-B397-F1723BAED1CB}
inline constexpr CLSID CLSID_PavixMediaSource = {
    0x000e8034, 0x4682, 0x443b, {0xb3, 0x97, 0xf1, 0x72, 0x3b, 0xae, 0xd1, 0xcb}};

// The same, as MFCreateVirtualCamera takes it.
inline constexpr wchar_t kPavixMediaSourceId[] = L"{000E8034-4682-443B-B397-F1723BAED1CB}";

// The module that holds it, in the installation's x64 folder.
inline constexpr wchar_t kPavixMediaSourceModule[] = L"PavixMediaSource.dll";

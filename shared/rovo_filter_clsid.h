#pragma once

// The class identifier of the camera filter, by which the desktop program
// creates it for recording and the video-input device entry names it.

#include <windows.h>

// {74AD45B0-D8B4-4422-9C32-0AB6EECA21E0}
inline constexpr CLSID CLSID_RovoFilter = {
    0x74ad45b0, 0xd8b4, 0x4422, {0x9c, 0x32, 0x0a, 0xb6, 0xee, 0xca, 0x21, 0xe0}};

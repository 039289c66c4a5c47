#pragma once

#include <cstdint>

namespace pavix {

// A minute of the camera's pictures recorded uncompressed: 480 x 320 pixels
// of 3 bytes, 33.3 a second (about 920 MB). A compressor makes it less; the
// warning before a recording counts with this, the most it can take.
inline constexpr std::uint64_t kUncompressedMinuteBytes = 480ull * 320 * 3 * 100 / 3 * 60;

// The bytes a recording into `path` can have: the free space of the volume
// its folder is on (for this user), plus the size of the file at `path`,
// which the recording replaces. ~0 when the system cannot say. Quick (no
// file is opened): fine on the window's thread.
std::uint64_t RecordingRoomAt(const wchar_t* path);

}  // namespace pavix

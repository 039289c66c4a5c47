#pragma once

#include <cstdint>

namespace pavix {

// What our file writer keeps free on the volume for the multiplexer's index
// and headers (16 bytes of index a frame: about 2 MB an hour at 33 frames a
// second), plus the few frames it may still hold when the recording stops.
inline constexpr std::uint64_t kRecordFinishingRoom = 8ull << 20;

// A minute of the camera's pictures recorded uncompressed: 480 x 320 pixels
// of 3 bytes, 33.3 a second (about 920 MB). A compressor makes it less; the
// warning before a recording counts with this, the most it can take.
inline constexpr std::uint64_t kUncompressedMinuteBytes = 480ull * 320 * 3 * 100 / 3 * 60;

// The bytes a recording into `path` can have: the free space of the volume
// its folder is on (for this user), plus the size of the file at `path`,
// which the recording replaces. ~0 when the system cannot say. Quick (no
// file is opened): fine on the window's thread.
std::uint64_t RecordingRoomAt(const wchar_t* path);

// What a running recording stops at: the room its file writer keeps for the
// multiplexer's finishing writes, plus two seconds of uncompressed video
// (the room is looked at every second).
inline constexpr std::uint64_t kRecordingStopRoom = kRecordFinishingRoom + kUncompressedMinuteBytes / 30;

// Whether the recording into `path` (its file open and growing) is about to
// run out of room: its volume has less than kRecordingStopRoom free, or its
// file is that close to the largest file a FAT file system holds. Quick.
bool RecordingRoomRunsOut(const wchar_t* path);

}  // namespace pavix

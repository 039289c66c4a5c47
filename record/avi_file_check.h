#pragma once

#include <cstdint>

namespace pavix {

// Whether the AVI file at `path` was finished: its RIFF chunks fit in the
// file, its first holds the headers and the frames, and an index follows
// them (idx1 in the first RIFF, or the OpenDML continuation RIFFs of a large
// file). Reads a few chunk headers; false for anything else, a missing file
// among them.
bool IsFinishedAvi(const wchar_t* path);

// The same over the first bytes of a file of `fileSize` bytes; `read`
// copies `size` bytes at `offset` into `into` and says whether it could.
using AviBytesReader = bool (*)(void* context, std::uint64_t offset, void* into, std::uint32_t size);
bool IsFinishedAvi(AviBytesReader read, void* context, std::uint64_t fileSize);

}  // namespace pavix

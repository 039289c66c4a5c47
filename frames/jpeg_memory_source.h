#pragma once

#include <cstddef>
#include <cstdint>

#include "frames/jpeg_library.h"

namespace pavix {

// A data source for the decompressor over one block of memory, read in
// place. The library sees the whole block at once; asking for more, or
// skipping past its end, is the library's input-read error ("Input file
// read error"). No end-of-image marker is ever made up: a truncated
// picture fails. The source never reads outside the block.

// Fills in the source's routines and makes it the source of `cinfo`.
void AttachJpegMemorySource(jpeg_decompress_struct* cinfo, jpeg_source_mgr* source);

// Points the source at `length` bytes at `data` (null is fine for 0).
void PointJpegMemorySource(jpeg_source_mgr* source, const std::uint8_t* data, std::size_t length);

}  // namespace pavix

#pragma once

#include <csetjmp>

#include "frames/jpeg_library.h"

namespace pavix {

// The library's standard error manager with two routines of ours.
//
// A fatal error is formatted into `message` and jumps back to `recovery`,
// which the decoder sets with setjmp before each run of library calls; it
// never returns into the library. Warnings (corrupt data the library can
// still decode) go out as debug texts and decoding goes on.
struct JpegErrorManager {
    jpeg_error_mgr standard;  // first: the library hands its address to the routines
    std::jmp_buf recovery;
    char message[JMSG_LENGTH_MAX] = {};
};

// Sets up `manager` and makes it the error manager of `cinfo`; call before
// the decompressor is created.
void AttachJpegErrorManager(jpeg_decompress_struct* cinfo, JpegErrorManager* manager);

}  // namespace pavix

#include "frames/jpeg_memory_source.h"

namespace pavix {
namespace {

void NothingToInit(j_decompress_ptr) {}
void NothingToTerminate(j_decompress_ptr) {}

// Called once the whole block has been consumed: there is no more input.
boolean NoMoreInput(j_decompress_ptr cinfo) {
    ERREXIT(cinfo, JERR_FILE_READ);
    return FALSE;  // not reached: the error exit does not return
}

void SkipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* source = cinfo->src;
    if (static_cast<std::size_t>(count) > source->bytes_in_buffer) {
        ERREXIT(cinfo, JERR_FILE_READ);
        return;
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<std::size_t>(count);
}

}  // namespace

void AttachJpegMemorySource(jpeg_decompress_struct* cinfo, jpeg_source_mgr* source) {
    source->init_source = NothingToInit;
    source->fill_input_buffer = NoMoreInput;
    source->skip_input_data = SkipInput;
    source->resync_to_restart = jpeg_resync_to_restart;
    source->term_source = NothingToTerminate;
    source->next_input_byte = nullptr;
    source->bytes_in_buffer = 0;
    cinfo->src = source;
}

void PointJpegMemorySource(jpeg_source_mgr* source, const std::uint8_t* data, std::size_t length) {
    source->next_input_byte = data;
    source->bytes_in_buffer = length;
}

}  // namespace pavix

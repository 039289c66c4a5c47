#include "pattern/jpeg_encoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace phonesim {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// jump back to EncodeJpeg with the message kept for the caller.
struct ErrorManager {
  jpeg_error_mgr base;
  jmp_buf escape;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
  ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  longjmp(err->escape, 1);
}

void OnMessage(j_common_ptr, int) {}

// Runs the compressor; only C objects live in this frame, so the longjmp
// skips no destructor. Returns false with err->message filled on failure.
bool Compress(const uint8_t* rgb, int width, int height, int quality, ErrorManager* err,
              unsigned char** buffer, unsigned long* size) {
  jpeg_compress_struct cinfo;
  cinfo.err = jpeg_std_error(&err->base);
  err->base.error_exit = OnError;
  err->base.emit_message = OnMessage;
  err->message[0] = '\0';
  if (setjmp(err->escape)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, buffer, size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const size_t row_bytes = static_cast<size_t>(width) * 3;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb + cinfo.next_scanline * row_bytes);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

bool EncodeJpeg(const uint8_t* rgb, int width, int height, int quality,
                std::vector<uint8_t>* jpeg_out, std::string* error) {
  if (rgb == nullptr || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION ||
      height > JPEG_MAX_DIMENSION || quality < 1 || quality > 100) {
    *error = "bad picture size or quality";
    return false;
  }
  ErrorManager err;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const bool ok = Compress(rgb, width, height, quality, &err, &buffer, &size);
  if (ok) {
    jpeg_out->assign(buffer, buffer + size);
  } else {
    *error = std::string("JPEG encoding failed: ") + err.message;
  }
  free(buffer);
  return ok;
}

}  // namespace phonesim

#include "pattern/jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace phonesim {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  jmp_buf escape;
  char message[JMSG_LENGTH_MAX];
  char first_warning[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
  ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  longjmp(err->escape, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace output
  ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (err->base.num_warnings == 0) (*cinfo->err->format_message)(cinfo, err->first_warning);
  err->base.num_warnings++;
}

enum class Stage { kFailed, kHeaderRead, kDone };

// Two passes through libjpeg share this frame so that only C objects are
// alive when a longjmp lands: the header pass reports the size, the caller
// sizes the output, then the pixel pass fills it.
struct Decoder {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  bool created = false;
};

bool ReadHeader(Decoder* d, const uint8_t* data, size_t size) {
  d->cinfo.err = jpeg_std_error(&d->err.base);
  d->err.base.error_exit = OnError;
  d->err.base.emit_message = OnMessage;
  d->err.message[0] = '\0';
  d->err.first_warning[0] = '\0';
  if (setjmp(d->err.escape)) return false;
  jpeg_create_decompress(&d->cinfo);
  d->created = true;
  jpeg_mem_src(&d->cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&d->cinfo, TRUE);
  d->cinfo.out_color_space = JCS_RGB;
  jpeg_calc_output_dimensions(&d->cinfo);
  return true;
}

bool ReadPixels(Decoder* d, uint8_t* rgb) {
  if (setjmp(d->err.escape)) return false;
  jpeg_start_decompress(&d->cinfo);
  const size_t row_bytes = static_cast<size_t>(d->cinfo.output_width) * 3;
  while (d->cinfo.output_scanline < d->cinfo.output_height) {
    JSAMPROW row = rgb + d->cinfo.output_scanline * row_bytes;
    jpeg_read_scanlines(&d->cinfo, &row, 1);
  }
  jpeg_finish_decompress(&d->cinfo);
  return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedJpeg* out, std::string* error) {
  if (data == nullptr || size == 0) {
    *error = "empty JPEG data";
    return false;
  }
  Decoder d;
  bool ok = ReadHeader(&d, data, size);
  if (ok) {
    const uint64_t pixels = uint64_t{d.cinfo.output_width} * d.cinfo.output_height;
    if (d.cinfo.output_components != 3 || pixels == 0 || pixels > kMaxDecodedPixels) {
      snprintf(d.err.message, sizeof d.err.message, "unsupported picture %ux%u",
               d.cinfo.output_width, d.cinfo.output_height);
      ok = false;
    } else {
      out->width = static_cast<int>(d.cinfo.output_width);
      out->height = static_cast<int>(d.cinfo.output_height);
      out->rgb.assign(pixels * 3, 0);
      ok = ReadPixels(&d, out->rgb.data());
    }
  }
  if (ok) {
    out->warnings = static_cast<int>(d.err.base.num_warnings);
    out->first_warning = d.err.first_warning;
  } else {
    *error = std::string("JPEG decoding failed: ") + d.err.message;
  }
  if (d.created) jpeg_destroy_decompress(&d.cinfo);
  return ok;
}

}  // namespace phonesim

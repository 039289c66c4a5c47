#include "frames/jpeg_error_manager.h"

#include "shared/debug_text.h"

namespace pavix {
namespace {

JpegErrorManager* ManagerOf(j_common_ptr cinfo) {
    // `standard` is the first member, so the library's pointer to it is a
    // pointer to the whole manager.
    return reinterpret_cast<JpegErrorManager*>(cinfo->err);
}

void ExitToRecoveryPoint(j_common_ptr cinfo) {
    JpegErrorManager* manager = ManagerOf(cinfo);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->recovery, 1);
}

void OutputWarning(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX] = {};
    (*cinfo->err->format_message)(cinfo, text);
    DebugTextFormat(JMSG_LENGTH_MAX + 32, "Outputting message:\n%s\n", text);
}

}  // namespace

void AttachJpegErrorManager(jpeg_decompress_struct* cinfo, JpegErrorManager* manager) {
    cinfo->err = jpeg_std_error(&manager->standard);
    manager->standard.error_exit = ExitToRecoveryPoint;
    manager->standard.output_message = OutputWarning;
}

}  // namespace pavix

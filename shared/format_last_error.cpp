#include "shared/format_last_error.h"

#include <windows.h>

#include <cstdio>

namespace pavix {

const char* FormatLastError() {
    static char text[512];
    // A code the system has no text for is tried once more with whatever
    // the failed attempt left as the last error; after that the number
    // stands in for the text (retrying until it works could go on forever).
    DWORD code = GetLastError();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text - 1, nullptr) != 0) {
            return text;
        }
        code = GetLastError();
    }
    std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(code));
    return text;
}

}  // namespace pavix

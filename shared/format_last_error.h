#pragma once

namespace pavix {

// The system's text for the calling thread's last error code, in one static
// buffer that the next call overwrites. Windows only.
const char* FormatLastError();

}  // namespace pavix

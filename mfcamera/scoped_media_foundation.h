#pragma once

// Media Foundation started for a call into the camera API (publishing or
// removing the virtual camera), and ended again: mfplat.dll from the
// system folder, looked up at run time, so that pavix.exe never imports it
// and starts on Windows without it.

#include <windows.h>

namespace pavix {

class CScopedMediaFoundation {
public:
    // Starts nothing unless `wanted` (ask only where the camera API is
    // there: then Media Foundation is too).
    explicit CScopedMediaFoundation(bool wanted);
    ~CScopedMediaFoundation();
    CScopedMediaFoundation(const CScopedMediaFoundation&) = delete;
    CScopedMediaFoundation& operator=(const CScopedMediaFoundation&) = delete;

private:
    using ShutdownFn = HRESULT(WINAPI*)();

    HMODULE m_module = nullptr;
    ShutdownFn m_shutdown = nullptr;  // null: not started
};

}  // namespace pavix

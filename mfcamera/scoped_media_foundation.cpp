#include "mfcamera/scoped_media_foundation.h"

#include <mfapi.h>

namespace pavix {

CScopedMediaFoundation::CScopedMediaFoundation(bool wanted) {
    if (!wanted) return;
    m_module = LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (m_module == nullptr) return;
    using StartupFn = HRESULT(WINAPI*)(ULONG version, DWORD flags);
    const auto startup = reinterpret_cast<StartupFn>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "MFStartup")));
    m_shutdown = reinterpret_cast<ShutdownFn>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "MFShutdown")));
    if (startup == nullptr || m_shutdown == nullptr ||
        FAILED(startup(MF_VERSION, MFSTARTUP_LITE))) {
        m_shutdown = nullptr;
    }
}

CScopedMediaFoundation::~CScopedMediaFoundation() {
    if (m_shutdown != nullptr) m_shutdown();
    if (m_module != nullptr) FreeLibrary(m_module);
}

}  // namespace pavix

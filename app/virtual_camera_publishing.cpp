#include "app/virtual_camera_publishing.h"

#include <windows.h>
#include <mfapi.h>

#include <string>

#include "mfcamera/virtual_camera_control.h"
#include "shared/debug_text.h"

namespace pavix {
namespace {

using MFStartupFn = HRESULT(WINAPI*)(ULONG version, DWORD flags);
using MFShutdownFn = HRESULT(WINAPI*)();

// Media Foundation started for the publishing thread, from the system
// folder and looked up at run time: pavix.exe never imports it, so it
// starts on Windows without it. Only asked for where the camera API is
// there (then Media Foundation is too).
class ScopedMediaFoundation {
public:
    explicit ScopedMediaFoundation(bool wanted) {
        if (!wanted) return;
        module_ = LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module_ == nullptr) return;
        const auto startup = reinterpret_cast<MFStartupFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "MFStartup")));
        shutdown_ = reinterpret_cast<MFShutdownFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "MFShutdown")));
        if (startup == nullptr || shutdown_ == nullptr ||
            FAILED(startup(MF_VERSION, MFSTARTUP_LITE))) {
            shutdown_ = nullptr;
        }
    }
    ~ScopedMediaFoundation() {
        if (shutdown_ != nullptr) shutdown_();
        if (module_ != nullptr) FreeLibrary(module_);
    }
    ScopedMediaFoundation(const ScopedMediaFoundation&) = delete;
    ScopedMediaFoundation& operator=(const ScopedMediaFoundation&) = delete;

private:
    HMODULE module_ = nullptr;
    MFShutdownFn shutdown_ = nullptr;
};

// Owns nothing of the engine and takes no lock anyone else needs.
DWORD WINAPI PublishingThread(LPVOID) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(com)) {
        DebugTextFormat(120, "pavix: Windows camera not published: COM failed (0x%08lX)\n",
                        static_cast<unsigned long>(com));
        return 0;
    }
    const VirtualCameraPlatform platform = ThisVirtualCameraPlatform();
    std::string why;
    {
        ScopedMediaFoundation mediaFoundation(platform.create != nullptr);
        PublishVirtualCamera(platform, &why);
    }
    CoUninitialize();
    why += '\n';
    DebugText(why.c_str());
    return 0;
}

}  // namespace

bool CVirtualCameraPublishing::Start() {
    if (m_thread != nullptr) return true;
    m_thread = CreateThread(nullptr, 0, PublishingThread, nullptr, 0, nullptr);
    if (m_thread == nullptr) {
        DebugText("pavix: Windows camera not published: no thread for it\n");
        return false;
    }
    return true;
}

void CVirtualCameraPublishing::Finish() {
    if (m_thread == nullptr) return;
    if (WaitForSingleObject(m_thread, kStopWaitMs) != WAIT_OBJECT_0) {
        DebugText("pavix: the Windows camera's publishing still waited for Windows at the end\n");
    }
    CloseHandle(m_thread);
    m_thread = nullptr;
}

}  // namespace pavix

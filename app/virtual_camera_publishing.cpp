#include "app/virtual_camera_publishing.h"

#include <windows.h>

#include <string>

#include "mfcamera/scoped_media_foundation.h"
#include "mfcamera/virtual_camera_control.h"
#include "shared/debug_text.h"

namespace pavix {
namespace {

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
        CScopedMediaFoundation mediaFoundation(platform.create != nullptr);
        PublishVirtualCamera(platform, &why);
    }
    CoUninitialize();
    why += '\n';
    DebugText(why.c_str());
    return 0;
}

}  // namespace

bool CVirtualCameraPublishing::Start() {
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

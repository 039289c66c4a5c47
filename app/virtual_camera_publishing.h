#pragma once

#include <windows.h>

namespace pavix {

// Publishes the Windows 11 camera (mfcamera/virtual_camera_control.h) on a
// short-lived thread of its own, once per start: the Frame Server may take
// seconds to answer, and the window never waits for it. The outcome goes
// to the debug text only.
class CVirtualCameraPublishing {
public:
    CVirtualCameraPublishing() = default;
    ~CVirtualCameraPublishing() { Finish(); }
    CVirtualCameraPublishing(const CVirtualCameraPublishing&) = delete;
    CVirtualCameraPublishing& operator=(const CVirtualCameraPublishing&) = delete;

    // False when the thread could not be started (nothing is published
    // then; the DirectShow camera serves).
    bool Start();
    // At the program's end: lets a publishing still under way finish, for
    // at most kStopWaitMs. The call into the Frame Server cannot be cut
    // short; a thread still inside it after that ends with the process,
    // holding nothing of the program's.
    void Finish();

    static constexpr DWORD kStopWaitMs = 5000;

private:
    HANDLE m_thread = nullptr;
};

}  // namespace pavix

#pragma once

namespace pavix {

// Publishes the Windows 11 camera (mfcamera/virtual_camera_control.h) on a
// short-lived thread of its own, once per start: the Frame Server may take
// seconds to answer, and neither the window nor the program's end waits for
// it. The outcome goes to the debug text only. False when the thread could
// not be started (nothing is published then; the DirectShow camera serves).
bool StartVirtualCameraPublishing();

}  // namespace pavix

#pragma once

#include <windows.h>

namespace pavix {

// Time limits of the update check, so that its thread ends in bounded time.
struct UpdateCheckLimits {
    DWORD resolveMs = 3000;
    DWORD connectMs = 3000;
    DWORD sendMs = 3000;
    DWORD receiveMs = 3000;
};

inline constexpr unsigned short kUpdateServerPort = 80;

// One exchange with the update server `host` on `port`: connect, send the
// update request, receive once (up to 1,024 bytes) and judge that reply.
// True when it announces a newer version; false for any failure or time-out.
// The socket is closed before it returns. Windows Sockets must be started.
bool AskUpdateServer(const char* host, unsigned short port, const UpdateCheckLimits& limits);

// Starts the start-up check against the maker's update server on a thread
// of its own, so that the window goes on answering meanwhile; its answer
// comes back to `window` as WM_UPDATE_CHECKED (wParam 1: a newer version).
// The thread touches nothing of the program but that message and ends by
// itself within the limits; it has its own Windows Sockets start-up. False
// when the thread cannot be started (no answer will come).
bool StartUpdateCheck(HWND window);

// The window's record of the answer (WM_UPDATE_CHECKED), and whether it
// announced a newer version. Main thread.
void SetNewVersionAvailable(bool available);
bool NewVersionAvailable();

}  // namespace pavix

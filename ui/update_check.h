#pragma once

#include <windows.h>

namespace pavix {

// Time limits of the update check: the main thread waits for it during
// start-up, so no step may wait without end.
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

// The start-up check against the maker's update server; its answer is
// NewVersionAvailable() from then on. Main thread.
void CheckForUpdate();

// Whether the start-up check found a newer version. Main thread.
bool NewVersionAvailable();

}  // namespace pavix

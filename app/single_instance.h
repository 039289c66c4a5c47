#pragma once

#include <windows.h>

namespace pavix {

// The single-instance guard: a named semaphore that only the first running
// instance manages to create. Null when another instance holds it (or it
// cannot be had at all).
HANDLE CreateInstanceGuard();

// Records the main window for later instances (in an image section that
// every instance of the program file shares).
void PublishMainWindow(HWND window);

// Run by a second instance before it gives up: brings the first instance's
// main window to the front, restoring it if it was minimised to the
// notification area. Never waits for the first instance.
void BringFirstInstanceToFront();

}  // namespace pavix

// pavix.exe: the entry point. Brings the engine up step by step, runs the
// message loop, and ends with 0 after the main window was closed or with -1
// when the program cannot (or must not) start.

#include <windows.h>

#include <new>

#include "app/rovo_engine.h"
#include "app/virtual_camera_publishing.h"
#include "ui/resource_ids.h"

namespace {

// The program's one engine, for the entry point alone: everything else is
// handed what it needs of it.
pavix::CRovoEngine* g_engine = nullptr;

// Ends the program with `code`. The engine is freed only when no worker
// runs any more; otherwise the process ends with everything as it is (the
// system ends the worker first).
int End(int code) {
    if (!g_engine->WorkersEnded()) ExitProcess(static_cast<UINT>(code));
    delete g_engine;
    g_engine = nullptr;
    return code;
}

int FailedStart() {
    // Once the main window exists, its destruction takes the engine down as
    // the close box does, and afterwards no window points at the user
    // interface that goes with the engine.
    if (HWND window = g_engine->MainWindow()) DestroyWindow(window);
    g_engine->StopCommThread();
    g_engine->StopFpsThread();
    g_engine->StopUsbThread();
    if (g_engine->WorkersEnded()) {
        g_engine->Close();
        pavix::ReceiveRing().Shutdown();
    }
    return End(-1);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // An empty path takes the current directory out of the DLL search
    // order (null would put the default order, with it, back): a DLL
    // planted in the working directory is never loaded.
    SetDllDirectoryW(L"");

    // Without the receive ring's buffers the program does not start.
    if (!pavix::ReceiveRing().Init()) return -1;

    g_engine = new (std::nothrow) pavix::CRovoEngine(instance);
    if (g_engine == nullptr) {
        pavix::ReceiveRing().Shutdown();
        return -1;
    }
    if (g_engine->Init() != 0) return FailedStart();
    if (g_engine->CreateMainWindow(showCommand) != 0) return FailedStart();
    // Without notices the program still runs: the result is not needed.
    g_engine->AttachNoticeListener();
    g_engine->LoadSettings();
    if (g_engine->StartCommThread() != 0) return FailedStart();
    if (g_engine->StartFpsThread() != 0) return FailedStart();
    // The Windows 11 camera, on a thread of its own; the outcome is only a
    // debug text (the DirectShow camera serves either way).
    pavix::CVirtualCameraPublishing publishing;
    publishing.Start();

    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_FUNCTION_MENU));
    MSG message = {};
    // Ends with the quit message that the main window's destruction posts.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    publishing.Finish();
    return End(static_cast<int>(message.wParam));
}

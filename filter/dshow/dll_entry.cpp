#include "filter/dshow/class_factory.h"

HINSTANCE g_hInst = nullptr;
DWORD g_amPlatform = 0;

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE hInstance, ULONG ulReason, LPVOID /*pv*/) {
    switch (ulReason) {
    case DLL_PROCESS_ATTACH: {
        DisableThreadLibraryCalls(hInstance);
        g_hInst = hInstance;
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof(version);
        if (GetVersionExA(&version)) {
            g_amPlatform = version.dwPlatformId;
        }
        for (int i = 0; i < g_cTemplates; ++i) {
            if (g_Templates[i].m_lpfnInit != nullptr) {
                g_Templates[i].m_lpfnInit(TRUE, g_Templates[i].m_ClsID);
            }
        }
        break;
    }
    case DLL_PROCESS_DETACH:
        for (int i = 0; i < g_cTemplates; ++i) {
            if (g_Templates[i].m_lpfnInit != nullptr) {
                g_Templates[i].m_lpfnInit(FALSE, g_Templates[i].m_ClsID);
            }
        }
        break;
    default:
        break;
    }
    return TRUE;
}

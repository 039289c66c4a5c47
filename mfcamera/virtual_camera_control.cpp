#include "mfcamera/virtual_camera_control.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "mfcamera/media_source_clsid.h"

namespace pavix {
namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW* version);

// GetVersionEx answers what the manifest claims to support; the kernel's
// own RtlGetVersion tells the build as it is.
DWORD WindowsBuild() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return 0;
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (rtlGetVersion == nullptr) return 0;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (rtlGetVersion(&version) != 0) return 0;
    return version.dwBuildNumber;
}

// From the system folder only, and kept loaded: the function must stay
// valid for the rest of the process. Windows without Media Foundation (the
// N editions) has no such module.
MFCreateVirtualCameraFn FindCreateFunction() {
    const HMODULE module =
        LoadLibraryExW(L"mfsensorgroup.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return nullptr;
    const auto create = reinterpret_cast<MFCreateVirtualCameraFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "MFCreateVirtualCamera")));
    if (create == nullptr) FreeLibrary(module);
    return create;
}

// Whether HKLM's 64-bit view names a module for our source class that is
// on disk. The Frame Server is a 64-bit service: the 32-bit view (where a
// 32-bit pavix.exe would look by default) means nothing to it.
bool SourceClassRegistered() {
    wchar_t keyName[96];
    std::swprintf(keyName, sizeof keyName / sizeof keyName[0],
                  L"Software\\Classes\\CLSID\\%ls\\InprocServer32", kPavixMediaSourceId);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    wchar_t path[MAX_PATH + 1] = {};
    DWORD type = 0;
    DWORD size = MAX_PATH * sizeof(wchar_t);  // leaves the last character 0
    const LONG read =
        RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || path[0] == 0) {
        return false;
    }
    const wchar_t* file = path;
    wchar_t expanded[MAX_PATH + 1] = {};
    if (type == REG_EXPAND_SZ) {
        const DWORD length = ExpandEnvironmentStringsW(path, expanded, MAX_PATH);
        if (length == 0 || length > MAX_PATH) return false;
        file = expanded;
    }
    const DWORD attributes = GetFileAttributesW(file);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The one way the camera is named: publishing and removing must agree on
// every argument, or Windows takes them for different cameras.
HRESULT CreateCamera(MFCreateVirtualCameraFn create, IMFVirtualCameraApi** camera) {
    *camera = nullptr;
    const HRESULT result =
        create(MFVirtualCameraType_SoftwareCameraSource, MFVirtualCameraLifetime_System,
               MFVirtualCameraAccess_AllUsers, kVirtualCameraName, kPavixMediaSourceId, nullptr, 0,
               camera);
    if (FAILED(result)) {
        // Whatever a failed call left there is not ours to release.
        *camera = nullptr;
        return result;
    }
    return *camera != nullptr ? result : E_POINTER;
}

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void Tell(std::string* why, const char* format, ...) {
    if (why == nullptr) return;
    char text[200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    *why = text;
}

}  // namespace

VirtualCameraPlatform ThisVirtualCameraPlatform() {
    VirtualCameraPlatform platform;
    platform.build = WindowsBuild();
    platform.create = FindCreateFunction();
    platform.sourceRegistered = SourceClassRegistered();
    return platform;
}

VirtualCameraOutcome PublishVirtualCamera(const VirtualCameraPlatform& platform, std::string* why) {
    if (platform.build < kVirtualCameraLeastBuild) {
        Tell(why,
             "pavix: Windows camera not published: Windows build %lu is older than %lu; "
             "the DirectShow camera serves alone",
             static_cast<unsigned long>(platform.build),
             static_cast<unsigned long>(kVirtualCameraLeastBuild));
        return VirtualCameraOutcome::OlderWindows;
    }
    if (platform.create == nullptr) {
        Tell(why,
             "pavix: Windows camera not published: mfsensorgroup.dll has no "
             "MFCreateVirtualCamera (build %lu); the DirectShow camera serves alone",
             static_cast<unsigned long>(platform.build));
        return VirtualCameraOutcome::NoApi;
    }
    if (!platform.sourceRegistered) {
        Tell(why,
             "pavix: Windows camera not published: PavixMediaSource.dll is not registered "
             "or missing (build %lu); the DirectShow camera serves alone",
             static_cast<unsigned long>(platform.build));
        return VirtualCameraOutcome::NotRegistered;
    }
    IMFVirtualCameraApi* camera = nullptr;
    HRESULT result = CreateCamera(platform.create, &camera);
    if (FAILED(result)) {
        Tell(why, "pavix: Windows camera not published: MFCreateVirtualCamera failed (0x%08lX)",
             static_cast<unsigned long>(result));
        return VirtualCameraOutcome::Failed;
    }
    // Start registers the camera with the system; with lifetime System it
    // stays registered after our reference goes.
    result = camera->Start(nullptr);
    camera->Release();
    if (FAILED(result)) {
        Tell(why, "pavix: Windows camera not published: starting it failed (0x%08lX)",
             static_cast<unsigned long>(result));
        return VirtualCameraOutcome::Failed;
    }
    Tell(why, "pavix: Windows camera \"Pavix\" published (build %lu)",
         static_cast<unsigned long>(platform.build));
    return VirtualCameraOutcome::Published;
}

HRESULT RemoveVirtualCamera(MFCreateVirtualCameraFn create) {
    if (create == nullptr) return S_FALSE;
    IMFVirtualCameraApi* camera = nullptr;
    HRESULT result = CreateCamera(create, &camera);
    if (FAILED(result)) return result;
    result = camera->Remove();
    camera->Release();
    return result;
}

}  // namespace pavix

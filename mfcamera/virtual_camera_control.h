#pragma once

// Publishing the Media Foundation camera "Pavix" on Windows 11, and
// taking it away again.
//
// pavix.exe publishes it at every start: a software camera source whose
// source is our media source class, lifetime System (it stays listed while
// Pavix is closed, showing the idle picture, and across restarts), access
// AllUsers (pavix.exe runs elevated). Only where the three things it needs
// are there: Windows build 22000 or later, MFCreateVirtualCamera in
// mfsensorgroup.dll, and our source class registered with its module on
// disk, so that no camera ever points at a module that is not there.
// Anywhere else nothing changes (the DirectShow camera is unaffected) and
// a debug text says why.
//
// The source module's unregistration (the uninstaller) removes the camera
// again, so none outlives the installation.

#include <windows.h>

#include <string>

#include "mfcamera/mf_camera_api.h"

namespace pavix {

inline constexpr DWORD kVirtualCameraLeastBuild = 22000;
// The camera's name as pavix.exe asks for it; Windows shows it with its
// own mark for virtual cameras added.
inline constexpr wchar_t kVirtualCameraName[] = L"Pavix";

// What the publishing depends on, found on this machine or, in tests, made up.
struct VirtualCameraPlatform {
    DWORD build = 0;                          // Windows build number
    MFCreateVirtualCameraFn create = nullptr;  // null: mfsensorgroup.dll lacks it
    bool sourceRegistered = false;            // our class and its module are there
};

// This machine's: the build from RtlGetVersion (which no manifest bends),
// MFCreateVirtualCamera looked up in mfsensorgroup.dll (the module stays
// loaded), the source class read from HKLM's 64-bit view.
VirtualCameraPlatform ThisVirtualCameraPlatform();

enum class VirtualCameraOutcome {
    Published,      // created and started
    OlderWindows,   // build below 22000
    NoApi,          // no MFCreateVirtualCamera
    NotRegistered,  // our source class or its module is missing
    Failed,         // MFCreateVirtualCamera or Start refused
};

// Creates and starts the camera where the platform allows; *why (when not
// null) gets the one-line debug text of the outcome, with the HRESULT of a
// refusal. Blocks for as long as the Frame Server takes: never on the
// window's thread. The calling thread has COM initialised; starting Media
// Foundation is the caller's choice too (pavix.exe starts it, looked up at
// run time, around the call).
VirtualCameraOutcome PublishVirtualCamera(const VirtualCameraPlatform& platform, std::string* why);

// Removes the camera published with the same name and source (a camera of
// lifetime System is forgotten only so). S_FALSE without the API.
HRESULT RemoveVirtualCamera(MFCreateVirtualCameraFn create);

}  // namespace pavix

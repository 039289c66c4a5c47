// PavixMediaSource.dll: the in-process COM server of the Media Foundation
// camera. Its class creates an activation object for the Frame Server
// (IUnknown, IMFActivate) or, for a caller that asks for the source's own
// interfaces, the media source itself. Registration writes the class under
// HKLM (64-bit view), where the Frame Server's service account reads it;
// unregistration removes the virtual camera first, so that none is left
// naming a module about to be deleted.

#include <windows.h>
#include <mfidl.h>

#include <cwchar>
#include <new>

#include "mfcamera/com_object.h"
#include "mfcamera/media_source_activate.h"
#include "mfcamera/media_source_clsid.h"
#include "mfcamera/module_objects.h"
#include "mfcamera/pavix_media_source.h"
#include "mfcamera/scoped_media_foundation.h"
#include "mfcamera/virtual_camera_control.h"
#include "shared/debug_text.h"

namespace pavix {
namespace {

HINSTANCE g_module = nullptr;

constexpr wchar_t kClassKey[] =
    L"Software\\Classes\\CLSID\\{000E8034-4682-443B-B397-F1723BAED1CB}";
constexpr wchar_t kServerKey[] =
    L"Software\\Classes\\CLSID\\{000E8034-4682-443B-B397-F1723BAED1CB}\\InprocServer32";
constexpr wchar_t kClassName[] = L"Pavix camera source (Media Foundation)";

// Interfaces for which the caller gets the media source itself.
bool IsSourceInterface(REFIID riid) {
    return riid == IID_IMFMediaSource || riid == IID_IMFMediaSourceEx ||
           riid == IID_IMFMediaEventGenerator || riid == IID_IMFGetService ||
           riid == kIidKsControl;
}

class CClassFactory final : public CComObject<IClassFactory> {
public:
    CClassFactory() { ModuleObjectCreated(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return AnswerFor(riid, ppv, {IID_IClassFactory});
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        if (!IsSourceInterface(riid)) {
            return CreateMediaSourceActivate(riid, ppv);
        }
        CPavixMediaSource* source = nullptr;
        HRESULT hr = CPavixMediaSource::Create(&source);
        if (FAILED(hr)) return hr;
        hr = source->QueryInterface(riid, ppv);
        source->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            ModuleObjectCreated();
        } else {
            ModuleObjectDestroyed();
        }
        return S_OK;
    }

private:
    ~CClassFactory() override { ModuleObjectDestroyed(); }
};

HRESULT SetString(HKEY key, const wchar_t* name, const wchar_t* value) {
    const DWORD bytes = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t));
    return HRESULT_FROM_WIN32(
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes));
}

HRESULT RegisterClass(const wchar_t* modulePath) {
    HKEY classKey = nullptr;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kClassKey, 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                                  &classKey, nullptr);
    if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
    HRESULT hr = SetString(classKey, nullptr, kClassName);
    HKEY serverKey = nullptr;
    if (SUCCEEDED(hr)) {
        result = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_WRITE | KEY_WOW64_64KEY, nullptr, &serverKey, nullptr);
        hr = HRESULT_FROM_WIN32(result);
    }
    if (SUCCEEDED(hr)) hr = SetString(serverKey, nullptr, modulePath);
    if (SUCCEEDED(hr)) hr = SetString(serverKey, L"ThreadingModel", L"Both");
    if (serverKey != nullptr) RegCloseKey(serverKey);
    RegCloseKey(classKey);
    return hr;
}

HRESULT UnregisterClass() {
    // The server key first: a key goes only without subkeys.
    for (const wchar_t* key : {kServerKey, kClassKey}) {
        const LONG result = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY, 0);
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
            return HRESULT_FROM_WIN32(result);
        }
    }
    return S_OK;
}

}  // namespace

}  // namespace pavix

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        pavix::g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_PavixMediaSource) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) pavix::CClassFactory();
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow() { return pavix::ModuleObjectCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(pavix::g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return HRESULT_FROM_WIN32(length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER);
    }
    return pavix::RegisterClass(path);
}

STDAPI DllUnregisterServer() {
    // The camera first: once the class is gone nothing could remove it. Its
    // removal is best effort (there may be none: an older Windows, or Pavix
    // never started); the class goes all the same, as an uninstaller expects.
    // regsvr32 starts COM for us, not Media Foundation, which the camera
    // API runs on.
    const MFCreateVirtualCameraFn create = pavix::ThisVirtualCameraPlatform().create;
    if (create != nullptr) {
        HRESULT removed = S_OK;
        {
            pavix::CScopedMediaFoundation mediaFoundation(true);
            removed = pavix::RemoveVirtualCamera(create);
        }
        if (FAILED(removed)) {
            pavix::DebugTextFormat(160,
                                   "Pavix camera: removing the virtual camera failed (0x%08lX)\n",
                                   static_cast<unsigned long>(removed));
        }
    }
    return pavix::UnregisterClass();
}

}  // extern "C"

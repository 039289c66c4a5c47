#pragma once

// RovoFilter.ax loaded the way COM loads it, for tests and the benchmark
// that need the real module without registering it.

#include <windows.h>
#include <strmif.h>

namespace pavix::testing {

class CameraModule {
public:
    CameraModule();  // loads the module built in this tree
    ~CameraModule();
    CameraModule(const CameraModule&) = delete;
    CameraModule& operator=(const CameraModule&) = delete;

    bool Loaded() const;
    static const wchar_t* Path();

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;

    // A new camera filter through the module's class factory.
    HRESULT CreateFilter(IBaseFilter** filter) const;

private:
    HMODULE module_ = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow_)() = nullptr;
    HRESULT(STDAPICALLTYPE* registerServer_)() = nullptr;
    HRESULT(STDAPICALLTYPE* unregisterServer_)() = nullptr;
};

}  // namespace pavix::testing

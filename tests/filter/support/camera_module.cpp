#include "tests/filter/support/camera_module.h"

#include "shared/rovo_filter_clsid.h"

namespace pavix::testing {
namespace {

template <typename F>
void Resolve(HMODULE module, const char* name, F* function) {
    *function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

const wchar_t* CameraModule::Path() {
    // Relative to the test's working directory (its build directory), so
    // that it means the same under Wine as on Windows.
    return PAVIX_ROVOFILTER_PATH;
}

CameraModule::CameraModule() : module_(LoadLibraryW(Path())) {
    if (module_ != nullptr) {
        Resolve(module_, "DllGetClassObject", &getClassObject_);
        Resolve(module_, "DllCanUnloadNow", &canUnloadNow_);
        Resolve(module_, "DllRegisterServer", &registerServer_);
        Resolve(module_, "DllUnregisterServer", &unregisterServer_);
    }
}

CameraModule::~CameraModule() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}

bool CameraModule::Loaded() const {
    return getClassObject_ != nullptr && canUnloadNow_ != nullptr && registerServer_ != nullptr &&
           unregisterServer_ != nullptr;
}

HRESULT CameraModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) const {
    return getClassObject_(clsid, iid, object);
}

HRESULT CameraModule::CanUnloadNow() const {
    return canUnloadNow_();
}

HRESULT CameraModule::RegisterServer() const {
    return registerServer_();
}

HRESULT CameraModule::UnregisterServer() const {
    return unregisterServer_();
}

HRESULT CameraModule::CreateFilter(IBaseFilter** filter) const {
    *filter = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = GetClassObject(CLSID_RovoFilter, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    hr = factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
    factory->Release();
    return hr;
}

}  // namespace pavix::testing

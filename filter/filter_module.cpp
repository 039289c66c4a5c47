// The module RovoFilter.ax: its class table, entry point and registration
// as the video-input device "Pavix".

#include <windows.h>
#include <strmif.h>
#include <uuids.h>

#include "filter/dshow/class_factory.h"
#include "filter/rovo_filter.h"
#include "shared/rovo_filter_clsid.h"

CFactoryTemplate g_Templates[] = {
    {L"Pavix", &CLSID_RovoFilter, CRovoFilter::CreateInstance, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

namespace {

// COM on the calling thread for the filter mapper: registration tools
// initialise it, other callers may not. Balanced when this scope opened it.
class ComScope {
public:
    ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr)) {  // S_OK and S_FALSE both count
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT m_hr;  // RPC_E_CHANGED_MODE: another apartment is already open
};

HRESULT OpenFilterMapper(IFilterMapper2** mapper) {
    return CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                            IID_IFilterMapper2, reinterpret_cast<void**>(mapper));
}

// The class registration of the module, then `change` on the system's
// filter mapper, with COM open for it.
template <typename Change>
HRESULT UpdateRegistration(BOOL registering, Change change) {
    HRESULT hr = AMovieDllRegisterServer2(registering);
    if (FAILED(hr)) {
        return hr;
    }
    ComScope com;
    IFilterMapper2* mapper = nullptr;
    hr = OpenFilterMapper(&mapper);
    if (FAILED(hr)) {
        return hr;
    }
    hr = change(mapper);
    mapper->Release();
    return hr;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
    return DllEntryPoint(hInstance, dwReason, lpReserved);
}

STDAPI DllRegisterServer() {
    return UpdateRegistration(TRUE, [](IFilterMapper2* mapper) {
        REGPINTYPES pinType = {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24};
        REGFILTERPINS2 pin = {};
        pin.dwFlags = REG_PINFLAG_B_OUTPUT;
        pin.cInstances = 1;
        pin.nMediaTypes = 1;
        pin.lpMediaType = &pinType;
        pin.nMediums = 0;
        pin.lpMedium = nullptr;
        pin.clsPinCategory = &PIN_CATEGORY_CAPTURE;

        REGFILTER2 filter = {};
        filter.dwVersion = 2;
        filter.dwMerit = MERIT_NORMAL;
        filter.cPins2 = 1;
        filter.rgPins2 = &pin;

        return mapper->RegisterFilter(CLSID_RovoFilter, L"Pavix", nullptr,
                                      &CLSID_VideoInputDeviceCategory, L"Pavix", &filter);
    });
}

STDAPI DllUnregisterServer() {
    return UpdateRegistration(FALSE, [](IFilterMapper2* mapper) {
        return mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, L"Pavix",
                                        CLSID_RovoFilter);
    });
}

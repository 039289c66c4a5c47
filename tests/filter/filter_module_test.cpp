// RovoFilter.ax as COM sees it: its class object, its unload rule, and its
// registration from callers with and without COM initialised.

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <string>

#include "shared/rovo_filter_clsid.h"
#include "tests/filter/support/camera_module.h"
#include "tests/filter/support/com_ref.h"
#include "tools/camcheck/device_list.h"

namespace pavix::testing {
namespace {

const CLSID kSomeOtherClass = {
    0x12345678, 0x1234, 0x1234, {0x12, 0x34, 0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc}};

class FilterModule : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(module_.Loaded()) << "cannot load RovoFilter.ax";
    }
    void TearDown() override { CoUninitialize(); }

    CameraModule module_;
};

TEST_F(FilterModule, ClassObjectIsAFactoryForTheCameraOnly) {
    ComRef<IClassFactory> factory;
    EXPECT_EQ(S_OK, module_.GetClassObject(CLSID_RovoFilter, IID_IClassFactory, factory.PutVoid()));
    EXPECT_TRUE(factory);
    ComRef<IUnknown> unknown;
    EXPECT_EQ(S_OK, module_.GetClassObject(CLSID_RovoFilter, IID_IUnknown, unknown.PutVoid()));
    ComRef<IUnknown> none;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              module_.GetClassObject(kSomeOtherClass, IID_IClassFactory, none.PutVoid()));
    EXPECT_FALSE(none);
    EXPECT_EQ(E_NOINTERFACE, module_.GetClassObject(CLSID_RovoFilter, IID_IPersist, none.PutVoid()));
    EXPECT_FALSE(none);
    EXPECT_EQ(E_POINTER, module_.GetClassObject(CLSID_RovoFilter, IID_IClassFactory, nullptr));
}

TEST_F(FilterModule, FactoryMakesFiltersAndFollowsTheAggregationRules) {
    ComRef<IClassFactory> factory;
    ASSERT_EQ(S_OK, module_.GetClassObject(CLSID_RovoFilter, IID_IClassFactory, factory.PutVoid()));
    ComRef<IBaseFilter> filter;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()));
    CLSID clsid;
    ASSERT_EQ(S_OK, filter->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_RovoFilter, clsid));
    EXPECT_EQ(1u, RefCount(filter.Get()));

    // A refused interface leaves no object behind.
    filter.Reset();
    ComRef<IPin> pin;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IPin, pin.PutVoid()));
    factory.Reset();
    EXPECT_EQ(S_OK, module_.CanUnloadNow());

    ASSERT_EQ(S_OK, module_.GetClassObject(CLSID_RovoFilter, IID_IClassFactory, factory.PutVoid()));
    // Aggregation: only the inner unknown may be asked for.
    struct Outer : IUnknown {
        virtual ~Outer() = default;
        STDMETHODIMP QueryInterface(REFIID, void** ppv) override { *ppv = nullptr; return E_NOINTERFACE; }
        STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
        STDMETHODIMP_(ULONG) Release() override { return --refs; }
        ULONG refs = 1;
    } outer;
    ComRef<IUnknown> inner;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IBaseFilter, inner.PutVoid()));
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, inner.PutVoid()));
    IBaseFilter* aggregated = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&aggregated)));
    EXPECT_EQ(2u, outer.refs);  // the interface counts on the outer object
    aggregated->Release();
    EXPECT_EQ(1u, outer.refs);
}

TEST_F(FilterModule, CanUnloadOnlyWithoutObjectsAndLocks) {
    EXPECT_EQ(S_OK, module_.CanUnloadNow());
    ComRef<IClassFactory> factory;
    ASSERT_EQ(S_OK, module_.GetClassObject(CLSID_RovoFilter, IID_IClassFactory, factory.PutVoid()));
    EXPECT_EQ(S_FALSE, module_.CanUnloadNow());
    ComRef<IBaseFilter> filter;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()));
    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, module_.CanUnloadNow());
    filter.Reset();
    EXPECT_EQ(S_FALSE, module_.CanUnloadNow());  // still locked
    ASSERT_EQ(S_OK, module_.GetClassObject(CLSID_RovoFilter, IID_IClassFactory, factory.PutVoid()));
    ASSERT_EQ(S_OK, factory->LockServer(FALSE));
    factory.Reset();
    EXPECT_EQ(S_OK, module_.CanUnloadNow());
}

// --- registration --------------------------------------------------------------

std::wstring ReadRegistryString(const wchar_t* key, const wchar_t* value) {
    wchar_t data[MAX_PATH * 2] = {};
    DWORD bytes = sizeof(data) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key, value, RRF_RT_REG_SZ, nullptr, data, &bytes) !=
        ERROR_SUCCESS) {
        return L"<missing>";
    }
    return data;
}

int PavixDevices() {
    std::vector<pavix::tools::VideoDevice> devices;
    if (FAILED(pavix::tools::ListVideoInputDevices(&devices))) {
        return -1;
    }
    int count = 0;
    for (const auto& device : devices) {
        count += device.friendlyName == L"Pavix";
    }
    return count;
}

// Runs `work` on a thread of its own, which starts without COM.
template <typename Work>
void OnFreshThread(Work work) {
    struct Call {
        Work* work;
    } call{&work};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            (*static_cast<Call*>(p)->work)();
            return 0;
        },
        &call, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 60000));
    CloseHandle(thread);
}

const wchar_t kServerKey[] = L"CLSID\\{74AD45B0-D8B4-4422-9C32-0AB6EECA21E0}\\InprocServer32";
const wchar_t kClassKey[] = L"CLSID\\{74AD45B0-D8B4-4422-9C32-0AB6EECA21E0}";

TEST_F(FilterModule, RegistersWithoutCOMOnTheCallingThreadAndLeavesItAsItWas) {
    HRESULT registered = E_FAIL, comAfter = E_FAIL;
    OnFreshThread([&] {
        registered = module_.RegisterServer();
        // COM was opened for the call and closed again: a first open now.
        comAfter = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(comAfter)) {
            CoUninitialize();
        }
    });
    EXPECT_EQ(S_OK, registered);
    EXPECT_EQ(S_OK, comAfter) << "COM left open (S_FALSE) on the caller's thread";

    EXPECT_EQ(L"Pavix", ReadRegistryString(kClassKey, nullptr));
    EXPECT_EQ(L"Both", ReadRegistryString(kServerKey, L"ThreadingModel"));
    std::wstring path = ReadRegistryString(kServerKey, nullptr);
    EXPECT_NE(std::wstring::npos, path.find(L"RovoFilter.ax")) << std::string(path.begin(), path.end());
    EXPECT_EQ(1, PavixDevices());

    // Registered twice: still one device.
    OnFreshThread([&] { registered = module_.RegisterServer(); });
    EXPECT_EQ(S_OK, registered);
    EXPECT_EQ(1, PavixDevices());

    HRESULT unregistered = E_FAIL;
    OnFreshThread([&] {
        unregistered = module_.UnregisterServer();
        comAfter = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(comAfter)) {
            CoUninitialize();
        }
    });
    EXPECT_EQ(S_OK, unregistered);
    EXPECT_EQ(S_OK, comAfter);
    EXPECT_EQ(L"<missing>", ReadRegistryString(kClassKey, nullptr));
    EXPECT_EQ(0, PavixDevices());
}

TEST_F(FilterModule, RegistersFromAThreadInAnotherApartment) {
    HRESULT registered = E_FAIL, unregistered = E_FAIL, comAfter = E_FAIL;
    OnFreshThread([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            return;
        }
        registered = module_.RegisterServer();
        unregistered = module_.UnregisterServer();
        comAfter = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // still open: S_FALSE
        CoUninitialize();
        CoUninitialize();
    });
    EXPECT_EQ(S_OK, registered);
    EXPECT_EQ(S_OK, unregistered);
    EXPECT_EQ(S_FALSE, comAfter);
    EXPECT_EQ(0, PavixDevices());
}

}  // namespace
}  // namespace pavix::testing

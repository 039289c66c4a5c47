// Publishing and removing the Windows 11 camera against a stand-in for
// MFCreateVirtualCamera that records what it is asked: the arguments, the
// calls on the camera it hands out, and the references left. And what this
// machine (Wine) offers: the build, the API, our source class's registration.

#include "mfcamera/virtual_camera_control.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "mfcamera/media_source_clsid.h"

namespace pavix {
namespace {

// A camera that counts its references and records which of its methods ran.
// Anything beyond Start, Remove and the references is a call our code must
// not make.
class FakeCamera final : public IMFVirtualCameraApi {
public:
    LONG references = 0;
    int starts = 0;
    int removes = 0;
    int otherCalls = 0;
    HRESULT startResult = S_OK;
    HRESULT removeResult = S_OK;
    IMFAsyncCallback* startCallback = reinterpret_cast<IMFAsyncCallback*>(1);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        ++otherCalls;
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

    HRESULT STDMETHODCALLTYPE Start(IMFAsyncCallback* callback) override {
        ++starts;
        startCallback = callback;
        return startResult;
    }
    HRESULT STDMETHODCALLTYPE Remove() override {
        ++removes;
        return removeResult;
    }

#define PAVIX_NOT_USED(name, parameters) \
    HRESULT STDMETHODCALLTYPE name parameters override { return Other(); }
    // IMFAttributes
    PAVIX_NOT_USED(GetItem, (REFGUID, PROPVARIANT*)) PAVIX_NOT_USED(DeleteAllItems, ())
    PAVIX_NOT_USED(GetItemType, (REFGUID, MF_ATTRIBUTE_TYPE*)) PAVIX_NOT_USED(DeleteItem, (REFGUID))
    PAVIX_NOT_USED(CompareItem, (REFGUID, REFPROPVARIANT, WINBOOL*))
    PAVIX_NOT_USED(Compare, (IMFAttributes*, MF_ATTRIBUTES_MATCH_TYPE, WINBOOL*))
    PAVIX_NOT_USED(GetUINT32, (REFGUID, UINT32*)) PAVIX_NOT_USED(SetUINT32, (REFGUID, UINT32))
    PAVIX_NOT_USED(GetUINT64, (REFGUID, UINT64*)) PAVIX_NOT_USED(SetUINT64, (REFGUID, UINT64))
    PAVIX_NOT_USED(GetDouble, (REFGUID, double*)) PAVIX_NOT_USED(SetDouble, (REFGUID, double))
    PAVIX_NOT_USED(GetGUID, (REFGUID, GUID*)) PAVIX_NOT_USED(SetGUID, (REFGUID, REFGUID))
    PAVIX_NOT_USED(GetStringLength, (REFGUID, UINT32*)) PAVIX_NOT_USED(SetString, (REFGUID, LPCWSTR))
    PAVIX_NOT_USED(GetString, (REFGUID, LPWSTR, UINT32, UINT32*))
    PAVIX_NOT_USED(GetAllocatedString, (REFGUID, LPWSTR*, UINT32*))
    PAVIX_NOT_USED(GetBlobSize, (REFGUID, UINT32*)) PAVIX_NOT_USED(GetBlob, (REFGUID, UINT8*, UINT32, UINT32*))
    PAVIX_NOT_USED(GetAllocatedBlob, (REFGUID, UINT8**, UINT32*))
    PAVIX_NOT_USED(SetBlob, (REFGUID, const UINT8*, UINT32)) PAVIX_NOT_USED(SetItem, (REFGUID, REFPROPVARIANT))
    PAVIX_NOT_USED(GetUnknown, (REFGUID, REFIID, LPVOID*)) PAVIX_NOT_USED(SetUnknown, (REFGUID, IUnknown*))
    PAVIX_NOT_USED(LockStore, ()) PAVIX_NOT_USED(UnlockStore, ()) PAVIX_NOT_USED(GetCount, (UINT32*))
    PAVIX_NOT_USED(GetItemByIndex, (UINT32, GUID*, PROPVARIANT*)) PAVIX_NOT_USED(CopyAllItems, (IMFAttributes*))
    // IMFVirtualCamera
    PAVIX_NOT_USED(AddDeviceSourceInfo, (LPCWSTR)) PAVIX_NOT_USED(Stop, ()) PAVIX_NOT_USED(Shutdown, ())
    PAVIX_NOT_USED(AddProperty, (const void*, ULONG, const BYTE*, ULONG))
    PAVIX_NOT_USED(AddRegistryEntry, (LPCWSTR, LPCWSTR, DWORD, const BYTE*, ULONG))
    PAVIX_NOT_USED(GetMediaSource, (IMFMediaSource**))
    PAVIX_NOT_USED(SendCameraProperty, (const GUID*, ULONG, ULONG, void*, ULONG, void*, ULONG, ULONG*))
    PAVIX_NOT_USED(CreateSyncEvent, (const GUID*, ULONG, ULONG, HANDLE, IUnknown**))
    PAVIX_NOT_USED(CreateSyncSemaphore, (const GUID*, ULONG, ULONG, HANDLE, LONG, IUnknown**))
#undef PAVIX_NOT_USED

private:
    HRESULT Other() {
        ++otherCalls;
        return E_NOTIMPL;
    }
};

// What the stand-in for MFCreateVirtualCamera was asked, and how it answers.
// A plain function pointer carries no state: this is the test's one.
struct CreateCall {
    MFVirtualCameraType type;
    MFVirtualCameraLifetime lifetime;
    MFVirtualCameraAccess access;
    std::wstring name;
    std::wstring sourceId;
    const GUID* categories;
    ULONG categoryCount;
};

struct Stand {
    std::vector<CreateCall> calls;
    HRESULT result = S_OK;
    bool handsOutCamera = true;
    FakeCamera camera;
};
Stand* stand = nullptr;

HRESULT WINAPI FakeCreate(MFVirtualCameraType type, MFVirtualCameraLifetime lifetime,
                          MFVirtualCameraAccess access, LPCWSTR friendlyName, LPCWSTR sourceId,
                          const GUID* categories, ULONG categoryCount,
                          IMFVirtualCameraApi** virtualCamera) {
    if (friendlyName == nullptr || sourceId == nullptr || virtualCamera == nullptr) return E_POINTER;
    stand->calls.push_back({type, lifetime, access, friendlyName, sourceId, categories, categoryCount});
    *virtualCamera = nullptr;
    if (FAILED(stand->result)) return stand->result;
    if (stand->handsOutCamera) {
        stand->camera.AddRef();
        *virtualCamera = &stand->camera;
    }
    return stand->result;
}

class VirtualCameraControlTest : public ::testing::Test {
protected:
    void SetUp() override { stand = &stand_; }
    void TearDown() override {
        // Whatever happened, no reference outlives the call, and nothing
        // but Start and Remove was asked of the camera.
        EXPECT_EQ(stand_.camera.references, 0);
        EXPECT_EQ(stand_.camera.otherCalls, 0);
        stand = nullptr;
    }
    // Every call names the same camera: a system-wide software camera for
    // all users, "Pavix", served by our source class, in Windows's default
    // categories.
    void ExpectOurCamera() const {
        ASSERT_EQ(stand_.calls.size(), 1u);
        const CreateCall& call = stand_.calls[0];
        EXPECT_EQ(call.type, MFVirtualCameraType_SoftwareCameraSource);
        EXPECT_EQ(call.lifetime, MFVirtualCameraLifetime_System);
        EXPECT_EQ(call.access, MFVirtualCameraAccess_AllUsers);
        EXPECT_EQ(call.name, L"Pavix");
        EXPECT_EQ(call.sourceId, L"{000E8034-4682-443B-B397-F1723BAED1CB}");
        EXPECT_EQ(call.categories, nullptr);
        EXPECT_EQ(call.categoryCount, 0u);
    }

    Stand stand_;
};

struct PublishCase {
    const char* name;
    DWORD build;
    bool api;
    bool registered;
    HRESULT createResult;
    bool handsOutCamera;
    HRESULT startResult;
    VirtualCameraOutcome outcome;
    bool created;
    bool started;
    const char* textHas;
};

TEST_F(VirtualCameraControlTest, PublishesOnlyWhereEverythingIsThere) {
    const PublishCase cases[] = {
        {"Windows 11", 22000, true, true, S_OK, true, S_OK, VirtualCameraOutcome::Published, true,
         true, "published"},
        {"Windows 10 22H2", 19045, true, true, S_OK, true, S_OK, VirtualCameraOutcome::OlderWindows,
         false, false, "19045 is older than 22000"},
        {"unknown build", 0, true, true, S_OK, true, S_OK, VirtualCameraOutcome::OlderWindows, false,
         false, "build 0"},
        {"no API", 22621, false, true, S_OK, true, S_OK, VirtualCameraOutcome::NoApi, false, false,
         "no MFCreateVirtualCamera"},
        {"source not registered", 22621, true, false, S_OK, true, S_OK,
         VirtualCameraOutcome::NotRegistered, false, false, "not registered"},
        {"creation refused", 22621, true, true, E_ACCESSDENIED, true, S_OK,
         VirtualCameraOutcome::Failed, true, false, "MFCreateVirtualCamera failed (0x80070005)"},
        {"no camera handed out", 22621, true, true, S_OK, false, S_OK, VirtualCameraOutcome::Failed,
         true, false, "(0x80004003)"},
        {"start refused", 22621, true, true, S_OK, true, static_cast<HRESULT>(0xC00D36B2),
         VirtualCameraOutcome::Failed, true, true, "starting it failed (0xC00D36B2)"},
    };
    for (const PublishCase& c : cases) {
        SCOPED_TRACE(c.name);
        stand_.calls.clear();
        stand_.camera.starts = 0;
        stand_.result = c.createResult;
        stand_.handsOutCamera = c.handsOutCamera;
        stand_.camera.startResult = c.startResult;
        VirtualCameraPlatform platform;
        platform.build = c.build;
        platform.create = c.api ? FakeCreate : nullptr;
        platform.sourceRegistered = c.registered;

        std::string why;
        EXPECT_EQ(PublishVirtualCamera(platform, &why), c.outcome);
        EXPECT_NE(why.find(c.textHas), std::string::npos) << why;
        // One line, for DebugView.
        EXPECT_EQ(why.find('\n'), std::string::npos) << why;
        if (c.created) {
            ExpectOurCamera();
        } else {
            EXPECT_TRUE(stand_.calls.empty());
        }
        EXPECT_EQ(stand_.camera.starts, c.started ? 1 : 0);
        // No callback: the call returns once the camera is registered.
        if (c.started) {
            EXPECT_EQ(stand_.camera.startCallback, nullptr);
        }
        EXPECT_EQ(stand_.camera.removes, 0);
        EXPECT_EQ(stand_.camera.references, 0);
    }
    // Without a place for the text the outcome is the same.
    VirtualCameraPlatform older;
    older.build = 19045;
    EXPECT_EQ(PublishVirtualCamera(older, nullptr), VirtualCameraOutcome::OlderWindows);
}

TEST_F(VirtualCameraControlTest, RemovesTheSameCamera) {
    struct Case {
        const char* name;
        bool api;
        HRESULT createResult;
        bool handsOutCamera;
        HRESULT removeResult;
        HRESULT expected;
        bool removed;
    } const cases[] = {
        {"removed", true, S_OK, true, S_OK, S_OK, true},
        {"no API", false, S_OK, true, S_OK, S_FALSE, false},
        {"creation refused", true, E_ACCESSDENIED, true, S_OK, E_ACCESSDENIED, false},
        {"no camera handed out", true, S_OK, false, S_OK, E_POINTER, false},
        {"removal refused", true, S_OK, true, HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
         HRESULT_FROM_WIN32(ERROR_NOT_FOUND), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stand_.calls.clear();
        stand_.camera.removes = 0;
        stand_.result = c.createResult;
        stand_.handsOutCamera = c.handsOutCamera;
        stand_.camera.removeResult = c.removeResult;

        EXPECT_EQ(RemoveVirtualCamera(c.api ? FakeCreate : nullptr), c.expected);
        if (c.api) {
            ExpectOurCamera();
        } else {
            EXPECT_TRUE(stand_.calls.empty());
        }
        EXPECT_EQ(stand_.camera.removes, c.removed ? 1 : 0);
        EXPECT_EQ(stand_.camera.starts, 0);
        EXPECT_EQ(stand_.camera.references, 0);
    }
}

// Our source class's key in HKLM's 64-bit view. A test of the media source
// may have registered it in this prefix: its value is put back afterwards.
constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{000E8034-4682-443B-B397-F1723BAED1CB}";
constexpr wchar_t kServerKey[] =
    L"Software\\Classes\\CLSID\\{000E8034-4682-443B-B397-F1723BAED1CB}\\InprocServer32";

bool WriteServer(DWORD type, const void* data, DWORD size, const wchar_t* threading = nullptr) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kServerKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG written = RegSetValueExW(key, nullptr, 0, type, static_cast<const BYTE*>(data), size);
    if (written == ERROR_SUCCESS && threading != nullptr) {
        written = RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(threading),
                                 static_cast<DWORD>((wcslen(threading) + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
    return written == ERROR_SUCCESS;
}

// The 64-bit test process reads the 64-bit view by default.
struct SavedServer {
    SavedServer() {
        const DWORD strings = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
        had = RegGetValueW(HKEY_LOCAL_MACHINE, kServerKey, nullptr, strings, &type, path, &size) ==
              ERROR_SUCCESS;
        DWORD threadingSize = sizeof threading;
        RegGetValueW(HKEY_LOCAL_MACHINE, kServerKey, L"ThreadingModel", RRF_RT_REG_SZ, nullptr, threading,
                     &threadingSize);
    }
    ~SavedServer() {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
        if (had) WriteServer(type, path, size, threading[0] != 0 ? threading : nullptr);
    }
    bool had = false;
    DWORD type = 0;
    wchar_t path[MAX_PATH + 1] = {};
    DWORD size = sizeof path;
    wchar_t threading[32] = {};
};

TEST(VirtualCameraPlatformTest, SourceRegisteredOnlyWithItsModuleOnDisk) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring folder = self;
    folder.resize(folder.rfind(L'\\'));

    SavedServer saved;
    struct Case {
        const char* name;
        bool write;
        DWORD type;
        std::wstring path;
        bool registered;
    } const cases[] = {
        {"no key", false, REG_SZ, L"", false},
        {"module on disk", true, REG_SZ, self, true},
        {"module gone", true, REG_SZ, folder + L"\\PavixMediaSource-gone.dll", false},
        {"a folder, not a module", true, REG_SZ, folder, false},
        {"empty value", true, REG_SZ, L"", false},
        {"not a string", true, REG_DWORD, L"1", false},
        {"expandable path", true, REG_EXPAND_SZ, L"%SystemRoot%\\system32\\kernel32.dll", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.write) {
            ASSERT_TRUE(WriteServer(c.type, c.path.c_str(),
                                    static_cast<DWORD>((c.path.size() + 1) * sizeof(wchar_t))));
        } else {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
        }
        EXPECT_EQ(ThisVirtualCameraPlatform().sourceRegistered, c.registered);
    }
}

// Wine 8 reports a Windows 10 build and has no mfsensorgroup.dll: pavix.exe
// publishes nothing here, and says so.
TEST(VirtualCameraPlatformTest, WineOffersNoVirtualCamera) {
    const VirtualCameraPlatform platform = ThisVirtualCameraPlatform();
    EXPECT_GT(platform.build, 0u) << "RtlGetVersion gave no build";
    EXPECT_EQ(platform.create, nullptr) << "this Wine has MFCreateVirtualCamera";
    std::string why;
    EXPECT_NE(PublishVirtualCamera(platform, &why), VirtualCameraOutcome::Published);
    EXPECT_EQ(why.rfind("pavix: Windows camera not published: ", 0), 0u) << why;
}

}  // namespace
}  // namespace pavix

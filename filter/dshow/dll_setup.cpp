#include <cwchar>

#include "filter/dshow/class_factory.h"

namespace {

// "CLSID\{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
bool ClassKeyName(const CLSID& clsid, WCHAR (&key)[64]) {
    static const WCHAR prefix[] = L"CLSID\\";
    const int prefixLength = static_cast<int>(std::wcslen(prefix));
    std::wmemcpy(key, prefix, prefixLength);
    return StringFromGUID2(clsid, key + prefixLength, 64 - prefixLength) != 0;
}

HRESULT SetString(HKEY key, const WCHAR* name, const WCHAR* value) {
    DWORD bytes = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(WCHAR));
    LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
    return HRESULT_FROM_WIN32(result);
}

HRESULT RegisterServer(const CFactoryTemplate& entry, const WCHAR* modulePath) {
    WCHAR keyName[64];
    if (!ClassKeyName(*entry.m_ClsID, keyName)) {
        return E_UNEXPECTED;
    }
    HKEY classKey = nullptr;
    LONG result = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE, nullptr, &classKey, nullptr);
    if (result != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(result);
    }
    HRESULT hr = SetString(classKey, nullptr, entry.m_Name);
    if (SUCCEEDED(hr)) {
        HKEY serverKey = nullptr;
        result = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &serverKey, nullptr);
        if (result != ERROR_SUCCESS) {
            hr = HRESULT_FROM_WIN32(result);
        } else {
            hr = SetString(serverKey, nullptr, modulePath);
            if (SUCCEEDED(hr)) {
                hr = SetString(serverKey, L"ThreadingModel", L"Both");
            }
            RegCloseKey(serverKey);
        }
    }
    RegCloseKey(classKey);
    return hr;
}

HRESULT UnregisterServer(const CFactoryTemplate& entry) {
    WCHAR keyName[64];
    if (!ClassKeyName(*entry.m_ClsID, keyName)) {
        return E_UNEXPECTED;
    }
    LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, keyName);
    if (result == ERROR_FILE_NOT_FOUND) {
        return S_OK;  // nothing registered: nothing to remove
    }
    return HRESULT_FROM_WIN32(result);
}

}  // namespace

HRESULT AMovieDllRegisterServer2(BOOL bRegister) {
    WCHAR modulePath[MAX_PATH];
    DWORD length = GetModuleFileNameW(g_hInst, modulePath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return HRESULT_FROM_WIN32(length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER);
    }
    for (int i = 0; i < g_cTemplates; ++i) {
        HRESULT hr = bRegister ? RegisterServer(g_Templates[i], modulePath)
                               : UnregisterServer(g_Templates[i]);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

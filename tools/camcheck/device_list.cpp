#include "tools/camcheck/device_list.h"

#include <oleauto.h>
#include <uuids.h>

#include "shared/com_ref.h"
#include "tools/camcheck/stream_types.h"

namespace pavix::tools {

// The filter mapper's reader of registered filter data (IAMFilterData),
// which the platform headers do not declare. Not in an anonymous namespace:
// the compiler would see that nothing in this file implements it and treat
// the calls as unreachable.
MIDL_INTERFACE("97f7c4d4-547b-4a5f-8332-536430ad2e4d")
IAMFilterDataReader : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ParseFilterData(BYTE* data, ULONG size,
                                                      BYTE** regFilter2) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFilterData(REGFILTER2* regFilter2, BYTE** data,
                                                       ULONG* size) = 0;
};

namespace {

const IID kIidAMFilterData = {
    0x97f7c4d4, 0x547b, 0x4a5f, {0x83, 0x32, 0x53, 0x64, 0x30, 0xad, 0x2e, 0x4d}};

std::wstring ReadString(IPropertyBag* bag, const wchar_t* name) {
    VARIANT value;
    VariantInit(&value);
    std::wstring text;
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR &&
        value.bstrVal != nullptr) {
        text = value.bstrVal;
    }
    VariantClear(&value);
    return text;
}

void CopyFilterData(const REGFILTER2& filter, VideoDevice* device) {
    device->merit = filter.dwMerit;
    if (filter.dwVersion != 2) {
        return;
    }
    for (ULONG i = 0; i < filter.cPins2; ++i) {
        const REGFILTERPINS2& source = filter.rgPins2[i];
        DevicePin pin;
        pin.output = (source.dwFlags & REG_PINFLAG_B_OUTPUT) != 0;
        if (source.clsPinCategory != nullptr) {
            pin.category = *source.clsPinCategory;
        }
        for (UINT t = 0; t < source.nMediaTypes; ++t) {
            const REGPINTYPES& type = source.lpMediaType[t];
            pin.types.push_back({type.clsMajorType != nullptr ? *type.clsMajorType : GUID_NULL,
                                 type.clsMinorType != nullptr ? *type.clsMinorType : GUID_NULL});
        }
        device->pins.push_back(pin);
    }
    device->haveFilterData = true;
}

void ReadFilterData(IPropertyBag* bag, IAMFilterDataReader* reader, VideoDevice* device) {
    if (reader == nullptr) {
        return;
    }
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(bag->Read(L"FilterData", &value, nullptr)) &&
        value.vt == (VT_ARRAY | VT_UI1) && value.parray != nullptr) {
        void* bytes = nullptr;
        ULONG size = value.parray->rgsabound[0].cElements;
        if (SUCCEEDED(SafeArrayAccessData(value.parray, &bytes))) {
            BYTE* parsed = nullptr;
            if (SUCCEEDED(reader->ParseFilterData(static_cast<BYTE*>(bytes), size, &parsed)) &&
                parsed != nullptr) {
                // The block holds a pointer to the unpacked REGFILTER2.
                const REGFILTER2* filter = *reinterpret_cast<REGFILTER2**>(parsed);
                if (filter != nullptr) {
                    CopyFilterData(*filter, device);
                }
                CoTaskMemFree(parsed);
            }
            SafeArrayUnaccessData(value.parray);
        }
    }
    VariantClear(&value);
}

template <typename Visit>
HRESULT ForEachDevice(Visit visit) {
    ComRef<ICreateDevEnum> devices;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICreateDevEnum, devices.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    ComRef<IEnumMoniker> monikers;
    hr = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0);
    devices.Reset();  // the enumeration stands on its own
    if (hr != S_OK || !monikers) {
        return FAILED(hr) ? hr : S_OK;  // S_FALSE: the category is empty
    }
    bool more = true;
    while (more) {
        ComRef<IMoniker> moniker;
        if (monikers->Next(1, moniker.Put(), nullptr) != S_OK) {
            break;
        }
        ComRef<IPropertyBag> bag;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) {
            more = visit(moniker.Get(), bag.Get());
        }
    }
    return S_OK;
}

}  // namespace

HRESULT ListVideoInputDevices(std::vector<VideoDevice>* devices) {
    devices->clear();
    ComRef<IAMFilterDataReader> reader;
    CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, kIidAMFilterData,
                     reader.PutVoid());
    return ForEachDevice([&](IMoniker*, IPropertyBag* bag) {
        VideoDevice device;
        device.friendlyName = ReadString(bag, L"FriendlyName");
        device.clsid = ReadString(bag, L"CLSID");
        ReadFilterData(bag, reader.Get(), &device);
        devices->push_back(device);
        return true;
    });
}

HRESULT OpenVideoInputDevice(const std::wstring& friendlyName, IBaseFilter** filter) {
    *filter = nullptr;
    HRESULT bound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    HRESULT hr = ForEachDevice([&](IMoniker* moniker, IPropertyBag* bag) {
        if (ReadString(bag, L"FriendlyName") != friendlyName) {
            return true;
        }
        bound = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                      reinterpret_cast<void**>(filter));
        return false;
    });
    return FAILED(hr) ? hr : bound;
}

std::string GuidName(const GUID& guid) {
    struct Known {
        const GUID* guid;
        const char* name;
    };
    static const Known known[] = {
        {&MEDIATYPE_Video, "Video"},          {&MEDIASUBTYPE_RGB24, "RGB24"},
        {&MEDIASUBTYPE_RGB32, "RGB32"},       {&MEDIASUBTYPE_YUY2, "YUY2"},
        {&PIN_CATEGORY_CAPTURE, "capture"},   {&PIN_CATEGORY_PREVIEW, "preview"},
        {&FORMAT_VideoInfo, "VideoInfo"},     {&GUID_NULL, "none"},
        {&SubtypeOf(SampleFormat::NV12), "NV12"}, {&SubtypeOf(SampleFormat::I420), "I420"},
    };
    for (const Known& k : known) {
        if (IsEqualGUID(guid, *k.guid)) {
            return k.name;
        }
    }
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], bytes,
                        nullptr, nullptr);
    return out;
}

}  // namespace pavix::tools

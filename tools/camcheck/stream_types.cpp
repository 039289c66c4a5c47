#include "tools/camcheck/stream_types.h"

#include <cstdlib>

#include "shared/com_ref.h"
#include "tools/camcheck/capture_graph.h"

namespace pavix::tools {

namespace {

// {FOURCC-0000-0010-8000-00AA00389B71}
constexpr GUID FourccGuid(DWORD fourcc) {
    return {fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
}

const GUID kSubtypeNv12 = FourccGuid(0x3231564e);  // 'NV12'
const GUID kSubtypeI420 = FourccGuid(0x30323449);  // 'I420'

StreamType Describe(int index, const AM_MEDIA_TYPE& type, const VIDEO_STREAM_CONFIG_CAPS& caps) {
    StreamType out;
    out.index = index;
    out.subtype = type.subtype;
    out.minFrameInterval = caps.MinFrameInterval;
    out.maxFrameInterval = caps.MaxFrameInterval;
    const VIDEOINFOHEADER* header = VideoHeader(type);
    if (header != nullptr && IsEqualGUID(type.majortype, MEDIATYPE_Video)) {
        out.width = header->bmiHeader.biWidth;
        out.height = header->bmiHeader.biHeight;
        out.bitCount = header->bmiHeader.biBitCount;
        out.avgTimePerFrame = header->AvgTimePerFrame;
        out.known = FormatOfSubtype(type.subtype, &out.format);
    }
    return out;
}

// The output pin that says it is a capture pin (IKsPropertySet), as
// applications look for it; else the first output pin.
ComRef<IPin> CapturePin(IBaseFilter* camera) {
    ComRef<IEnumPins> pins;
    if (SUCCEEDED(camera->EnumPins(pins.Put()))) {
        for (;;) {
            ComRef<IPin> pin;
            if (pins->Next(1, pin.Put(), nullptr) != S_OK) {
                break;
            }
            PIN_DIRECTION direction;
            ComRef<IKsPropertySet> properties;
            GUID category = GUID_NULL;
            DWORD returned = 0;
            if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT &&
                SUCCEEDED(pin->QueryInterface(IID_IKsPropertySet, properties.PutVoid())) &&
                SUCCEEDED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0,
                                          &category, sizeof(category), &returned)) &&
                returned == sizeof(category) && IsEqualGUID(category, PIN_CATEGORY_CAPTURE)) {
                return pin;
            }
        }
    }
    return FindPin(camera, PINDIR_OUTPUT);
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
    if (type != nullptr) {
        FreeMediaTypeFields(*type);
        CoTaskMemFree(type);
    }
}

}  // namespace

const GUID& SubtypeOf(SampleFormat format) {
    switch (format) {
        case SampleFormat::NV12: return kSubtypeNv12;
        case SampleFormat::I420: return kSubtypeI420;
        case SampleFormat::YUY2: return MEDIASUBTYPE_YUY2;
        case SampleFormat::RGB24: return MEDIASUBTYPE_RGB24;
        case SampleFormat::RGB32: return MEDIASUBTYPE_RGB32;
    }
    return MEDIASUBTYPE_RGB24;
}

bool FormatOfSubtype(const GUID& subtype, SampleFormat* format) {
    for (SampleFormat f : kSampleFormats) {
        if (IsEqualGUID(subtype, SubtypeOf(f))) {
            *format = f;
            return true;
        }
    }
    return false;
}

HRESULT ListStreamTypes(IBaseFilter* camera, std::vector<StreamType>* types) {
    types->clear();
    ComRef<IPin> pin = CapturePin(camera);
    if (!pin) {
        return VFW_E_NOT_FOUND;
    }
    ComRef<IAMStreamConfig> config;
    HRESULT hr = pin->QueryInterface(IID_IAMStreamConfig, config.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    int count = 0;
    int capsSize = 0;
    hr = config->GetNumberOfCapabilities(&count, &capsSize);
    if (FAILED(hr)) {
        return hr;
    }
    if (capsSize != sizeof(VIDEO_STREAM_CONFIG_CAPS)) {
        return E_UNEXPECTED;
    }
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        hr = config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps));
        if (hr != S_OK || type == nullptr) {
            DeleteMediaType(type);
            return FAILED(hr) ? hr : E_UNEXPECTED;
        }
        types->push_back(Describe(i, *type, caps));
        DeleteMediaType(type);
    }
    return S_OK;
}

HRESULT ChooseStreamType(IBaseFilter* camera, int width, int height, SampleFormat format,
                         StreamType* chosen) {
    std::vector<StreamType> types;
    HRESULT hr = ListStreamTypes(camera, &types);
    if (FAILED(hr)) {
        return hr;
    }
    const StreamType* match = nullptr;
    for (const StreamType& t : types) {
        if (t.known && t.format == format &&
            (width == 0 || (t.width == width && std::abs(t.height) == height))) {
            match = &t;
            break;
        }
    }
    if (match == nullptr) {
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    ComRef<IPin> pin = CapturePin(camera);
    ComRef<IAMStreamConfig> config;
    hr = !pin ? VFW_E_NOT_FOUND : pin->QueryInterface(IID_IAMStreamConfig, config.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    hr = config->GetStreamCaps(match->index, &type, reinterpret_cast<BYTE*>(&caps));
    if (hr == S_OK && type != nullptr) {
        hr = config->SetFormat(type);
    } else if (SUCCEEDED(hr)) {
        hr = E_UNEXPECTED;
    }
    DeleteMediaType(type);
    if (SUCCEEDED(hr)) {
        *chosen = *match;
    }
    return hr;
}

}  // namespace pavix::tools

#include "mfcamera/media_source_types.h"

#include <mfapi.h>

#include "filter/camera_sizes.h"

namespace pavix {
namespace {

constexpr CameraFormat kFormats[] = {CameraFormat::NV12, CameraFormat::YUY2, CameraFormat::RGB32};
constexpr int kFormatCount = sizeof(kFormats) / sizeof(kFormats[0]);
static_assert(kFormatCount * kCameraSizeCount == kMediaSourceTypeCount,
              "every size in every format");

const GUID& SubtypeOf(CameraFormat format) {
    switch (format) {
    case CameraFormat::YUY2:
        return MFVideoFormat_YUY2;
    case CameraFormat::RGB32:
        return MFVideoFormat_RGB32;
    default:
        return MFVideoFormat_NV12;
    }
}

// Bytes from one row's start to the next one's, top-down.
LONG DefaultStride(const CameraType& type) {
    switch (type.format) {
    case CameraFormat::YUY2:
        return type.width * 2;
    case CameraFormat::RGB32:
        return type.width * 4;
    default:
        return type.width;  // the Y plane's
    }
}

}  // namespace

CameraType MediaSourceType(int index) {
    CameraType type;
    if (index < 0 || index >= kMediaSourceTypeCount) {
        return type;
    }
    const CameraSize& size = kCameraSizes[index % kCameraSizeCount];
    type.format = kFormats[index / kCameraSizeCount];
    type.width = size.width;
    type.height = size.height;
    type.topDown = true;
    return type;
}

HRESULT CreateMediaSourceType(const CameraType& type, IMFMediaType** mediaType) {
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    *mediaType = nullptr;
    IMFMediaType* created = nullptr;
    HRESULT hr = MFCreateMediaType(&created);
    if (FAILED(hr)) {
        return hr;
    }
    const UINT32 imageSize = static_cast<UINT32>(CameraImageSize(type));
    // Each call in turn, the first failure kept.
    auto set = [&hr](HRESULT result) {
        if (SUCCEEDED(hr)) hr = result;
    };
    set(created->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
    set(created->SetGUID(MF_MT_SUBTYPE, SubtypeOf(type.format)));
    set(MFSetAttributeSize(created, MF_MT_FRAME_SIZE, type.width, type.height));
    set(MFSetAttributeRatio(created, MF_MT_FRAME_RATE, 30, 1));
    set(MFSetAttributeRatio(created, MF_MT_PIXEL_ASPECT_RATIO, 1, 1));
    set(created->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive));
    set(created->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE));
    set(created->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, TRUE));
    set(created->SetUINT32(MF_MT_SAMPLE_SIZE, imageSize));
    set(created->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<UINT32>(DefaultStride(type))));
    if (FAILED(hr) || imageSize == 0) {
        created->Release();
        return FAILED(hr) ? hr : E_INVALIDARG;
    }
    *mediaType = created;
    return S_OK;
}

bool CameraTypeOfMediaType(IMFMediaType* mediaType, CameraType* type) {
    if (mediaType == nullptr || type == nullptr) {
        return false;
    }
    GUID major = GUID_NULL;
    GUID subtype = GUID_NULL;
    UINT32 width = 0;
    UINT32 height = 0;
    if (FAILED(mediaType->GetGUID(MF_MT_MAJOR_TYPE, &major)) || major != MFMediaType_Video ||
        FAILED(mediaType->GetGUID(MF_MT_SUBTYPE, &subtype)) ||
        FAILED(MFGetAttributeSize(mediaType, MF_MT_FRAME_SIZE, &width, &height))) {
        return false;
    }
    for (int i = 0; i < kMediaSourceTypeCount; ++i) {
        const CameraType offered = MediaSourceType(i);
        if (SubtypeOf(offered.format) == subtype && static_cast<UINT32>(offered.width) == width &&
            static_cast<UINT32>(offered.height) == height) {
            *type = offered;
            return true;
        }
    }
    return false;
}

}  // namespace pavix

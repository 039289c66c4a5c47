#include "filter/capture_formats.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>

namespace pavix {
namespace {

static_assert(sizeof(VIDEOINFOHEADER) == 88, "the format block handed out is 88 bytes");
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128, "the capability record is 128 bytes");

AM_MEDIA_TYPE MakeOfferedMediaType() {
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.bFixedSizeSamples = TRUE;
    type.bTemporalCompression = FALSE;
    type.lSampleSize = kCaptureImageSize;
    type.formattype = FORMAT_VideoInfo;
    return type;
}

VIDEOINFOHEADER MakeOfferedVideoInfo() {
    VIDEOINFOHEADER info = {};
    // Empty source and target rectangles, no bit rate; the frame duration
    // is the one the pin delivers and stamps.
    info.AvgTimePerFrame = kSampleDuration;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kCaptureWidth;
    info.bmiHeader.biHeight = kCaptureHeight;  // bottom-up, as in the shared block
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = kCaptureImageSize;
    return info;
}

VIDEO_STREAM_CONFIG_CAPS MakeCaptureCaps() {
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    caps.guid = FORMAT_VideoInfo;
    caps.VideoStandard = 0;  // AnalogVideo_None
    caps.InputSize = {kCaptureWidth, kCaptureHeight};
    caps.MaxOutputSize = {kCaptureWidth, kCaptureHeight};
    caps.OutputGranularityX = 1;
    caps.OutputGranularityY = 1;
    // The one rate the pin delivers, whatever a caller asks for.
    caps.MinFrameInterval = kSampleDuration;
    caps.MaxFrameInterval = kSampleDuration;
    caps.MinBitsPerSecond = 0;
    caps.MaxBitsPerSecond = kCaptureWidth * kCaptureHeight * 24 * 30;
    return caps;
}

const AM_MEDIA_TYPE kOfferedMediaType = MakeOfferedMediaType();
const VIDEOINFOHEADER kOfferedVideoInfo = MakeOfferedVideoInfo();
const VIDEO_STREAM_CONFIG_CAPS kCaptureCaps = MakeCaptureCaps();

}  // namespace

const AM_MEDIA_TYPE& OfferedMediaType() {
    return kOfferedMediaType;
}

const VIDEOINFOHEADER& OfferedVideoInfo() {
    return kOfferedVideoInfo;
}

const VIDEO_STREAM_CONFIG_CAPS& CaptureCaps() {
    return kCaptureCaps;
}

AM_MEDIA_TYPE* CreateOfferedMediaType() {
    auto* header = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (header == nullptr) {
        return nullptr;
    }
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (type == nullptr) {
        CoTaskMemFree(header);
        return nullptr;
    }
    *header = kOfferedVideoInfo;
    *type = kOfferedMediaType;
    type->cbFormat = sizeof(VIDEOINFOHEADER);
    type->pbFormat = reinterpret_cast<BYTE*>(header);
    return type;
}

HRESULT CheckCaptureMediaType(const AM_MEDIA_TYPE* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    if (pmt->majortype != MEDIATYPE_Video || !pmt->bFixedSizeSamples ||
        pmt->subtype != MEDIASUBTYPE_RGB24) {
        return E_INVALIDARG;
    }
    // Only a whole VIDEOINFOHEADER may be read as one.
    if (pmt->formattype != FORMAT_VideoInfo || pmt->pbFormat == nullptr ||
        pmt->cbFormat < sizeof(VIDEOINFOHEADER)) {
        return E_INVALIDARG;
    }
    VIDEOINFOHEADER info;
    std::memcpy(&info, pmt->pbFormat, sizeof(info));
    const BITMAPINFOHEADER& bmi = info.bmiHeader;
    // The pin copies whole 480-pixel rows: any other size would show a
    // sheared picture.
    if (bmi.biWidth != kCaptureWidth) {
        return E_INVALIDARG;
    }
    if (bmi.biHeight != kCaptureHeight && bmi.biHeight != -kCaptureHeight) {
        return E_INVALIDARG;
    }
    const DWORD rowBytes = ((static_cast<DWORD>(bmi.biWidth) * bmi.biBitCount + 31) & ~31u) / 8;
    if (bmi.biSizeImage != rowBytes * static_cast<DWORD>(kCaptureHeight)) {
        return E_INVALIDARG;
    }
    if (bmi.biBitCount != 24 || bmi.biCompression != BI_RGB) {
        return E_INVALIDARG;
    }
    return S_OK;
}

bool IsTopDown(const AM_MEDIA_TYPE& type) {
    if (type.formattype != FORMAT_VideoInfo || type.pbFormat == nullptr ||
        type.cbFormat < sizeof(VIDEOINFOHEADER)) {
        return false;
    }
    VIDEOINFOHEADER info;
    std::memcpy(&info, type.pbFormat, sizeof(info));
    return info.bmiHeader.biHeight < 0;
}

}  // namespace pavix

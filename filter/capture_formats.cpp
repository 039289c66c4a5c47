#include "filter/capture_formats.h"

#include "filter/camera_sizes.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <cstdint>
#include <cstring>

namespace pavix {

// A FOURCC's media subtype: the FOURCC in the first field, then the fixed
// tail every FOURCC subtype shares.
#define PAVIX_FOURCC_SUBTYPE(a, b, c, d)                                                 \
    {static_cast<unsigned long>(MAKEFOURCC(a, b, c, d)), 0x0000, 0x0010,                 \
     {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}}
const GUID kSubtypeNV12 = PAVIX_FOURCC_SUBTYPE('N', 'V', '1', '2');
const GUID kSubtypeI420 = PAVIX_FOURCC_SUBTYPE('I', '4', '2', '0');
const GUID kSubtypeIYUV = PAVIX_FOURCC_SUBTYPE('I', 'Y', 'U', 'V');
const GUID kSubtypeYUY2 = PAVIX_FOURCC_SUBTYPE('Y', 'U', 'Y', '2');
#undef PAVIX_FOURCC_SUBTYPE

namespace {

static_assert(sizeof(VIDEOINFOHEADER) == 88, "the format block handed out is 88 bytes");
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128, "the capability record is 128 bytes");

using Size = CameraSize;

constexpr const Size (&kSizes)[kCameraSizeCount] = kCameraSizes;
// The same with 480 x 320 first, for RGB24.
constexpr Size kRgb24Sizes[] = {{480, 320}, {1280, 720}, {1920, 1080}, {640, 480}, {640, 360}};
constexpr CameraFormat kFormats[] = {CameraFormat::NV12, CameraFormat::I420, CameraFormat::YUY2,
                                     CameraFormat::RGB24, CameraFormat::RGB32};
constexpr int kSizeCount = sizeof(kSizes) / sizeof(kSizes[0]);
static_assert(kSizeCount * (sizeof(kFormats) / sizeof(kFormats[0])) == kCaptureTypeCount,
              "every size in every format");

struct FormatInfo {
    CameraFormat format;
    const GUID* subtype;
    WORD bitCount;
    DWORD compression;
};

const FormatInfo kFormatInfo[] = {
    {CameraFormat::NV12, &kSubtypeNV12, 12, MAKEFOURCC('N', 'V', '1', '2')},
    {CameraFormat::I420, &kSubtypeI420, 12, MAKEFOURCC('I', '4', '2', '0')},
    {CameraFormat::YUY2, &kSubtypeYUY2, 16, MAKEFOURCC('Y', 'U', 'Y', '2')},
    {CameraFormat::RGB24, &MEDIASUBTYPE_RGB24, 24, BI_RGB},
    {CameraFormat::RGB32, &MEDIASUBTYPE_RGB32, 32, BI_RGB},
};

const FormatInfo& InfoOf(CameraFormat format) {
    for (const FormatInfo& info : kFormatInfo) {
        if (info.format == format) {
            return info;
        }
    }
    return kFormatInfo[0];
}

bool IsRgb(CameraFormat format) {
    return format == CameraFormat::RGB24 || format == CameraFormat::RGB32;
}

bool IsOfferedSize(LONG width, LONG height) {
    for (const Size& size : kSizes) {
        if (size.width == width && size.height == height) {
            return true;
        }
    }
    return false;
}

// The format a subtype names, IYUV as I420; false for any other subtype.
bool FormatOfSubtype(const GUID& subtype, CameraFormat* format) {
    if (subtype == kSubtypeIYUV) {
        *format = CameraFormat::I420;
        return true;
    }
    for (const FormatInfo& info : kFormatInfo) {
        if (subtype == *info.subtype) {
            *format = info.format;
            return true;
        }
    }
    return false;
}

LONG ClampedBitRate(std::size_t imageSize, std::int64_t perSecond) {
    const std::int64_t bits = static_cast<std::int64_t>(imageSize) * 8 * perSecond;
    return bits > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<LONG>(bits);
}

}  // namespace

CameraType CaptureType(int index) {
    if (index < 0 || index >= kCaptureTypeCount) {
        return PreferredCaptureType();
    }
    const CameraFormat format = kFormats[index / kSizeCount];
    const Size& size =
        format == CameraFormat::RGB24 ? kRgb24Sizes[index % kSizeCount] : kSizes[index % kSizeCount];
    return {format, size.width, size.height, false};
}

CameraType PreferredCaptureType() {
    return {CameraFormat::NV12, 1280, 720, false};
}

AM_MEDIA_TYPE MediaTypeOf(const CameraType& type) {
    AM_MEDIA_TYPE media = {};
    media.majortype = MEDIATYPE_Video;
    media.subtype = *InfoOf(type.format).subtype;
    media.bFixedSizeSamples = TRUE;
    media.bTemporalCompression = FALSE;
    media.lSampleSize = static_cast<ULONG>(CameraImageSize(type));
    media.formattype = FORMAT_VideoInfo;
    return media;
}

VIDEOINFOHEADER VideoInfoOf(const CameraType& type) {
    const FormatInfo& format = InfoOf(type.format);
    VIDEOINFOHEADER info = {};
    // Empty source and target rectangles: the whole picture.
    info.AvgTimePerFrame = kSampleDuration;
    info.dwBitRate = static_cast<DWORD>(ClampedBitRate(CameraImageSize(type), 30));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = type.width;
    info.bmiHeader.biHeight = IsRgb(type.format) && type.topDown ? -type.height : type.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = format.bitCount;
    info.bmiHeader.biCompression = format.compression;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(CameraImageSize(type));
    return info;
}

VIDEO_STREAM_CONFIG_CAPS CapsOf(const CameraType& type) {
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    caps.guid = FORMAT_VideoInfo;
    caps.VideoStandard = 0;  // AnalogVideo_None
    // One size per record: the type's own, no cropping and no stretching.
    caps.InputSize = {type.width, type.height};
    caps.MinOutputSize = {type.width, type.height};
    caps.MaxOutputSize = {type.width, type.height};
    caps.OutputGranularityX = 1;
    caps.OutputGranularityY = 1;
    // A client may ask for any rate down to one a second; the pin delivers
    // pictures as they come, at most 30 a second.
    caps.MinFrameInterval = kSampleDuration;
    caps.MaxFrameInterval = kLongestFrameInterval;
    const std::size_t imageSize = CameraImageSize(type);
    caps.MinBitsPerSecond = ClampedBitRate(imageSize, 1);
    caps.MaxBitsPerSecond = ClampedBitRate(imageSize, 30);
    return caps;
}

AM_MEDIA_TYPE* CreateCaptureMediaType(const CameraType& type) {
    auto* header = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (header == nullptr) {
        return nullptr;
    }
    auto* media = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (media == nullptr) {
        CoTaskMemFree(header);
        return nullptr;
    }
    *header = VideoInfoOf(type);
    *media = MediaTypeOf(type);
    media->cbFormat = sizeof(VIDEOINFOHEADER);
    media->pbFormat = reinterpret_cast<BYTE*>(header);
    return media;
}

HRESULT CheckCaptureMediaType(const AM_MEDIA_TYPE* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    CameraType type;
    return CameraTypeOf(*pmt, &type) ? S_OK : E_INVALIDARG;
}

bool CameraTypeOf(const AM_MEDIA_TYPE& pmt, CameraType* type) {
    CameraFormat format;
    if (pmt.majortype != MEDIATYPE_Video || !pmt.bFixedSizeSamples ||
        !FormatOfSubtype(pmt.subtype, &format)) {
        return false;
    }
    // Only a whole VIDEOINFOHEADER may be read as one.
    if (pmt.formattype != FORMAT_VideoInfo || pmt.pbFormat == nullptr ||
        pmt.cbFormat < sizeof(VIDEOINFOHEADER)) {
        return false;
    }
    VIDEOINFOHEADER info;
    std::memcpy(&info, pmt.pbFormat, sizeof(info));
    const BITMAPINFOHEADER& bmi = info.bmiHeader;
    const bool rgb = IsRgb(format);
    // A top-down YUV picture has no agreed meaning: YUV heights are positive.
    if (!rgb && bmi.biHeight < 0) {
        return false;
    }
    const LONG height = bmi.biHeight < 0 ? -bmi.biHeight : bmi.biHeight;
    if (!IsOfferedSize(bmi.biWidth, height)) {
        return false;
    }
    // The format's own bits and compression: a sample laid out otherwise
    // would show a sheared or garbled picture. I420 may come as IYUV.
    const FormatInfo& expected = InfoOf(format);
    if (bmi.biBitCount != expected.bitCount) {
        return false;
    }
    const bool iyuv = format == CameraFormat::I420 && bmi.biCompression == MAKEFOURCC('I', 'Y', 'U', 'V');
    if (bmi.biCompression != expected.compression && !iyuv) {
        return false;
    }
    const CameraType accepted{format, static_cast<int>(bmi.biWidth), static_cast<int>(height),
                              rgb && bmi.biHeight < 0};
    const DWORD imageSize = static_cast<DWORD>(CameraImageSize(accepted));
    if (bmi.biSizeImage != imageSize && !(bmi.biSizeImage == 0 && !rgb)) {
        return false;
    }
    // 0 asks for the default rate.
    if (info.AvgTimePerFrame != 0 &&
        (info.AvgTimePerFrame < kSampleDuration || info.AvgTimePerFrame > kLongestFrameInterval)) {
        return false;
    }
    *type = accepted;
    return true;
}

bool SameCameraType(const CameraType& a, const CameraType& b) {
    return a.format == b.format && a.width == b.width && a.height == b.height &&
           a.topDown == b.topDown;
}

}  // namespace pavix

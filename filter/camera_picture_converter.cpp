#include "filter/camera_picture_converter.h"

#include <libyuv/convert.h>
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from.h>
#include <libyuv/scale.h>

#include <cstdint>

#include "shared/shared_frame_buffer.h"

// Colours: libyuv's RGB24ToI420 and I420ToRGB24/I420ToARGB both use BT.601
// with limited range (Y 16..235), the matrix webcams and capture
// applications assume for YUV, so a PavixShMem picture that goes
// RGB24 -> I420 -> RGB24 comes back as it was, give or take rounding.
// libyuv's "RGB24" and "ARGB" are B, G, R (, A) in memory: a DIB's order.

namespace pavix {
namespace {

// Whole-picture sizes stay far from overflow in a 32-bit size_t.
constexpr int kLargestSide = 8192;

bool IsUsableSize(int width, int height) {
    return width > 0 && height > 0 && width % 2 == 0 && height % 2 == 0 &&
           width <= kLargestSide && height <= kLargestSide;
}

std::size_t I420Size(int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3 / 2;
}

std::size_t RgbStride(int width, int bytesPerPixel) {
    return (static_cast<std::size_t>(width) * bytesPerPixel + 3) & ~static_cast<std::size_t>(3);
}

// An I420 picture of width x height laid out in one buffer, planes in a row.
struct I420Planes {
    std::uint8_t* y;
    std::uint8_t* u;
    std::uint8_t* v;
    int strideY;
    int strideUV;
};

I420Planes PlanesIn(std::uint8_t* buffer, int width, int height) {
    const std::size_t lumaSize = static_cast<std::size_t>(width) * height;
    const std::size_t chromaSize = lumaSize / 4;
    return {buffer, buffer + lumaSize, buffer + lumaSize + chromaSize, width, width / 2};
}

bool IsUsableSource(const I420Picture& source) {
    return source.y != nullptr && source.u != nullptr && source.v != nullptr &&
           IsUsableSize(source.width, source.height) && source.strideY >= source.width &&
           source.strideUV >= source.width / 2;
}

}  // namespace

const char* CameraFormatName(CameraFormat format) {
    switch (format) {
        case CameraFormat::NV12: return "NV12";
        case CameraFormat::I420: return "I420";
        case CameraFormat::YUY2: return "YUY2";
        case CameraFormat::RGB24: return "RGB24";
        case CameraFormat::RGB32: return "RGB32";
    }
    return "?";
}

std::size_t CameraImageSize(const CameraType& type) {
    if (!IsUsableSize(type.width, type.height)) {
        return 0;
    }
    const std::size_t height = static_cast<std::size_t>(type.height);
    switch (type.format) {
        case CameraFormat::NV12:
        case CameraFormat::I420:
            return I420Size(type.width, type.height);
        case CameraFormat::YUY2:
            return static_cast<std::size_t>(type.width) * 2 * height;
        case CameraFormat::RGB24:
            return RgbStride(type.width, 3) * height;
        case CameraFormat::RGB32:
            return RgbStride(type.width, 4) * height;
    }
    return 0;
}

CropRect CentreCrop(int width, int height, int targetWidth, int targetHeight) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    CropRect crop = {0, 0, width & ~1, height & ~1};
    if (targetWidth <= 0 || targetHeight <= 0) {
        return crop;
    }
    // Compared as width x targetHeight against targetWidth x height: no
    // rounding in the question which way the aspects differ.
    const std::int64_t sourceAcross = static_cast<std::int64_t>(width) * targetHeight;
    const std::int64_t targetAcross = static_cast<std::int64_t>(targetWidth) * height;
    if (sourceAcross > targetAcross) {
        // The source is wider: keep its height, take the middle columns.
        int keep = static_cast<int>(static_cast<std::int64_t>(height) * targetWidth / targetHeight);
        keep = keep & ~1;
        crop.width = keep < 2 ? 2 : keep;
        crop.x = ((width - crop.width) / 2) & ~1;
    } else if (sourceAcross < targetAcross) {
        // The source is taller: keep its width, take the middle rows.
        int keep = static_cast<int>(static_cast<std::int64_t>(width) * targetHeight / targetWidth);
        keep = keep & ~1;
        crop.height = keep < 2 ? 2 : keep;
        crop.y = ((height - crop.height) / 2) & ~1;
    }
    return crop;
}

CCameraPictureConverter::CCameraPictureConverter(const BlockAllocator& heap) : heap_(heap) {}

CCameraPictureConverter::~CCameraPictureConverter() {
    heap_.release(scratch_);
}

bool CCameraPictureConverter::ReserveScratch(std::size_t bytes) {
    if (bytes <= scratchSize_) {
        return true;
    }
    // The old contents are never needed again: no copy across.
    auto* grown = static_cast<std::uint8_t*>(heap_.allocate(bytes));
    if (grown == nullptr) {
        return false;
    }
    heap_.release(scratch_);
    scratch_ = grown;
    scratchSize_ = bytes;
    return true;
}

bool CCameraPictureConverter::FromI420(const I420Picture& source, const CameraType& type,
                                       std::uint8_t* sample, std::size_t size) {
    if (sample == nullptr || !IsUsableSource(source)) {
        return false;
    }
    const std::size_t imageSize = CameraImageSize(type);
    if (imageSize == 0 || size < imageSize) {
        return false;
    }
    if (!ReserveScratch(ScaledScratchSize(source, type))) {
        return false;
    }
    Convert(source, type, sample, scratch_);
    return true;
}

bool CCameraPictureConverter::FromSharedPixels(const std::uint8_t* pixels, const CameraType& type,
                                               std::uint8_t* sample, std::size_t size) {
    if (pixels == nullptr || sample == nullptr) {
        return false;
    }
    const std::size_t imageSize = CameraImageSize(type);
    if (imageSize == 0 || size < imageSize) {
        return false;
    }
    if (type.format == CameraFormat::RGB24 && type.width == kPictureWidth &&
        type.height == kPictureHeight) {
        // The block's own type: its rows as they are, as the camera always
        // delivered them.
        CopyPixelsToSample(pixels, sample, size,
                           type.topDown ? RowOrder::TopDown : RowOrder::BottomUp);
        return true;
    }
    // The block's picture as I420 at the front of the scratch memory, the
    // scaled one (when needed) behind it.
    const std::size_t sharedSize = I420Size(kPictureWidth, kPictureHeight);
    I420Picture shared;
    shared.width = kPictureWidth;
    shared.height = kPictureHeight;
    shared.strideY = kPictureWidth;
    shared.strideUV = kPictureWidth / 2;
    if (!ReserveScratch(sharedSize + ScaledScratchSize(shared, type))) {
        return false;
    }
    const I420Planes planes = PlanesIn(scratch_, kPictureWidth, kPictureHeight);
    shared.y = planes.y;
    shared.u = planes.u;
    shared.v = planes.v;
    // The block's rows go bottom-up: a negative height reads them from the
    // last row up, so the I420 picture has its top row first.
    libyuv::RGB24ToI420(pixels, static_cast<int>(kPictureStride), planes.y, planes.strideY,
                        planes.u, planes.strideUV, planes.v, planes.strideUV, kPictureWidth,
                        -kPictureHeight);
    Convert(shared, type, sample, scratch_ + sharedSize);
    return true;
}

std::size_t CCameraPictureConverter::ScaledScratchSize(const I420Picture& source,
                                                       const CameraType& type) {
    const CropRect crop = CentreCrop(source.width, source.height, type.width, type.height);
    // An I420 sample is scaled straight into; a picture of the type's own
    // size is converted straight from the source.
    if (type.format == CameraFormat::I420 ||
        (crop.width == type.width && crop.height == type.height)) {
        return 0;
    }
    return I420Size(type.width, type.height);
}

void CCameraPictureConverter::Convert(const I420Picture& source, const CameraType& type,
                                      std::uint8_t* sample, std::uint8_t* scaled) {
    const CropRect crop = CentreCrop(source.width, source.height, type.width, type.height);
    const std::uint8_t* y = source.y + static_cast<std::ptrdiff_t>(crop.y) * source.strideY + crop.x;
    const std::ptrdiff_t chromaOffset =
        static_cast<std::ptrdiff_t>(crop.y / 2) * source.strideUV + crop.x / 2;
    const std::uint8_t* u = source.u + chromaOffset;
    const std::uint8_t* v = source.v + chromaOffset;
    int strideY = source.strideY;
    int strideUV = source.strideUV;
    const int width = type.width;
    const int height = type.height;
    const bool sameSize = crop.width == width && crop.height == height;

    if (type.format == CameraFormat::I420) {
        const I420Planes out = PlanesIn(sample, width, height);
        if (sameSize) {
            libyuv::I420Copy(y, strideY, u, strideUV, v, strideUV, out.y, out.strideY, out.u,
                             out.strideUV, out.v, out.strideUV, width, height);
        } else {
            libyuv::I420Scale(y, strideY, u, strideUV, v, strideUV, crop.width, crop.height, out.y,
                              out.strideY, out.u, out.strideUV, out.v, out.strideUV, width, height,
                              libyuv::kFilterBilinear);
        }
        return;
    }
    if (!sameSize) {
        const I420Planes out = PlanesIn(scaled, width, height);
        libyuv::I420Scale(y, strideY, u, strideUV, v, strideUV, crop.width, crop.height, out.y,
                          out.strideY, out.u, out.strideUV, out.v, out.strideUV, width, height,
                          libyuv::kFilterBilinear);
        y = out.y;
        u = out.u;
        v = out.v;
        strideY = out.strideY;
        strideUV = out.strideUV;
    }
    // RGB rows go bottom-up unless the type says otherwise: a negative
    // height makes libyuv write the last row first.
    const int rgbHeight = type.topDown ? height : -height;
    switch (type.format) {
        case CameraFormat::NV12:
            libyuv::I420ToNV12(y, strideY, u, strideUV, v, strideUV, sample, width,
                               sample + static_cast<std::size_t>(width) * height, width, width,
                               height);
            break;
        case CameraFormat::YUY2:
            libyuv::I420ToYUY2(y, strideY, u, strideUV, v, strideUV, sample, width * 2, width,
                               height);
            break;
        case CameraFormat::RGB24:
            libyuv::I420ToRGB24(y, strideY, u, strideUV, v, strideUV, sample,
                                static_cast<int>(RgbStride(width, 3)), width, rgbHeight);
            break;
        case CameraFormat::RGB32:
            libyuv::I420ToARGB(y, strideY, u, strideUV, v, strideUV, sample,
                               static_cast<int>(RgbStride(width, 4)), width, rgbHeight);
            break;
        case CameraFormat::I420:
            break;
    }
}

}  // namespace pavix

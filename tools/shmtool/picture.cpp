#include "tools/shmtool/picture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shared/shared_frame_buffer.h"

namespace pavix::tools {
namespace {

uint16_t Read16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

bool Fail(std::string* error, const char* reason) {
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

}  // namespace

Picture QuadrantPicture(int width, int height) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.bgr.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int quadrant = (y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1);
            const Rgb& c = kQuadrantColours[quadrant];
            uint8_t* p = &picture.bgr[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    }
    return picture;
}

void QuadrantAverages(const Picture& picture, Rgb (&averages)[4]) {
    uint64_t sums[4][3] = {};
    uint64_t counts[4] = {};
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            int quadrant = (y < picture.height / 2 ? 0 : 2) + (x < picture.width / 2 ? 0 : 1);
            const uint8_t* p = picture.Pixel(x, y);
            sums[quadrant][0] += p[2];
            sums[quadrant][1] += p[1];
            sums[quadrant][2] += p[0];
            ++counts[quadrant];
        }
    }
    for (int q = 0; q < 4; ++q) {
        uint64_t n = counts[q] != 0 ? counts[q] : 1;
        averages[q] = {static_cast<uint8_t>(sums[q][0] / n), static_cast<uint8_t>(sums[q][1] / n),
                       static_cast<uint8_t>(sums[q][2] / n)};
    }
}

std::string FormatRgb(const Rgb& colour) {
    char text[8];
    std::snprintf(text, sizeof(text), "#%02x%02x%02x", colour.r, colour.g, colour.b);
    return text;
}

bool DecodeBmp(const std::vector<uint8_t>& file, Picture* picture, std::string* error) {
    const size_t kFileHeader = 14;
    if (file.size() < kFileHeader + 40 || file[0] != 'B' || file[1] != 'M') {
        return Fail(error, "not a BMP file");
    }
    const uint8_t* info = file.data() + kFileHeader;
    uint32_t pixelOffset = Read32(file.data() + 10);
    uint32_t infoSize = Read32(info);
    int32_t width = static_cast<int32_t>(Read32(info + 4));
    int32_t height = static_cast<int32_t>(Read32(info + 8));
    uint16_t bitCount = Read16(info + 14);
    uint32_t compression = Read32(info + 16);
    if (infoSize < 40 || infoSize > file.size() - kFileHeader) {
        return Fail(error, "bad bitmap header");
    }
    if (compression != 0 || (bitCount != 24 && bitCount != 32)) {
        return Fail(error, "only uncompressed 24- or 32-bit BMP files are read");
    }
    const int32_t kMaxSide = 16384;
    if (width <= 0 || width > kMaxSide || height == 0 || height > kMaxSide || height < -kMaxSide) {
        return Fail(error, "unsupported picture size");
    }
    bool topDown = height < 0;
    int rows = topDown ? -height : height;
    size_t bytesPerPixel = bitCount / 8;
    size_t stride = (static_cast<size_t>(width) * bytesPerPixel + 3) & ~static_cast<size_t>(3);
    if (pixelOffset > file.size() || stride * rows > file.size() - pixelOffset) {
        return Fail(error, "file shorter than its pixels");
    }
    picture->width = width;
    picture->height = rows;
    picture->bgr.assign(static_cast<size_t>(width) * rows * 3, 0);
    for (int y = 0; y < rows; ++y) {
        int fileRow = topDown ? y : rows - 1 - y;
        const uint8_t* src = file.data() + pixelOffset + stride * fileRow;
        uint8_t* dst = &picture->bgr[static_cast<size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            std::memcpy(dst + x * 3, src + x * bytesPerPixel, 3);
        }
    }
    return true;
}

std::vector<uint8_t> EncodeBmp(const Picture& picture) {
    size_t stride = (static_cast<size_t>(picture.width) * 3 + 3) & ~static_cast<size_t>(3);
    uint32_t imageSize = static_cast<uint32_t>(stride * picture.height);
    std::vector<uint8_t> out;
    out.reserve(54 + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + imageSize);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(picture.width));
    Put32(out, static_cast<uint32_t>(picture.height));  // bottom-up
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, imageSize);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = picture.height - 1; y >= 0; --y) {
        const uint8_t* row = &picture.bgr[static_cast<size_t>(y) * picture.width * 3];
        out.insert(out.end(), row, row + picture.width * 3);
        out.insert(out.end(), stride - picture.width * 3, 0);
    }
    return out;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* data) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    data->clear();
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), f)) > 0) {
        data->insert(data->end(), buffer, buffer + got);
    }
    bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

Picture ScalePicture(const Picture& picture, int width, int height) {
    Picture scaled;
    scaled.width = width;
    scaled.height = height;
    scaled.bgr.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        int sy = static_cast<int>(static_cast<int64_t>(y) * picture.height / height);
        for (int x = 0; x < width; ++x) {
            int sx = static_cast<int>(static_cast<int64_t>(x) * picture.width / width);
            std::memcpy(&scaled.bgr[(static_cast<size_t>(y) * width + x) * 3], picture.Pixel(sx, sy),
                        3);
        }
    }
    return scaled;
}

void PictureToPixelArea(const Picture& picture, uint8_t* area) {
    Picture scaled;
    const Picture* source = &picture;
    if (picture.width != kPictureWidth || picture.height != kPictureHeight) {
        scaled = ScalePicture(picture, kPictureWidth, kPictureHeight);
        source = &scaled;
    }
    for (int y = 0; y < kPictureHeight; ++y) {
        std::memcpy(area + (kPictureHeight - 1 - y) * kPictureStride,
                    &source->bgr[static_cast<size_t>(y) * kPictureStride], kPictureStride);
    }
}

Picture PixelAreaToPicture(const uint8_t* area) {
    Picture picture;
    picture.width = kPictureWidth;
    picture.height = kPictureHeight;
    picture.bgr.resize(kPixelAreaSize);
    for (int y = 0; y < kPictureHeight; ++y) {
        std::memcpy(&picture.bgr[static_cast<size_t>(y) * kPictureStride],
                    area + (kPictureHeight - 1 - y) * kPictureStride, kPictureStride);
    }
    return picture;
}

bool SampleToPicture(const uint8_t* sample, size_t size, int width, int height,
                     Picture* picture) {
    if (width <= 0 || height == 0) {
        return false;
    }
    bool topDown = height < 0;
    int rows = topDown ? -height : height;
    size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
    if (stride * rows > size) {
        return false;
    }
    picture->width = width;
    picture->height = rows;
    picture->bgr.resize(static_cast<size_t>(width) * rows * 3);
    for (int y = 0; y < rows; ++y) {
        int sampleRow = topDown ? y : rows - 1 - y;
        std::memcpy(&picture->bgr[static_cast<size_t>(y) * width * 3], sample + stride * sampleRow,
                    static_cast<size_t>(width) * 3);
    }
    return true;
}

}  // namespace pavix::tools

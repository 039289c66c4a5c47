#include "tests/support/jpeg_samples.h"

#include <cstdlib>

namespace pavix::testing {

JpegBytes CompressJpeg(const std::vector<std::uint8_t>& pixels, int width, int height,
                       int components, J_COLOR_SPACE colorSpace, int quality) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);  // a failure here ends the test program
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = colorSpace;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    for (int c = 0; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(pixels.data() + cinfo.next_scanline * rowBytes);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    JpegBytes jpeg(out, out + outSize);
    std::free(out);
    return jpeg;
}

std::vector<std::uint8_t> BlockPicture(int width, int height,
                                       const std::function<Rgb(int, int)>& colour) {
    std::vector<std::uint8_t> pixels;
    pixels.reserve(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb rgb = colour(x / 8, y / 8);
            pixels.insert(pixels.end(), {rgb.r, rgb.g, rgb.b});
        }
    }
    return pixels;
}

JpegBytes QuadrantJpeg() {
    return CompressJpeg(BlockPicture(16, 16, [](int x, int y) { return kQuadrantColours[y][x]; }),
                        16, 16, 3, JCS_RGB);
}

JpegBytes ColourJpeg(int width, int height) {
    const auto colour = [](int x, int y) {
        return Rgb{static_cast<std::uint8_t>(x * 37), static_cast<std::uint8_t>(y * 53),
                   static_cast<std::uint8_t>((x + y) * 29)};
    };
    return CompressJpeg(BlockPicture(width, height, colour), width, height, 3, JCS_RGB, 90);
}

JpegBytes GreyJpeg(int width, int height, const std::function<std::uint8_t(int, int)>& level) {
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) pixels.push_back(level(x / 8, y / 8));
    }
    return CompressJpeg(pixels, width, height, 1, JCS_GRAYSCALE);
}

JpegBytes CmykJpeg(int width, int height) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4, 0x40);
    return CompressJpeg(pixels, width, height, 4, JCS_CMYK);
}

std::size_t FindMarker(const JpegBytes& jpeg, std::uint8_t code) {
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code) return i;
    }
    return jpeg.size();
}

void SetFrameSize(JpegBytes* jpeg, std::uint16_t width, std::uint16_t height) {
    // FF C0, length (2), precision (1), height (2), width (2)
    const std::size_t sof = FindMarker(*jpeg, 0xC0);
    if (sof + 9 > jpeg->size()) std::abort();
    (*jpeg)[sof + 5] = static_cast<std::uint8_t>(height >> 8);
    (*jpeg)[sof + 6] = static_cast<std::uint8_t>(height & 0xFF);
    (*jpeg)[sof + 7] = static_cast<std::uint8_t>(width >> 8);
    (*jpeg)[sof + 8] = static_cast<std::uint8_t>(width & 0xFF);
}

}  // namespace pavix::testing

#include "shared/shared_frame_buffer.h"

#include <cstring>

namespace pavix {

int32_t ReadFrameWord(const void* view) {
    if (view == nullptr) {
        return STATUS_STARTUP;
    }
    // Offset 0 of a mapped view is page-aligned: one plain aligned load,
    // never torn. volatile keeps the compiler from caching it across samples.
    return *static_cast<const volatile int32_t*>(view);
}

void WriteFrameWord(void* view, int32_t frameWord) {
    *static_cast<volatile int32_t*>(view) = frameWord;
}

void CopyPictureToSample(const void* view, uint8_t* sample, std::size_t size, RowOrder order) {
    if (sample == nullptr || size == 0) {
        return;
    }
    if (view == nullptr) {
        std::memset(sample, 0, size);
        return;
    }
    const uint8_t* pixels = static_cast<const uint8_t*>(view) + kPixelAreaOffset;
    std::size_t copied;
    if (order == RowOrder::BottomUp) {
        copied = size < kPixelAreaSize ? size : kPixelAreaSize;
        std::memcpy(sample, pixels, copied);
    } else {
        // Row r of the sample is row (height - 1 - r) of the block. Only
        // whole rows are copied.
        std::size_t rows = size / kPictureStride;
        if (rows > static_cast<std::size_t>(kPictureHeight)) {
            rows = kPictureHeight;
        }
        for (std::size_t r = 0; r < rows; ++r) {
            std::memcpy(sample + r * kPictureStride,
                        pixels + (kPictureHeight - 1 - r) * kPictureStride, kPictureStride);
        }
        copied = rows * kPictureStride;
    }
    if (copied < size) {
        std::memset(sample + copied, 0, size - copied);
    }
}

#if defined(_WIN32)

int OpenSharedFrameBuffer(HANDLE* mapping, void** view) {
    *mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  static_cast<DWORD>(kSharedFrameBufferSize),
                                  kSharedFrameBufferName);
    if (*mapping == nullptr) {
        *view = nullptr;
        return 0;
    }
    *view = MapViewOfFile(*mapping, FILE_MAP_WRITE, 0, 0, 0);
    if (*view == nullptr) {
        CloseHandle(*mapping);
        *mapping = nullptr;
        return 0;
    }
    return 1;
}

void CloseSharedFrameBuffer(HANDLE* mapping, void** view) {
    if (*view != nullptr) {
        UnmapViewOfFile(*view);
        *view = nullptr;
    }
    if (*mapping != nullptr) {
        CloseHandle(*mapping);
        *mapping = nullptr;
    }
}

#endif

}  // namespace pavix

#include "shared/shared_frame_buffer.h"

#include <cstring>

#if defined(_WIN32)
#include "shared/shared_object_security.h"
#endif

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

// The sequence count lives in memory another process writes: the GCC and
// Clang atomic built-ins give aligned 32-bit loads and stores that the
// compiler keeps in order with the block's bytes around them (plain moves
// on x86, whose stores stay in order, as do its loads).
void WriteSharedPicture(void* view, volatile std::uint32_t* sequence, const uint8_t* pixels,
                        int32_t frameWord) {
    if (view == nullptr) {
        return;
    }
    std::uint32_t count = 0;
    if (sequence != nullptr) {
        count = (__atomic_load_n(sequence, __ATOMIC_RELAXED) + 1) | 1u;
        __atomic_store_n(sequence, count, __ATOMIC_RELAXED);
        __atomic_thread_fence(__ATOMIC_RELEASE);  // the odd count before the block
    }
    if (pixels != nullptr) {
        std::memcpy(static_cast<uint8_t*>(view) + kPixelAreaOffset, pixels, kPixelAreaSize);
    }
    // Readers look at the frame word first: it is stored last.
    __atomic_thread_fence(__ATOMIC_RELEASE);
    WriteFrameWord(view, frameWord);
    if (sequence != nullptr) {
        __atomic_store_n(sequence, count + 1, __ATOMIC_RELEASE);
    }
}

std::uint32_t ReadSequence(const volatile std::uint32_t* sequence) {
    return __atomic_load_n(sequence, __ATOMIC_ACQUIRE);
}

void CopyPictureToSample(const void* view, uint8_t* sample, std::size_t size, RowOrder order) {
    CopyPixelsToSample(view != nullptr ? static_cast<const uint8_t*>(view) + kPixelAreaOffset
                                       : nullptr,
                       sample, size, order);
}

void CopyPixelsToSample(const uint8_t* pixels, uint8_t* sample, std::size_t size, RowOrder order) {
    if (sample == nullptr || size == 0) {
        return;
    }
    if (pixels == nullptr) {
        std::memset(sample, 0, size);
        return;
    }
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

int OpenSharedSection(const char* name, std::size_t size, SharedAccess access, HANDLE* mapping,
                      void** view) {
    *mapping = nullptr;
    *view = nullptr;
    SharedObjectSecurity security;
    HANDLE section = nullptr;
    if (access == SharedAccess::ReadWrite) {
        section = CreateFileMappingA(INVALID_HANDLE_VALUE, security.Attributes(), PAGE_READWRITE, 0,
                                     static_cast<DWORD>(size), name);
        // Made by an older filter with its application's default security:
        // from now on it has ours (best effort; it works as it is).
        if (section != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
            security.ApplyTo(section);
        }
    } else {
        // A reader asks for read access only: that is all the shared
        // security grants a video application. When the section is not
        // there yet the reader makes it, with read-write pages for the
        // writer to come. Should another process make it between the two
        // calls, creating fails (the security refuses this process write
        // access) and opening it is tried again.
        for (int attempt = 0; section == nullptr && attempt < 3; ++attempt) {
            section = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
            if (section != nullptr || GetLastError() != ERROR_FILE_NOT_FOUND) break;
            section = CreateFileMappingA(INVALID_HANDLE_VALUE, security.Attributes(), PAGE_READWRITE,
                                         0, static_cast<DWORD>(size), name);
            if (section == nullptr && GetLastError() != ERROR_ACCESS_DENIED) break;
        }
    }
    // Exactly `size` bytes: a smaller section of that name is refused here
    // instead of being read past its end.
    return MapSectionView(section, size,
                          access == SharedAccess::ReadWrite ? FILE_MAP_WRITE : FILE_MAP_READ,
                          mapping, view);
}

int MapSectionView(HANDLE section, std::size_t size, DWORD access, HANDLE* mapping, void** view) {
    *mapping = nullptr;
    *view = nullptr;
    if (section == nullptr) {
        return 0;
    }
    void* mapped = MapViewOfFile(section, access, 0, 0, size);
    if (mapped == nullptr) {
        const DWORD error = GetLastError();
        CloseHandle(section);
        SetLastError(error);
        return 0;
    }
    *mapping = section;
    *view = mapped;
    return 1;
}

int OpenSharedFrameBuffer(HANDLE* mapping, void** view) {
    return OpenSharedSection(kSharedFrameBufferName, kSharedFrameBufferSize, SharedAccess::ReadWrite,
                             mapping, view);
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

#include "frames/preview_pictures.h"

#include <cstddef>

namespace pavix {

CPreviewPictures::CPreviewPictures(const BlockAllocator& heap) : heap_(heap) {}

CPreviewPictures::~CPreviewPictures() {
    for (std::uint8_t*& buffer : buffers_) {
        heap_.release(buffer);
        buffer = nullptr;
    }
}

bool CPreviewPictures::Init(int width, int height) {
    if (width <= 0 || height <= 0 || buffers_[0] != nullptr) return false;
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
    for (std::uint8_t*& buffer : buffers_) {
        buffer = static_cast<std::uint8_t*>(heap_.allocate(bytes));
        if (buffer != nullptr) continue;
        for (std::uint8_t*& taken : buffers_) {
            heap_.release(taken);
            taken = nullptr;
        }
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

int CPreviewPictures::Other(int a, int b) {
    for (int i = 0; i < kBuffers; ++i) {
        if (i != a && i != b) return i;
    }
    return -1;  // not reached: three buffers, two excluded at most
}

std::uint8_t* CPreviewPictures::BeginWrite() {
    if (buffers_[0] == nullptr) return nullptr;
    ScopedLock hold(lock_);
    writing_ = Other(newest_, reading_);
    return buffers_[writing_];
}

void CPreviewPictures::EndWrite() {
    ScopedLock hold(lock_);
    if (writing_ < 0) return;
    newest_ = writing_;
    writing_ = -1;
}

void CPreviewPictures::Clear() {
    ScopedLock hold(lock_);
    newest_ = -1;
}

const std::uint8_t* CPreviewPictures::BeginRead() {
    ScopedLock hold(lock_);
    if (newest_ < 0) return nullptr;
    reading_ = newest_;
    return buffers_[reading_];
}

void CPreviewPictures::EndRead() {
    ScopedLock hold(lock_);
    reading_ = -1;
}

}  // namespace pavix

#include "shared/shared_picture_reader.h"

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace pavix {

SharedPictureReader::SharedPictureReader(const BlockAllocator& heap)
    : heap_(heap),
      whole_(static_cast<std::uint8_t*>(heap.allocate(kPixelAreaSize))),
      trying_(static_cast<std::uint8_t*>(heap.allocate(kPixelAreaSize))) {}

SharedPictureReader::~SharedPictureReader() {
    heap_.release(whole_);
    heap_.release(trying_);
}

SharedPictureReader::Copied SharedPictureReader::CopyToSample(
    const void* view, const volatile std::uint32_t* sequence, std::uint8_t* sample,
    std::size_t size, RowOrder order) {
    const std::uint8_t* pixels =
        view != nullptr ? static_cast<const std::uint8_t*>(view) + kPixelAreaOffset : nullptr;
    if (pixels == nullptr || sequence == nullptr || whole_ == nullptr || trying_ == nullptr) {
        CopyPixelsToSample(pixels, sample, size, order);
        return Copied::Unchecked;
    }
    const bool fresh = TakeWholePicture(pixels, sequence);
    if (fresh || haveWhole_) {
        CopyPixelsToSample(whole_, sample, size, order);
        return fresh ? Copied::Whole : Copied::LastWhole;
    }
    // Nothing whole yet (a writer that died in the middle of a write leaves
    // the count odd for good): the block as it is.
    CopyPixelsToSample(pixels, sample, size, order);
    return Copied::Unchecked;
}

bool SharedPictureReader::TakeWholePicture(const std::uint8_t* pixels,
                                           const volatile std::uint32_t* sequence) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point giveUp = Clock::now() + std::chrono::microseconds(kWriterWaitUs);
    for (int copies = 0; copies < kTries;) {
        const std::uint32_t before = ReadSequence(sequence);
        if ((before & 1u) != 0) {
            if (Clock::now() > giveUp) return false;
            std::this_thread::yield();
            continue;
        }
        std::memcpy(trying_, pixels, kPixelAreaSize);
        // The copy's loads are done before the count is read again.
        __atomic_thread_fence(__ATOMIC_ACQUIRE);
        if (ReadSequence(sequence) == before) {
            std::swap(whole_, trying_);
            haveWhole_ = true;
            return true;
        }
        ++copies;
    }
    return false;
}

}  // namespace pavix

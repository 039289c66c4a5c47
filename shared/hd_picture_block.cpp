#include "shared/hd_picture_block.h"

#if defined(_WIN32)
#include "shared/hd_object_names.h"
#endif

namespace pavix {
namespace {

// Every field another process may read or write is reached through the GCC
// and Clang atomic built-ins, as the shared frame buffer's count is: aligned
// loads and stores the compiler keeps in order with the pictures around them.
template <typename T>
T Load(const T* field, int order = __ATOMIC_RELAXED) {
    return __atomic_load_n(field, order);
}

template <typename T>
void Store(T* field, T value, int order = __ATOMIC_RELAXED) {
    __atomic_store_n(field, value, order);
}

HdBlockHeader* Header(void* view) { return static_cast<HdBlockHeader*>(view); }
const HdBlockHeader* Header(const void* view) { return static_cast<const HdBlockHeader*>(view); }

HdPictureInfo* Record(void* view, std::uint32_t index) {
    return reinterpret_cast<HdPictureInfo*>(static_cast<std::uint8_t*>(view) + sizeof(HdBlockHeader)) +
           index;
}
const HdPictureInfo* Record(const void* view, std::uint32_t index) {
    return reinterpret_cast<const HdPictureInfo*>(static_cast<const std::uint8_t*>(view) +
                                                  sizeof(HdBlockHeader)) +
           index;
}

std::size_t BufferOffset(std::uint32_t index) { return kHdHeaderSize + index * kHdBufferSize; }

bool IsSideInRange(std::uint64_t side, int largest) {
    return side >= 2 && side <= static_cast<std::uint64_t>(largest) && side % 2 == 0;
}

// Whether the block was set up by a writer of this layout.
bool IsSetUp(const HdBlockHeader* header) {
    return Load(&header->magic, __ATOMIC_ACQUIRE) == kHdBlockMagic &&
           Load(&header->layoutVersion) == kHdLayoutVersion &&
           Load(&header->headerSize) == kHdHeaderSize && Load(&header->bufferCount) == kHdBufferCount &&
           Load(&header->bufferSize) == kHdBufferSize;
}

}  // namespace

void InitHdBlock(void* view, std::uint64_t clockFrequency, std::uint32_t writerProcessId) {
    HdBlockHeader* header = Header(view);
    // A block an earlier writer of this layout left keeps its newest
    // picture: a reader that is streaming goes on finding it. Anything else
    // starts empty.
    const bool kept = IsSetUp(header) && Load(&header->latest) < kHdBufferCount;
    if (!kept) Store(&header->latest, kHdNoPicture);
    Store(&header->layoutVersion, kHdLayoutVersion);
    Store(&header->headerSize, static_cast<std::uint32_t>(kHdHeaderSize));
    Store(&header->bufferCount, kHdBufferCount);
    Store(&header->bufferSize, static_cast<std::uint32_t>(kHdBufferSize));
    Store(&header->maxWidth, static_cast<std::uint32_t>(kHdMaxWidth));
    Store(&header->maxHeight, static_cast<std::uint32_t>(kHdMaxHeight));
    Store(&header->clockFrequency, clockFrequency);
    Store(&header->writerProcessId, writerProcessId);
    // Readers trust nothing before the magic: it goes last.
    Store(&header->magic, kHdBlockMagic, __ATOMIC_RELEASE);
}

bool FitHdPictureSize(int width, int height, int* fitWidth, int* fitHeight) {
    if (width <= 0 || height <= 0) return false;
    std::int64_t w = width;
    std::int64_t h = height;
    if (w > kHdMaxWidth || h > kHdMaxHeight) {
        // The side that is further over its bound decides the scale.
        if (w * kHdMaxHeight >= h * kHdMaxWidth) {
            h = h * kHdMaxWidth / w;
            w = kHdMaxWidth;
        } else {
            w = w * kHdMaxHeight / h;
            h = kHdMaxHeight;
        }
    }
    w &= ~std::int64_t{1};
    h &= ~std::int64_t{1};
    if (w < 2 || h < 2) return false;
    *fitWidth = static_cast<int>(w);
    *fitHeight = static_cast<int>(h);
    return true;
}

bool BeginHdPicture(void* view, int width, int height, HdPictureSlot* slot) {
    if (view == nullptr || slot == nullptr || width < 0 || height < 0 ||
        !IsSideInRange(static_cast<std::uint64_t>(width), kHdMaxWidth) ||
        !IsSideInRange(static_cast<std::uint64_t>(height), kHdMaxHeight)) {
        return false;
    }
    // Never the newest picture's buffer: that is the one readers copy.
    const std::uint32_t latest = Load(&Header(view)->latest);
    const std::uint32_t index = latest < kHdBufferCount ? (latest + 1) % kHdBufferCount : 0;
    HdPictureInfo* record = Record(view, index);
    // Odd while filling; a count a dead writer left odd moves on to a fresh
    // odd value, so a reader that saw the old one still notices.
    const std::uint32_t count = (Load(&record->sequence) + 1) | 1u;
    Store(&record->sequence, count);
    __atomic_thread_fence(__ATOMIC_RELEASE);  // the odd count before the pixels

    std::uint8_t* buffer = static_cast<std::uint8_t*>(view) + BufferOffset(index);
    slot->index = index;
    slot->width = width;
    slot->height = height;
    slot->strideY = width;
    slot->strideUV = width / 2;
    slot->y = buffer;
    slot->u = slot->y + static_cast<std::size_t>(slot->strideY) * height;
    slot->v = slot->u + static_cast<std::size_t>(slot->strideUV) * (height / 2);
    return true;
}

void EndHdPicture(void* view, const HdPictureSlot& slot, std::int32_t frameWord,
                  std::uint64_t pictureNumber, std::int64_t arrivalTime) {
    if (view == nullptr || slot.index >= kHdBufferCount) return;
    HdPictureInfo* record = Record(view, slot.index);
    Store(&record->frameWord, frameWord);
    Store(&record->width, static_cast<std::uint32_t>(slot.width));
    Store(&record->height, static_cast<std::uint32_t>(slot.height));
    Store(&record->strideY, static_cast<std::uint32_t>(slot.strideY));
    Store(&record->format, kHdFormatI420);
    Store(&record->pictureNumber, pictureNumber);
    Store(&record->arrivalTime, arrivalTime);
    // Even again once pixels and record are complete, then readers are
    // pointed at it.
    Store(&record->sequence, Load(&record->sequence) + 1, __ATOMIC_RELEASE);
    Store(&Header(view)->latest, slot.index, __ATOMIC_RELEASE);
}

bool FindLatestHdPicture(const void* view, HdPictureView* picture) {
    if (view == nullptr || picture == nullptr) return false;
    const HdBlockHeader* header = Header(view);
    if (!IsSetUp(header)) return false;
    const std::uint32_t index = Load(&header->latest, __ATOMIC_ACQUIRE);
    if (index >= kHdBufferCount) return false;
    const HdPictureInfo* record = Record(view, index);
    const std::uint32_t sequence = Load(&record->sequence, __ATOMIC_ACQUIRE);
    if (sequence % 2 != 0) return false;

    const std::uint64_t width = Load(&record->width);
    const std::uint64_t height = Load(&record->height);
    const std::uint64_t strideY = Load(&record->strideY);
    const std::uint32_t format = Load(&record->format);
    const std::int32_t frameWord = Load(&record->frameWord);
    const std::uint64_t pictureNumber = Load(&record->pictureNumber);
    const std::int64_t arrivalTime = Load(&record->arrivalTime);
    // The record as read must be the one the count vouches for.
    __atomic_thread_fence(__ATOMIC_ACQUIRE);
    if (Load(&record->sequence) != sequence) return false;

    // Every number from the block is checked before it becomes an address:
    // 64-bit arithmetic on 32-bit fields cannot overflow.
    if (format != kHdFormatI420 || !IsSideInRange(width, kHdMaxWidth) ||
        !IsSideInRange(height, kHdMaxHeight) || strideY < width || strideY % 2 != 0) {
        return false;
    }
    const std::uint64_t sizeY = strideY * height;
    const std::uint64_t sizeUV = (strideY / 2) * (height / 2);
    if (sizeY + 2 * sizeUV > kHdBufferSize) return false;

    const std::uint8_t* buffer = static_cast<const std::uint8_t*>(view) + BufferOffset(index);
    picture->index = index;
    picture->sequence = sequence;
    picture->y = buffer;
    picture->u = buffer + sizeY;
    picture->v = buffer + sizeY + sizeUV;
    picture->strideY = static_cast<int>(strideY);
    picture->strideUV = static_cast<int>(strideY / 2);
    picture->width = static_cast<int>(width);
    picture->height = static_cast<int>(height);
    picture->frameWord = frameWord;
    picture->pictureNumber = pictureNumber;
    picture->arrivalTime = arrivalTime;
    return true;
}

bool IsHdPictureUnchanged(const void* view, const HdPictureView& picture) {
    if (view == nullptr || picture.index >= kHdBufferCount) return false;
    // The copy's loads complete before the count is looked at again.
    __atomic_thread_fence(__ATOMIC_ACQUIRE);
    return Load(&Record(view, picture.index)->sequence) == picture.sequence;
}

bool IsHdPictureCurrent(std::int32_t hdFrameWord, std::int32_t sharedFrameWord) {
    // The HD block is written just before PavixShMem, by the same thread.
    constexpr std::int64_t kMostApart = 3;
    if (sharedFrameWord <= 0) return true;
    if (hdFrameWord <= 0) return false;
    const std::int64_t apart = static_cast<std::int64_t>(sharedFrameWord) - hdFrameWord;
    return apart >= -kMostApart && apart <= kMostApart;
}

std::uint64_t HdClockFrequency(const void* view) {
    if (view == nullptr || !IsSetUp(Header(view))) return 0;
    return Load(&Header(view)->clockFrequency);
}

#if defined(_WIN32)

int CreateHdPictureBlock(HANDLE* mapping, void** view, bool* global) {
    bool isGlobal = false;
    if (!CreateSharedObjectView(kHdPictureBlockName, kHdBlockSize, SharedObjectKind::PictureBlock,
                                true, mapping, view, &isGlobal)) {
        return 0;
    }
    LARGE_INTEGER frequency = {};
    QueryPerformanceFrequency(&frequency);
    InitHdBlock(*view, static_cast<std::uint64_t>(frequency.QuadPart), GetCurrentProcessId());
    if (global != nullptr) *global = isGlobal;
    return 1;
}

int OpenHdPictureBlock(HANDLE* mapping, void** view, bool* global) {
    bool isGlobal = false;
    if (!OpenSharedObjectView(kHdPictureBlockName, kHdBlockSize, false, mapping, view, &isGlobal)) {
        return 0;
    }
    if (global != nullptr) *global = isGlobal;
    return 1;
}

#endif

}  // namespace pavix

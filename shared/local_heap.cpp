#include "shared/local_heap.h"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace pavix {
namespace {

void* AllocateZeroed(std::size_t bytes) {
#if defined(_WIN32)
    return LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, bytes);
#else
    return std::calloc(1, bytes);
#endif
}

void Release(void* block) {
    if (block == nullptr) return;
#if defined(_WIN32)
    LocalFree(block);
#else
    std::free(block);
#endif
}

}  // namespace

const BlockAllocator& LocalHeap() {
    static const BlockAllocator heap{AllocateZeroed, Release};
    return heap;
}

}  // namespace pavix

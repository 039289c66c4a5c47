#pragma once

#include <cstddef>

namespace pavix {

// Where long-lived buffers come from: zero-filled blocks, null when the
// system has no memory left. The process uses LocalHeap(); tests hand in an
// allocator of their own to see how callers cope with a refusal.
struct BlockAllocator {
    void* (*allocate)(std::size_t bytes);  // zero-filled, or null
    void (*release)(void* block);          // accepts null
};

// The process's local heap (LocalAlloc with LMEM_ZEROINIT on Windows).
const BlockAllocator& LocalHeap();

}  // namespace pavix

#pragma once

#include <cstddef>

#include "shared/local_heap.h"

namespace pavix::testing {

// A heap that counts what it hands out and can be told to refuse. One per
// process, reset by each test that uses it.
struct CountingHeap {
    static const BlockAllocator& Get();
    static void Reset(int failFromCall = -1);  // -1: never refuse

    static int calls;        // allocation requests so far
    static int outstanding;  // blocks handed out and not yet released
    static std::size_t lastSize;
};

}  // namespace pavix::testing

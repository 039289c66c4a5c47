#include "tests/support/counting_heap.h"

namespace pavix::testing {
namespace {

int failFrom = -1;

void* Allocate(std::size_t bytes) {
    const int call = CountingHeap::calls++;
    CountingHeap::lastSize = bytes;
    if (failFrom >= 0 && call >= failFrom) return nullptr;
    void* block = LocalHeap().allocate(bytes);
    if (block != nullptr) ++CountingHeap::outstanding;
    return block;
}

void Release(void* block) {
    if (block == nullptr) return;
    --CountingHeap::outstanding;
    LocalHeap().release(block);
}

}  // namespace

int CountingHeap::calls = 0;
int CountingHeap::outstanding = 0;
std::size_t CountingHeap::lastSize = 0;

const BlockAllocator& CountingHeap::Get() {
    static const BlockAllocator heap{Allocate, Release};
    return heap;
}

void CountingHeap::Reset(int failFromCall) {
    calls = 0;
    outstanding = 0;
    lastSize = 0;
    failFrom = failFromCall;
}

}  // namespace pavix::testing

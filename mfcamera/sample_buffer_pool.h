#pragma once

// Media buffers for a stream's samples, out of memory used again: a new
// 1.4 MB buffer a picture (Media Foundation's own, MFCreateMemoryBuffer)
// costs several times what the picture itself does, its pages mapped,
// zeroed and unmapped every time. A buffer gives its memory back to the
// pool when the last reference to it goes, whoever holds it then (the
// application, the Frame Server); the pool lives until its last buffer has.

#include <windows.h>
#include <mfobjects.h>

#include <vector>
#include "shared/critical_section.h"

namespace pavix {

class CSampleBufferPool {
public:
    // A pool holding one reference, the caller's.
    static CSampleBufferPool* Create();
    void AddRef();
    void Release();

    // A buffer of `size` bytes (its current length 0).
    HRESULT NewBuffer(DWORD size, IMFMediaBuffer** buffer);

    // Blocks kept for use again, at most; more are freed.
    static constexpr size_t kMostFreeBlocks = 6;

private:
    friend class CPooledBuffer;
    CSampleBufferPool();
    ~CSampleBufferPool();
    BYTE* Take(DWORD size);
    void Give(BYTE* block, DWORD size);

    LONG m_refs = 1;
    CriticalSection m_lock;
    DWORD m_blockSize = 0;       // the size the free blocks have
    std::vector<BYTE*> m_free;
};

}  // namespace pavix

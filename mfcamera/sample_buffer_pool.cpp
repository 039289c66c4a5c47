#include "mfcamera/sample_buffer_pool.h"

#include <mferror.h>

#include <new>

#include "mfcamera/com_object.h"

namespace pavix {

// One buffer: a block of the pool's and its current length.
class CPooledBuffer final : public CComObject<IMFMediaBuffer> {
public:
    CPooledBuffer(CSampleBufferPool* pool, BYTE* block, DWORD size)
        : m_pool(pool), m_block(block), m_size(size) {
        m_pool->AddRef();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return AnswerFor(riid, ppv, {IID_IMFMediaBuffer});
    }

    STDMETHODIMP Lock(BYTE** buffer, DWORD* maxLength, DWORD* currentLength) override {
        if (buffer == nullptr) return E_POINTER;
        *buffer = m_block;
        if (maxLength != nullptr) *maxLength = m_size;
        if (currentLength != nullptr) *currentLength = m_length;
        return S_OK;
    }
    STDMETHODIMP Unlock() override { return S_OK; }
    STDMETHODIMP GetCurrentLength(DWORD* length) override {
        if (length == nullptr) return E_POINTER;
        *length = m_length;
        return S_OK;
    }
    STDMETHODIMP SetCurrentLength(DWORD length) override {
        if (length > m_size) return E_INVALIDARG;
        m_length = length;
        return S_OK;
    }
    STDMETHODIMP GetMaxLength(DWORD* length) override {
        if (length == nullptr) return E_POINTER;
        *length = m_size;
        return S_OK;
    }

private:
    ~CPooledBuffer() override {
        m_pool->Give(m_block, m_size);
        m_pool->Release();
    }

    CSampleBufferPool* m_pool;
    BYTE* m_block;
    DWORD m_size;
    DWORD m_length = 0;
};

CSampleBufferPool* CSampleBufferPool::Create() { return new (std::nothrow) CSampleBufferPool(); }

CSampleBufferPool::CSampleBufferPool() = default;

CSampleBufferPool::~CSampleBufferPool() {
    for (BYTE* block : m_free) VirtualFree(block, 0, MEM_RELEASE);
}

void CSampleBufferPool::AddRef() { InterlockedIncrement(&m_refs); }

void CSampleBufferPool::Release() {
    if (InterlockedDecrement(&m_refs) == 0) delete this;
}

BYTE* CSampleBufferPool::Take(DWORD size) {
    BYTE* block = nullptr;
    {
        ScopedLock lock(m_lock);
        if (size == m_blockSize && !m_free.empty()) {
            block = m_free.back();
            m_free.pop_back();
        }
    }
    if (block == nullptr) {
        block = static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    return block;
}

void CSampleBufferPool::Give(BYTE* block, DWORD size) {
    bool kept = false;
    {
        ScopedLock lock(m_lock);
        if (size != m_blockSize) {
            // The stream's type changed: blocks of the old size are no use.
            for (BYTE* old : m_free) VirtualFree(old, 0, MEM_RELEASE);
            m_free.clear();
            m_blockSize = size;
        }
        kept = m_free.size() < kMostFreeBlocks;
        if (kept) m_free.push_back(block);
    }
    if (!kept) VirtualFree(block, 0, MEM_RELEASE);
}

HRESULT CSampleBufferPool::NewBuffer(DWORD size, IMFMediaBuffer** buffer) {
    if (buffer == nullptr) return E_POINTER;
    *buffer = nullptr;
    BYTE* block = size == 0 ? nullptr : Take(size);
    if (block == nullptr) return E_OUTOFMEMORY;
    auto* created = new (std::nothrow) CPooledBuffer(this, block, size);
    if (created == nullptr) {
        Give(block, size);
        return E_OUTOFMEMORY;
    }
    *buffer = created;
    return S_OK;
}

}  // namespace pavix

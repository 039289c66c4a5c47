// The stream's sample memory, used again.

#include <windows.h>
#include <mfobjects.h>

#include <gtest/gtest.h>

#include "mfcamera/sample_buffer_pool.h"
#include "shared/com_ref.h"

using pavix::ComRef;
using pavix::CSampleBufferPool;

namespace {

BYTE* BlockOf(IMFMediaBuffer* buffer) {
    BYTE* block = nullptr;
    DWORD most = 0;
    buffer->Lock(&block, &most, nullptr);
    buffer->Unlock();
    return block;
}

TEST(SampleBufferPool, GivesBlocksBackOfTheSizeAskedForAndOutlivesItsOwner) {
    CSampleBufferPool* pool = CSampleBufferPool::Create();
    ASSERT_NE(pool, nullptr);
    const DWORD size = 1280 * 720 * 3 / 2;

    ComRef<IMFMediaBuffer> first;
    ASSERT_EQ(pool->NewBuffer(size, first.Put()), S_OK);
    DWORD most = 0, length = 99;
    EXPECT_EQ(first->GetMaxLength(&most), S_OK);
    EXPECT_EQ(most, size);
    EXPECT_EQ(first->GetCurrentLength(&length), S_OK);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(first->SetCurrentLength(size + 1), E_INVALIDARG);
    EXPECT_EQ(first->SetCurrentLength(size), S_OK);
    BYTE* block = BlockOf(first.Get());
    block[size - 1] = 7;  // all of it is there to write

    // Released, its block serves the next buffer of that size...
    first.Reset();
    ComRef<IMFMediaBuffer> second;
    ASSERT_EQ(pool->NewBuffer(size, second.Put()), S_OK);
    EXPECT_EQ(BlockOf(second.Get()), block);
    ComRef<IMFMediaBuffer> third;
    ASSERT_EQ(pool->NewBuffer(size, third.Put()), S_OK);
    EXPECT_NE(BlockOf(third.Get()), block) << "one block for two buffers at once";

    // ...but not one of another size (the stream's type changed).
    second.Reset();
    ComRef<IMFMediaBuffer> other;
    ASSERT_EQ(pool->NewBuffer(640 * 480 * 2, other.Put()), S_OK);
    EXPECT_NE(BlockOf(other.Get()), block);

    // The stream goes; buffers an application still holds stay good.
    pool->Release();
    BlockOf(third.Get())[size - 1] = 9;
    EXPECT_EQ(third->SetCurrentLength(size), S_OK);
}

}  // namespace

// The named sections both programs create or open: the block and its
// sequence section, how each side maps them, and the security they get.
// Wine keeps an object's access list but neither its integrity label nor
// any integrity check, and gives an owner its implicit rights whatever the
// OWNER RIGHTS entry says: the access list is read back from the live object
// and tried with AccessCheck for a filtered administrator's token (the
// Administrators group deny-only, as in a video application that is not
// elevated); the label is checked in the descriptor the programs create
// them with, and on the live object where the system keeps it.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shared/shared_frame_buffer.h"
#include "shared/shared_object_security.h"
#include "tests/filter/support/shared_block.h"
#include "tests/support/object_security.h"

namespace pavix::testing {
namespace {

TEST(SharedBlockOpen, FirstOpenerCreatesAZeroBlockOthersShareIt) {
    HANDLE first = nullptr;
    void* firstView = nullptr;
    ASSERT_EQ(1, OpenSharedFrameBuffer(&first, &firstView));
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, firstView);
    const auto* bytes = static_cast<const uint8_t*>(firstView);
    // Fresh (no one else in this test run holds it): all zero.
    for (size_t i = 0; i < kSharedFrameBufferSize; ++i) {
        ASSERT_EQ(0, bytes[i]) << "byte " << i;
    }
    MEMORY_BASIC_INFORMATION region;
    ASSERT_NE(0u, VirtualQuery(firstView, &region, sizeof(region)));
    EXPECT_GE(region.RegionSize, kSharedFrameBufferSize);
    EXPECT_EQ(static_cast<DWORD>(PAGE_READWRITE), region.Protect);

    HANDLE second = nullptr;
    void* secondView = nullptr;
    ASSERT_EQ(1, OpenSharedFrameBuffer(&second, &secondView));
    EXPECT_NE(firstView, secondView);
    WriteFrameWord(secondView, 1234);
    static_cast<uint8_t*>(secondView)[kPixelAreaOffset] = 0x5A;
    EXPECT_EQ(1234, ReadFrameWord(firstView));
    EXPECT_EQ(0x5A, bytes[kPixelAreaOffset]);

    CloseSharedFrameBuffer(&second, &secondView);
    EXPECT_EQ(nullptr, second);
    EXPECT_EQ(nullptr, secondView);
    // The block lives on while one side holds it.
    EXPECT_EQ(1234, ReadFrameWord(firstView));
    CloseSharedFrameBuffer(&first, &firstView);

    // Once nobody holds it, it is gone: the next opener starts afresh.
    ASSERT_EQ(1, OpenSharedFrameBuffer(&first, &firstView));
    EXPECT_EQ(0, ReadFrameWord(firstView));
    CloseSharedFrameBuffer(&first, &firstView);
}

TEST(SharedBlockOpen, FailureLeavesNothingOpen) {
    BlockNameTaken taken;
    ASSERT_TRUE(taken.Taken()) << "another process holds the shared block";
    HANDLE mapping = reinterpret_cast<HANDLE>(1);
    void* view = reinterpret_cast<void*>(1);
    EXPECT_EQ(0, OpenSharedFrameBuffer(&mapping, &view));
    EXPECT_EQ(nullptr, mapping);
    EXPECT_EQ(nullptr, view);
}

TEST(SharedBlockOpen, ReaderMapsForReadingAndCreatesWhatIsMissing) {
    // No writer yet: the reader makes the block, zero-filled, and maps it
    // read-only.
    HANDLE reader = nullptr;
    void* readerView = nullptr;
    ASSERT_EQ(1, OpenSharedSection(kSharedFrameBufferName, kSharedFrameBufferSize, SharedAccess::Read,
                                   &reader, &readerView));
    MEMORY_BASIC_INFORMATION region;
    ASSERT_NE(0u, VirtualQuery(readerView, &region, sizeof(region)));
    EXPECT_EQ(static_cast<DWORD>(PAGE_READONLY), region.Protect);
    EXPECT_EQ(0, ReadFrameWord(readerView));
    // The writer that comes later writes into the same block.
    HANDLE writer = nullptr;
    void* writerView = nullptr;
    ASSERT_EQ(1, OpenSharedFrameBuffer(&writer, &writerView));
    WriteSharedPicture(writerView, nullptr, nullptr, 77);
    EXPECT_EQ(77, ReadFrameWord(readerView));
    CloseSharedFrameBuffer(&writer, &writerView);
    CloseSharedFrameBuffer(&reader, &readerView);

    // A section of that name smaller than the block is refused by both
    // sides, never read past its end.
    HANDLE small = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                      kSharedFrameBufferName);
    ASSERT_NE(nullptr, small);
    for (SharedAccess access : {SharedAccess::Read, SharedAccess::ReadWrite}) {
        HANDLE mapping = nullptr;
        void* view = nullptr;
        EXPECT_EQ(0, OpenSharedSection(kSharedFrameBufferName, kSharedFrameBufferSize, access,
                                       &mapping, &view));
        EXPECT_EQ(nullptr, view);
    }
    CloseHandle(small);
}

TEST(SharedObjectSecurity, EveryoneSignedInMayReadOnlyAdministratorsAndSystemWrite) {
    // The descriptor the programs create with: that access list, and a Low
    // label that refuses writes from below (0x1000 = Low, 1 = no write up).
    SharedObjectSecurity security;
    ASSERT_NE(nullptr, security.Attributes());
    EXPECT_EQ("AU:20005 BA:f001f SY:f001f OW:20005 ", Entries(security.Descriptor()));
    EXPECT_EQ("4096/1", Label(security.Descriptor()));

    HANDLE user = CheckToken(false);
    HANDLE administrator = CheckToken(true);
    ASSERT_NE(nullptr, user);
    ASSERT_NE(nullptr, administrator);
    struct Case {
        const char* name;
        std::size_t size;
        SharedAccess creator;
    } cases[] = {
        {kSharedFrameBufferName, kSharedFrameBufferSize, SharedAccess::ReadWrite},
        {kSharedFrameBufferName, kSharedFrameBufferSize, SharedAccess::Read},
        {kFrameSequenceName, kFrameSequenceSize, SharedAccess::ReadWrite},
        {kFrameSequenceName, kFrameSequenceSize, SharedAccess::Read},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.name) +
                                 (c.creator == SharedAccess::Read ? " made by a reader" : " made by the writer");
        HANDLE mapping = nullptr;
        void* view = nullptr;
        ASSERT_EQ(1, OpenSharedSection(c.name, c.size, c.creator, &mapping, &view)) << what;
        LiveDescriptor live(mapping);
        ASSERT_EQ(0u, live.error) << what;
        EXPECT_EQ("AU:20005 BA:f001f SY:f001f OW:20005 ", Entries(live.descriptor)) << what << ": " << live.Text();
        const std::string label = Label(live.descriptor);
        if (!label.empty()) {  // Windows keeps it; Wine does not
            EXPECT_EQ("4096/1", label) << what;
        }

        EXPECT_EQ(static_cast<DWORD>(SECTION_MAP_READ), Granted(live.descriptor, user, SECTION_MAP_READ)) << what;
        EXPECT_EQ(0u, Granted(live.descriptor, user, SECTION_MAP_WRITE)) << what;
        EXPECT_EQ(static_cast<DWORD>(SECTION_MAP_WRITE), Granted(live.descriptor, administrator, SECTION_MAP_WRITE))
            << what;
        CloseSharedFrameBuffer(&mapping, &view);
    }
    CloseHandle(user);
    CloseHandle(administrator);
}

TEST(SharedObjectSecurity, TheWriterPutsItOnABlockAnOlderFilterMade) {
    // An older filter made the block with its application's default
    // security.
    HANDLE older = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(kSharedFrameBufferSize), kSharedFrameBufferName);
    ASSERT_NE(nullptr, older);
    EXPECT_NE("AU:20005 BA:f001f SY:f001f OW:20005 ", Entries(LiveDescriptor(older).descriptor));
    HANDLE mapping = nullptr;
    void* view = nullptr;
    ASSERT_EQ(1, OpenSharedFrameBuffer(&mapping, &view));
    EXPECT_EQ("AU:20005 BA:f001f SY:f001f OW:20005 ", Entries(LiveDescriptor(older).descriptor));
    CloseSharedFrameBuffer(&mapping, &view);
    CloseHandle(older);
}

}  // namespace
}  // namespace pavix::testing

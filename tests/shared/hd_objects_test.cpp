// The HD camera's named objects as pavix.exe creates them and a camera
// opens them: the picture block (cameras read), the request section
// (cameras write their slot) and the new-picture events (cameras wait).
// Wine enforces neither integrity labels nor the access lists themselves:
// each object's access list is read back from the live object and tried
// with AccessCheck for a filtered administrator's token, as a video
// application that is not elevated has. What a camera's handle may do is
// tried where Wine checks handle rights.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shared/hd_camera_request.h"
#include "shared/hd_picture_block.h"
#include "shared/shared_frame_buffer.h"
#include "shared/shared_object_security.h"
#include "tests/support/object_security.h"

namespace pavix::testing {
namespace {

// The writer's objects, made as pavix.exe makes them, for one test.
struct WriterObjects {
    WriterObjects() {
        created = CreateHdPictureBlock(&blockMapping, &block, &global) == 1 &&
                  CreateHdRequestSection(global, &requestMapping, &requests) == 1;
        CreateHdReadyEvents(global, events);
    }
    ~WriterObjects() {
        for (HANDLE event : events) {
            if (event != nullptr) CloseHandle(event);
        }
        CloseSharedFrameBuffer(&requestMapping, &requests);
        CloseSharedFrameBuffer(&blockMapping, &block);
    }
    bool created = false;
    bool global = false;
    HANDLE blockMapping = nullptr;
    void* block = nullptr;
    HANDLE requestMapping = nullptr;
    void* requests = nullptr;
    HANDLE events[kRequestSlots] = {};
};

TEST(HdObjects, EachKindGrantsReadersWhatTheirUseNeedsAndNoMore) {
    WriterObjects writer;
    ASSERT_TRUE(writer.created) << GetLastError();
    for (HANDLE event : writer.events) ASSERT_NE(nullptr, event);
    HANDLE user = CheckToken(false);
    HANDLE administrator = CheckToken(true);
    ASSERT_NE(nullptr, user);
    ASSERT_NE(nullptr, administrator);

    const struct {
        const char* what;
        HANDLE object;
        SharedObjectKind kind;
        const char* entries;
        const GENERIC_MAPPING& mapping;
        DWORD readerMay;     // granted to a camera
        DWORD readerMayNot;  // refused to a camera, granted to pavix.exe
    } cases[] = {
        {"picture block", writer.blockMapping, SharedObjectKind::PictureBlock,
         "AU:20005 LS:20005 BA:f001f SY:f001f OW:20005 ", kSectionMapping, SECTION_MAP_READ,
         SECTION_MAP_WRITE},
        {"request section", writer.requestMapping, SharedObjectKind::RequestSection,
         "AU:20007 LS:20007 BA:f001f SY:f001f OW:20007 ", kSectionMapping,
         SECTION_MAP_READ | SECTION_MAP_WRITE, SECTION_EXTEND_SIZE},
        {"ready event 0", writer.events[0], SharedObjectKind::ReadyEvent,
         "AU:100000 LS:100000 BA:1f0003 SY:1f0003 OW:100000 ", kEventMapping, SYNCHRONIZE,
         EVENT_MODIFY_STATE},
        {"ready event 15", writer.events[15], SharedObjectKind::ReadyEvent,
         "AU:100000 LS:100000 BA:1f0003 SY:1f0003 OW:100000 ", kEventMapping, SYNCHRONIZE,
         EVENT_MODIFY_STATE},
    };
    for (const auto& c : cases) {
        SharedObjectSecurity security(c.kind);
        ASSERT_NE(nullptr, security.Attributes()) << c.what;
        EXPECT_EQ(c.entries, Entries(security.Descriptor())) << c.what;
        EXPECT_EQ("4096/1", Label(security.Descriptor())) << c.what;

        LiveDescriptor live(c.object);
        ASSERT_EQ(0u, live.error) << c.what;
        EXPECT_EQ(c.entries, Entries(live.descriptor)) << c.what << ": " << live.Text();
        EXPECT_EQ(c.readerMay, Granted(live.descriptor, user, c.readerMay, c.mapping)) << c.what;
        EXPECT_EQ(0u, Granted(live.descriptor, user, c.readerMayNot, c.mapping)) << c.what;
        EXPECT_EQ(c.readerMayNot, Granted(live.descriptor, administrator, c.readerMayNot, c.mapping))
            << c.what;
    }
    // The frame buffer's objects keep theirs.
    SharedObjectSecurity frameBuffer;
    EXPECT_EQ("AU:20005 BA:f001f SY:f001f OW:20005 ", Entries(frameBuffer.Descriptor()));
    CloseHandle(user);
    CloseHandle(administrator);
}

TEST(HdObjects, ACameraFindsThemReadsPicturesClaimsASlotAndWaits) {
    HANDLE mapping = nullptr;
    void* view = nullptr;
    bool global = false;
    EXPECT_EQ(0, OpenHdPictureBlock(&mapping, &view, &global)) << "a camera never creates the block";
    EXPECT_EQ(0, OpenHdRequestSection(&mapping, &view));
    EXPECT_EQ(nullptr, OpenHdReadyEvent(0));

    WriterObjects writer;
    ASSERT_TRUE(writer.created) << GetLastError();
    HdPictureSlot slot;
    ASSERT_TRUE(BeginHdPicture(writer.block, 640, 360, &slot));
    slot.y[0] = 0x42;
    EndHdPicture(writer.block, slot, 17, 1, 1234);

    // The block: read-only pages with the writer's picture in them.
    ASSERT_EQ(1, OpenHdPictureBlock(&mapping, &view, &global));
    EXPECT_EQ(writer.global, global);
    RecordProperty("global", global ? "yes" : "no");
    MEMORY_BASIC_INFORMATION region;
    ASSERT_NE(0u, VirtualQuery(view, &region, sizeof(region)));
    EXPECT_EQ(static_cast<DWORD>(PAGE_READONLY), region.Protect);
    HdPictureView picture;
    ASSERT_TRUE(FindLatestHdPicture(view, &picture));
    EXPECT_EQ(640, picture.width);
    EXPECT_EQ(17, picture.frameWord);
    EXPECT_EQ(0x42, picture.y[0]);
    EXPECT_NE(0u, HdClockFrequency(view));
    CloseSharedFrameBuffer(&mapping, &view);

    // The request section: the camera's claim is what pavix.exe reads.
    ASSERT_EQ(1, OpenHdRequestSection(&mapping, &view));
    const std::uint32_t ticket = NewRequestTicket(GetCurrentProcessId());
    const int claimed = ClaimRequestSlot(view, ticket, 1280, 720, GetTickCount64());
    ASSERT_GE(claimed, 0);
    const CameraRequest request = ReadCameraRequest(writer.requests, GetTickCount64());
    EXPECT_EQ(1u << claimed, request.liveSlots);
    EXPECT_EQ(1280, request.width);
    ReleaseRequestSlot(view, claimed, ticket);
    CloseSharedFrameBuffer(&mapping, &view);

    // The event: the camera wakes when pavix.exe signals it, and may not
    // signal it itself.
    HANDLE ready = OpenHdReadyEvent(claimed);
    ASSERT_NE(nullptr, ready);
    ASSERT_TRUE(SetEvent(writer.events[claimed]));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(ready, 0)) << "auto-reset";
    EXPECT_FALSE(SetEvent(ready));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseHandle(ready);
}

}  // namespace
}  // namespace pavix::testing

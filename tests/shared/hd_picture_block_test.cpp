// The HD picture block's rules, on a block in ordinary memory: what the
// writer leaves for readers, that it never fills the buffer they copy, that
// a reader notices a writer it met, and that a record lying about its
// picture is never turned into addresses outside the block.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "shared/hd_picture_block.h"

namespace pavix::testing {
namespace {

class HdBlock : public ::testing::Test {
protected:
    void SetUp() override { InitHdBlock(view(), 10000000, 1234); }
    void* view() { return words_.data(); }
    HdBlockHeader* header() { return static_cast<HdBlockHeader*>(view()); }
    HdPictureInfo* record(std::uint32_t index) {
        return reinterpret_cast<HdPictureInfo*>(bytes() + sizeof(HdBlockHeader)) + index;
    }
    // One whole picture whose Y plane is `shade`, as the engine writes one.
    HdPictureSlot Publish(int width, int height, std::uint8_t shade, std::uint64_t number) {
        HdPictureSlot slot;
        EXPECT_TRUE(BeginHdPicture(view(), width, height, &slot));
        std::memset(slot.y, shade, static_cast<std::size_t>(slot.strideY) * height);
        EndHdPicture(view(), slot, static_cast<std::int32_t>(number), number,
                     static_cast<std::int64_t>(number) * 100);
        return slot;
    }

    std::uint8_t* bytes() { return reinterpret_cast<std::uint8_t*>(words_.data()); }

    // uint64_t elements: the fields' alignment, as a mapped view has it.
    std::vector<std::uint64_t> words_ = std::vector<std::uint64_t>(kHdBlockSize / 8);
};

TEST_F(HdBlock, APictureIsFoundAsWrittenWithItsPlanesInItsBuffer) {
    HdPictureView none;
    EXPECT_FALSE(FindLatestHdPicture(view(), &none)) << "no picture before the first";
    EXPECT_EQ(10000000u, HdClockFrequency(view()));

    const struct {
        int width, height;
    } sizes[] = {{2, 2}, {480, 320}, {1280, 720}, {1920, 1080}};
    std::uint64_t number = 0;
    for (const auto& size : sizes) {
        const HdPictureSlot slot = Publish(size.width, size.height, 0x5A, ++number);
        HdPictureView found;
        ASSERT_TRUE(FindLatestHdPicture(view(), &found)) << size.width << "x" << size.height;
        const std::uint8_t* buffer = bytes() + kHdHeaderSize + slot.index * kHdBufferSize;
        EXPECT_EQ(slot.index, found.index);
        EXPECT_EQ(buffer, found.y);
        EXPECT_EQ(found.y + size.width * size.height, found.u);
        EXPECT_EQ(found.u + size.width / 2 * (size.height / 2), found.v);
        EXPECT_LE(found.v + size.width / 2 * (size.height / 2), buffer + kHdBufferSize);
        EXPECT_EQ(size.width, found.width);
        EXPECT_EQ(size.height, found.height);
        EXPECT_EQ(size.width, found.strideY);
        EXPECT_EQ(size.width / 2, found.strideUV);
        EXPECT_EQ(number, found.pictureNumber);
        EXPECT_EQ(static_cast<std::int32_t>(number), found.frameWord);
        EXPECT_EQ(static_cast<std::int64_t>(number) * 100, found.arrivalTime);
        EXPECT_EQ(0x5A, found.y[size.width * size.height - 1]);
        EXPECT_TRUE(IsHdPictureUnchanged(view(), found));
    }
}

TEST_F(HdBlock, SizesOutOfRangeAreRefusedWithNothingChanged) {
    Publish(640, 480, 1, 1);
    const HdBlockHeader before = *header();
    const struct {
        int width, height;
    } refused[] = {{0, 2}, {2, 0}, {-2, 2}, {3, 2}, {2, 3}, {1922, 1080}, {1920, 1082}, {1 << 30, 2}};
    for (const auto& size : refused) {
        HdPictureSlot slot;
        EXPECT_FALSE(BeginHdPicture(view(), size.width, size.height, &slot))
            << size.width << "x" << size.height;
    }
    EXPECT_EQ(0, std::memcmp(&before, header(), sizeof(before)));
    for (std::uint32_t i = 0; i < kHdBufferCount; ++i) EXPECT_EQ(0u, record(i)->sequence % 2);
}

TEST_F(HdBlock, TheWriterNeverFillsTheNewestPicturesBuffer) {
    std::uint32_t used = 0;
    for (std::uint64_t number = 1; number <= 7; ++number) {
        const std::uint32_t latest = header()->latest;
        HdPictureSlot slot;
        ASSERT_TRUE(BeginHdPicture(view(), 64, 32, &slot));
        EXPECT_NE(latest, slot.index) << "picture " << number;
        EXPECT_EQ(1u, record(slot.index)->sequence % 2) << "odd while filling";
        EXPECT_EQ(latest, header()->latest) << "readers still pointed at the newest whole one";
        EndHdPicture(view(), slot, 1, number, 0);
        EXPECT_EQ(slot.index, header()->latest);
        used |= 1u << slot.index;
    }
    EXPECT_EQ(7u, used) << "all three buffers take turns";
}

TEST_F(HdBlock, AReaderThatMetTheWriterKnows) {
    Publish(320, 240, 1, 1);
    HdPictureView found;
    ASSERT_TRUE(FindLatestHdPicture(view(), &found));
    // The next two pictures go into the other buffers: the copy stays whole.
    Publish(320, 240, 2, 2);
    Publish(320, 240, 3, 3);
    EXPECT_TRUE(IsHdPictureUnchanged(view(), found));
    // The third comes round to the reader's buffer: whatever it copied from
    // the moment the writer began may be torn.
    HdPictureSlot slot;
    ASSERT_TRUE(BeginHdPicture(view(), 320, 240, &slot));
    ASSERT_EQ(found.index, slot.index);
    EXPECT_FALSE(IsHdPictureUnchanged(view(), found));
    EndHdPicture(view(), slot, 4, 4, 0);
    EXPECT_FALSE(IsHdPictureUnchanged(view(), found)) << "a whole new picture is not the one copied";

    // A writer that died mid-picture left its count odd and pointed readers
    // there (an older layout's habit): no picture rather than a torn one.
    record(header()->latest)->sequence |= 1u;
    EXPECT_FALSE(FindLatestHdPicture(view(), &found));
}

TEST_F(HdBlock, ARecordLyingAboutItsPictureIsRefused) {
    const struct Lie {
        const char* what;
        std::function<void(HdBlockHeader*, HdPictureInfo*)> apply;
    } lies[] = {
        {"index past the buffers", [](HdBlockHeader* h, HdPictureInfo*) { h->latest = 3; }},
        {"huge index", [](HdBlockHeader* h, HdPictureInfo*) { h->latest = 0x7FFFFFFF; }},
        {"no magic", [](HdBlockHeader* h, HdPictureInfo*) { h->magic = 0; }},
        {"other layout", [](HdBlockHeader* h, HdPictureInfo*) { h->layoutVersion = 2; }},
        {"larger buffers", [](HdBlockHeader* h, HdPictureInfo*) { h->bufferSize *= 2; }},
        {"more buffers", [](HdBlockHeader* h, HdPictureInfo*) { h->bufferCount = 4; }},
        {"zero width", [](HdBlockHeader*, HdPictureInfo* r) { r->width = 0; }},
        {"odd width", [](HdBlockHeader*, HdPictureInfo* r) { r->width = 641; }},
        {"odd height", [](HdBlockHeader*, HdPictureInfo* r) { r->height = 479; }},
        {"width past 1920", [](HdBlockHeader*, HdPictureInfo* r) { r->width = r->strideY = 1922; }},
        {"height past 1080", [](HdBlockHeader*, HdPictureInfo* r) { r->height = 1082; }},
        {"negative width", [](HdBlockHeader*, HdPictureInfo* r) { r->width = 0xFFFFFFFE; }},
        {"stride below width", [](HdBlockHeader*, HdPictureInfo* r) { r->strideY = 638; }},
        {"odd stride", [](HdBlockHeader*, HdPictureInfo* r) { r->strideY = 641; }},
        {"planes past the buffer",
         [](HdBlockHeader*, HdPictureInfo* r) {
             r->width = 1920;
             r->height = 1080;
             r->strideY = 1922;
         }},
        {"stride wrapping 32 bits", [](HdBlockHeader*, HdPictureInfo* r) { r->strideY = 0x80000000u; }},
        {"other format", [](HdBlockHeader*, HdPictureInfo* r) { r->format = 0x32595559; }},
    };
    for (const Lie& lie : lies) {
        InitHdBlock(view(), 1, 1);
        Publish(640, 480, 9, 1);
        HdPictureView found;
        ASSERT_TRUE(FindLatestHdPicture(view(), &found)) << lie.what;
        lie.apply(header(), record(found.index));
        EXPECT_FALSE(FindLatestHdPicture(view(), &found)) << lie.what;
    }
}

TEST_F(HdBlock, SettingUpAgainKeepsAPictureOnlyInABlockOfThisLayout) {
    Publish(480, 320, 7, 5);
    InitHdBlock(view(), 3000000, 99);  // pavix.exe started again
    HdPictureView found;
    ASSERT_TRUE(FindLatestHdPicture(view(), &found));
    EXPECT_EQ(5u, found.pictureNumber);
    EXPECT_EQ(3000000u, HdClockFrequency(view()));
    EXPECT_EQ(99u, header()->writerProcessId);

    // Left by something else: set up empty.
    header()->layoutVersion = 7;
    InitHdBlock(view(), 1, 1);
    EXPECT_EQ(kHdNoPicture, header()->latest);
    EXPECT_FALSE(FindLatestHdPicture(view(), &found));
    EXPECT_EQ(0u, HdClockFrequency(nullptr));
}

TEST(HdPictureSize, FitsTheBlockKeepingAspectWithEvenSides) {
    const struct {
        int width, height, fitWidth, fitHeight;
    } cases[] = {
        {1920, 1080, 1920, 1080}, {1280, 720, 1280, 720},  {641, 481, 640, 480},
        {3840, 2160, 1920, 1080}, {4000, 3000, 1440, 1080}, {2560, 1080, 1920, 810},
        {1080, 1920, 606, 1080},  {5000, 100, 1920, 38},    {2, 2, 2, 2},
    };
    for (const auto& c : cases) {
        int width = 0;
        int height = 0;
        ASSERT_TRUE(FitHdPictureSize(c.width, c.height, &width, &height)) << c.width << "x" << c.height;
        EXPECT_EQ(c.fitWidth, width) << c.width << "x" << c.height;
        EXPECT_EQ(c.fitHeight, height) << c.width << "x" << c.height;
    }
    const struct {
        int width, height;
    } refused[] = {{1, 1}, {0, 480}, {640, -480}, {100000, 3}};
    for (const auto& c : refused) {
        int width = 0;
        int height = 0;
        EXPECT_FALSE(FitHdPictureSize(c.width, c.height, &width, &height)) << c.width << "x" << c.height;
    }
}

TEST(HdPictureCurrent, AnIdleOrOldPictureIsNotCurrentWhileThePhoneStreams) {
    struct Case {
        std::int32_t hd;
        std::int32_t shared;
        bool current;
    };
    const Case cases[] = {
        {0, 0, true},       // start-up: both idle
        {-2, -2, true},     // no phone: both idle
        {57, -2, true},     // phone gone: PavixShMem idle, whatever the HD block holds
        {0, 120, false},    // phone streams, HD holds the start-up picture
        {-2, 120, false},   // ... or an idle picture of an earlier link
        {40, 120, false},   // ... or a phone picture from long ago
        {120, 120, true},   // the same picture
        {121, 120, true},   // the HD block is written first
        {117, 120, true},   // a few behind
        {116, 120, false},  // more behind than the writes ever lie apart
        {1, 1000000010, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.current, IsHdPictureCurrent(c.hd, c.shared)) << c.hd << " against " << c.shared;
    }
}

}  // namespace
}  // namespace pavix::testing

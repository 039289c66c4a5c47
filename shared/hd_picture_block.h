#pragma once

// The HD picture block "PavixHdPicture": the camera's pictures at the
// phone's own resolution (up to 1920 x 1080), beside the 480 x 320 block
// PavixShMem, which stays as it is for every reader that knows only it.
//
// pavix.exe (the one writer) publishes each decoded picture here in I420
// (a full-size Y plane, then U and V at half width and half height), into
// one of three buffers: never the one holding the newest picture, which is
// what readers copy. Each buffer has its own sequence count, odd while the
// writer fills it, so a reader that was too slow and met the writer anyway
// can tell (the whole-picture rule of PavixShMemSequence, per buffer). After
// each picture the writer signals every reader's new-picture event
// (hd_camera_request.h says how readers get one).
//
// The writer creates the block in the Global\ namespace when it may (it
// runs elevated), so that readers in other sessions find it too, and in its
// own session's namespace otherwise; readers try the global name first.
// Readers map it for reading only (the shared objects' security).
//
// Layout (offsets from the start of the view, little-endian, every field
// naturally aligned):
//      0  HdBlockHeader (64 bytes)
//     64  HdPictureInfo[3] (64 bytes each), one per buffer
//   4096  buffer 0, then buffers 1 and 2, kHdBufferSize bytes each
// A buffer holds Y (strideY x height), then U and V (strideY / 2 x
// height / 2 each), planes back to back from the buffer's start.
//
// The layout and the copy rules are plain data and logic and build
// everywhere; opening the block needs Windows.

#include <cstddef>
#include <cstdint>

#include "shared/i420_picture.h"

#if defined(_WIN32)
#include <windows.h>

#include "shared/shared_frame_buffer.h"
#endif

namespace pavix {

inline constexpr char kHdPictureBlockName[] = "PavixHdPicture";
// Prepended to every HD object's name for the namespace all sessions see.
inline constexpr char kGlobalNamePrefix[] = "Global\\";

inline constexpr std::uint32_t kHdBlockMagic = 0x48585650;  // "PVXH"
inline constexpr std::uint32_t kHdLayoutVersion = 1;
// The pixel format of every picture: 'I420' as a FOURCC.
inline constexpr std::uint32_t kHdFormatI420 = 0x30323449;

inline constexpr int kHdMaxWidth = 1920;
inline constexpr int kHdMaxHeight = 1080;
inline constexpr std::uint32_t kHdBufferCount = 3;
inline constexpr std::size_t kHdHeaderSize = 4096;
// Room for a 1920 x 1080 I420 picture (3,110,400 bytes), in whole pages.
inline constexpr std::size_t kHdBufferSize = 3112960;
inline constexpr std::size_t kHdBlockSize = kHdHeaderSize + kHdBufferCount * kHdBufferSize;

// No picture yet: the header's `latest` before the first one.
inline constexpr std::uint32_t kHdNoPicture = 0xFFFFFFFFu;

struct HdBlockHeader {
    std::uint32_t magic;          // kHdBlockMagic once the writer has set the block up
    std::uint32_t layoutVersion;  // kHdLayoutVersion
    std::uint32_t headerSize;     // kHdHeaderSize
    std::uint32_t bufferCount;    // kHdBufferCount
    std::uint32_t bufferSize;     // kHdBufferSize
    std::uint32_t maxWidth;       // kHdMaxWidth
    std::uint32_t maxHeight;      // kHdMaxHeight
    std::uint32_t latest;         // buffer of the newest whole picture, or kHdNoPicture
    // Counts per second of the arrival clock: QueryPerformanceCounter's,
    // which every process on the machine reads alike.
    std::uint64_t clockFrequency;
    std::uint32_t writerProcessId;  // for a tester's eyes only
    std::uint32_t reserved[5];
};

struct HdPictureInfo {
    std::uint32_t sequence;  // odd while the writer fills this buffer
    std::int32_t frameWord;  // PavixShMem's frame word for this picture
    std::uint32_t width;     // even, 2 to kHdMaxWidth
    std::uint32_t height;    // even, 2 to kHdMaxHeight
    std::uint32_t strideY;   // bytes per Y row, even, >= width; U and V rows are half
    std::uint32_t format;    // kHdFormatI420
    // 1, 2, ... for every picture published, idle pictures too: a reader
    // that sees a new number has a new picture.
    std::uint64_t pictureNumber;
    // When the picture arrived (its packet was complete), on the arrival
    // clock.
    std::int64_t arrivalTime;
    std::uint32_t reserved[6];
};

static_assert(sizeof(HdBlockHeader) == 64, "the header is 64 bytes");
static_assert(sizeof(HdPictureInfo) == 64, "a picture's record is 64 bytes");
static_assert(64 + kHdBufferCount * sizeof(HdPictureInfo) <= kHdHeaderSize,
              "the records fit before the first buffer");
static_assert(kHdBufferSize >= kHdMaxWidth * kHdMaxHeight * 3 / 2, "a buffer holds 1080p I420");

// --- The writer (one thread at a time) ------------------------------------

// Sets up a block's header: a block that is new (all zero) or was left by
// an earlier run. Pictures already in it stay readable.
void InitHdBlock(void* view, std::uint64_t clockFrequency, std::uint32_t writerProcessId);

// A buffer being filled: where its planes go.
struct HdPictureSlot {
    std::uint32_t index = 0;
    std::uint8_t* y = nullptr;
    std::uint8_t* u = nullptr;
    std::uint8_t* v = nullptr;
    int strideY = 0;
    int strideUV = 0;
    int width = 0;
    int height = 0;
};

// The size a width x height picture is published at: as it is when it fits
// 1920 x 1080, else scaled down to fit keeping its aspect; each side then
// made even by leaving out its last row or column. False for a picture too
// small to publish (a side below 2).
bool FitHdPictureSize(int width, int height, int* fitWidth, int* fitHeight);

// Picks the buffer after the newest one, makes its count odd and says where
// a width x height picture goes (both even, 2 to the largest). False, with
// nothing changed, for a size out of range.
bool BeginHdPicture(void* view, int width, int height, HdPictureSlot* slot);

// Completes the picture begun in `slot`: its record, the count even again,
// and the header's `latest` pointing at it, in that order.
void EndHdPicture(void* view, const HdPictureSlot& slot, std::int32_t frameWord,
                  std::uint64_t pictureNumber, std::int64_t arrivalTime);

// --- Readers (any process, the view mapped for reading) -------------------

// The newest picture as a reader finds it: its planes, which point into the
// block, and its record.
struct HdPictureView : I420Picture {
    std::uint32_t index = 0;
    std::uint32_t sequence = 0;  // the buffer's count when it was looked at
    std::int32_t frameWord = 0;
    std::uint64_t pictureNumber = 0;
    std::int64_t arrivalTime = 0;
};

// Finds the newest picture. False when there is none, the block is not set
// up (or has another layout), the writer is filling that buffer, or its
// record does not describe a picture inside its buffer: a reader never
// trusts a record to stay within the block.
bool FindLatestHdPicture(const void* view, HdPictureView* picture);

// True when the buffer of `picture` was not touched since it was found:
// what was copied out of it meanwhile is whole.
bool IsHdPictureUnchanged(const void* view, const HdPictureView& picture);

// The block's arrival clock rate (0 when the block is not set up).
std::uint64_t HdClockFrequency(const void* view);

// Whether an HD picture with `hdFrameWord` is the picture PavixShMem shows
// now (`sharedFrameWord`), give or take the few pictures the two blocks'
// writes may lie apart. pavix.exe puts phone pictures into the HD block
// only while a camera asks for them, so a camera that starts while the
// phone streams can find an idle picture, or a phone picture from long
// ago, there until the next one comes. While PavixShMem holds no phone
// picture (a frame word of 0 or less) whatever the HD block holds is
// current.
bool IsHdPictureCurrent(std::int32_t hdFrameWord, std::int32_t sharedFrameWord);

#if defined(_WIN32)
// The writer: creates (or opens) the block in the Global\ namespace, or in
// its session's namespace when it may not, with the shared security, maps
// it for writing and sets up its header. Returns 1 and fills both places,
// or 0 with both null. *global tells which namespace it got.
int CreateHdPictureBlock(HANDLE* mapping, void** view, bool* global);

// A reader: opens the existing block, the global name first, for reading.
// Never creates it: without it the reader uses PavixShMem. Returns 1 and
// fills both places, or 0 with both null.
int OpenHdPictureBlock(HANDLE* mapping, void** view, bool* global);
#endif

}  // namespace pavix

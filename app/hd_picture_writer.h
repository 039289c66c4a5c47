#pragma once

// The writer side of the HD camera: the picture block "PavixHdPicture",
// the cameras' request section and their new-picture events, all made at
// start-up beside PavixShMem. Phone pictures go into the block as I420 at
// their decoded size only while some camera streams from it (no camera, no
// cost); idle pictures always go in, so that a camera that starts finds
// one. After each picture the live cameras' events are signalled.

#include <windows.h>

#include <cstdint>

#include "frames/hd_picture_publisher.h"
#include "frames/picture_scaler.h"
#include "shared/critical_section.h"
#include "shared/hd_camera_request.h"

namespace pavix {

class CHdPictureWriter {
public:
    CHdPictureWriter() = default;
    ~CHdPictureWriter();
    CHdPictureWriter(const CHdPictureWriter&) = delete;
    CHdPictureWriter& operator=(const CHdPictureWriter&) = delete;

    // Creates the block (global when this process may), the request section
    // and the events in the same namespace. False without the block: the
    // program goes on with PavixShMem alone, as cameras do without it.
    bool Open();
    void Close();

    // What the cameras ask for now: a look at 16 slots, cheap enough for
    // every picture. 0 x 0 and no live slot without the section. Any thread.
    CameraRequest ReadRequest() const;

    // A decoded phone picture with its frame word and arrival time, when
    // `request` (read for this picture) has a live slot. Any thread; one
    // picture at a time.
    void PublishPicture(const BgrxPicture& picture, std::int32_t frameWord, std::int64_t arrivalTime,
                        const CameraRequest& request);
    // The idle picture: 480 x 320 pixels of 3 bytes (blue, green, red),
    // bottom row first, as in PavixShMem. Any thread.
    void PublishIdle(const std::uint8_t* pixels, std::int32_t frameWord);

    // The arrival clock: QueryPerformanceCounter.
    static std::int64_t Now();

private:
    void Signal(std::uint32_t liveSlots) const;

    HANDLE blockMapping_ = nullptr;
    void* block_ = nullptr;
    HANDLE requestMapping_ = nullptr;
    void* requests_ = nullptr;
    HANDLE events_[kRequestSlots] = {};
    // One writer at a time: the frame thread's pictures and the idle ones.
    CriticalSection writeLock_;
    CHdPicturePublisher publisher_;
};

}  // namespace pavix

#include "app/hd_picture_writer.h"

#include "shared/debug_text.h"
#include "shared/hd_picture_block.h"
#include "shared/shared_frame_buffer.h"  // CloseSharedFrameBuffer

namespace pavix {

CHdPictureWriter::~CHdPictureWriter() { Close(); }

bool CHdPictureWriter::Open() {
    bool global = false;
    if (!CreateHdPictureBlock(&blockMapping_, &block_, &global)) {
        DebugTextFormat(120, "pavix: no HD picture block (error %lu); cameras use PavixShMem\n",
                        GetLastError());
        return false;
    }
    // Without the section no camera can ask: pictures still come as idle
    // ones, and cameras look for new ones on their own clock.
    if (!CreateHdRequestSection(global, &requestMapping_, &requests_)) {
        DebugTextFormat(120, "pavix: no HD request section (error %lu)\n", GetLastError());
    }
    CreateHdReadyEvents(global, events_);
    return true;
}

void CHdPictureWriter::Close() {
    ScopedLock hold(writeLock_);
    for (HANDLE& event : events_) {
        if (event != nullptr) CloseHandle(event);
        event = nullptr;
    }
    CloseSharedFrameBuffer(&requestMapping_, &requests_);
    CloseSharedFrameBuffer(&blockMapping_, &block_);
    publisher_.ReleaseScratch();
}

CameraRequest CHdPictureWriter::ReadRequest() const {
    return ReadCameraRequest(requests_, GetTickCount64());
}

std::int64_t CHdPictureWriter::Now() {
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

void CHdPictureWriter::PublishPicture(const BgrxPicture& picture, std::int32_t frameWord,
                                      std::int64_t arrivalTime, const CameraRequest& request) {
    if (request.liveSlots == 0) return;
    ScopedLock hold(writeLock_);
    if (publisher_.PublishBgrx(block_, picture, frameWord, arrivalTime)) Signal(request.liveSlots);
}

void CHdPictureWriter::PublishIdle(const std::uint8_t* pixels, std::int32_t frameWord) {
    const std::int64_t arrival = Now();
    ScopedLock hold(writeLock_);
    if (publisher_.PublishIdle(block_, pixels, frameWord, arrival)) Signal(ReadRequest().liveSlots);
}

void CHdPictureWriter::Signal(std::uint32_t liveSlots) const {
    for (int i = 0; i < kRequestSlots; ++i) {
        if ((liveSlots & (1u << i)) != 0 && events_[i] != nullptr) SetEvent(events_[i]);
    }
}

}  // namespace pavix

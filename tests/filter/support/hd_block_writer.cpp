#include "tests/filter/support/hd_block_writer.h"

#include <cstring>

#include "shared/hd_picture_block.h"
#include "shared/shared_frame_buffer.h"

namespace pavix::testing {

HdBlockWriter::HdBlockWriter() {
    bool global = false;
    if (!CreateHdPictureBlock(&mapping_, &view_, &global)) return;
    CreateHdRequestSection(global, &requestMapping_, &request_);
    CreateHdReadyEvents(global, events_);
}

HdBlockWriter::~HdBlockWriter() { Close(); }

void HdBlockWriter::Close() {
    CloseSharedFrameBuffer(&mapping_, &view_);
    CloseSharedFrameBuffer(&requestMapping_, &request_);
    for (HANDLE& event : events_) {
        if (event != nullptr) CloseHandle(event);
        event = nullptr;
    }
}

void HdBlockWriter::Publish(int width, int height, std::uint8_t y, std::uint8_t u, std::uint8_t v,
                            std::uint64_t number, std::int64_t arrival, std::int32_t frameWord) {
    HdPictureSlot slot;
    if (view_ == nullptr || !BeginHdPicture(view_, width, height, &slot)) return;
    for (int row = 0; row < height; ++row) std::memset(slot.y + row * slot.strideY, y, width);
    for (int row = 0; row < height / 2; ++row) {
        std::memset(slot.u + row * slot.strideUV, u, width / 2);
        std::memset(slot.v + row * slot.strideUV, v, width / 2);
    }
    EndHdPicture(view_, slot, frameWord, number, arrival != 0 ? arrival : Now());
    const CameraRequest request = Request();
    for (int i = 0; i < kRequestSlots; ++i) {
        if ((request.liveSlots & (1u << i)) != 0 && events_[i] != nullptr) SetEvent(events_[i]);
    }
}

CameraRequest HdBlockWriter::Request() const {
    return request_ != nullptr ? ReadCameraRequest(request_, GetTickCount64()) : CameraRequest{};
}

std::int64_t HdBlockWriter::Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

std::int64_t HdBlockWriter::Frequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

}  // namespace pavix::testing

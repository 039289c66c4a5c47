#include "tests/filter/support/shared_block.h"

#include "shared/shared_frame_buffer.h"

namespace pavix::testing {

SharedBlock::SharedBlock() {
    OpenSharedFrameBuffer(&mapping_, &view_);
}

SharedBlock::~SharedBlock() {
    Close();
}

void SharedBlock::Close() {
    CloseSharedFrameBuffer(&mapping_, &view_);
}

uint8_t* SharedBlock::PixelArea() const {
    return Bytes() + kPixelAreaOffset;
}

void SharedBlock::Publish(const pavix::tools::Picture& picture, int32_t frameWord) {
    pavix::tools::PictureToPixelArea(picture, PixelArea());
    WriteFrameWord(view_, frameWord);
}

void SharedBlock::SetFrameWord(int32_t frameWord) {
    WriteFrameWord(view_, frameWord);
}

BlockNameTaken::BlockNameTaken() {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, kSharedFrameBufferName);
    if (event != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(event);  // someone else's event: not ours to hold
        event = nullptr;
    }
    event_ = event;
}

BlockNameTaken::~BlockNameTaken() {
    if (event_ != nullptr) {
        CloseHandle(event_);
    }
}

}  // namespace pavix::testing

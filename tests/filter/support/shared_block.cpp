#include "tests/filter/support/shared_block.h"

#include <vector>

#include "shared/shared_frame_buffer.h"

namespace pavix::testing {

SharedBlock::SharedBlock() {
    OpenSharedFrameBuffer(&mapping_, &view_);
    OpenSharedSection(kFrameSequenceName, kFrameSequenceSize, SharedAccess::ReadWrite,
                      &sequenceMapping_, &sequenceView_);
}

SharedBlock::~SharedBlock() {
    Close();
}

void SharedBlock::Close() {
    CloseSharedFrameBuffer(&mapping_, &view_);
    CloseSharedFrameBuffer(&sequenceMapping_, &sequenceView_);
}

uint8_t* SharedBlock::PixelArea() const {
    return Bytes() + kPixelAreaOffset;
}

void SharedBlock::Publish(const pavix::tools::Picture& picture, int32_t frameWord) {
    std::vector<uint8_t> pixels(kPixelAreaSize);
    pavix::tools::PictureToPixelArea(picture, pixels.data());
    WriteSharedPicture(view_, Sequence(), pixels.data(), frameWord);
}

void SharedBlock::SetFrameWord(int32_t frameWord) {
    WriteSharedPicture(view_, Sequence(), nullptr, frameWord);
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

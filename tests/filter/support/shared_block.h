#pragma once

// The shared frame buffer from a test's side: holds the block and its
// sequence section open (they exist only while someone does) and writes
// pictures and frame words as the desktop program would.

#include <windows.h>

#include <cstdint>

#include "tools/shmtool/picture.h"

namespace pavix::testing {

class SharedBlock {
public:
    SharedBlock();  // creates or opens it; Open() tells whether that worked
    ~SharedBlock();
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    bool Open() const { return view_ != nullptr; }
    uint8_t* Bytes() const { return static_cast<uint8_t*>(view_); }
    uint8_t* PixelArea() const;
    // The sequence count, or null without its section.
    uint32_t* Sequence() const { return static_cast<uint32_t*>(sequenceView_); }

    // As the desktop program writes: through WriteSharedPicture.
    void Publish(const pavix::tools::Picture& picture, int32_t frameWord);
    void SetFrameWord(int32_t frameWord);
    void Close();

private:
    HANDLE mapping_ = nullptr;
    void* view_ = nullptr;
    HANDLE sequenceMapping_ = nullptr;
    void* sequenceView_ = nullptr;
};

// Takes the block's name for another kind of object, so that nobody can
// create or open the block while it lives. Only possible while no process
// has the block open.
class BlockNameTaken {
public:
    BlockNameTaken();
    ~BlockNameTaken();
    BlockNameTaken(const BlockNameTaken&) = delete;
    BlockNameTaken& operator=(const BlockNameTaken&) = delete;
    bool Taken() const { return event_ != nullptr; }

private:
    HANDLE event_ = nullptr;
};

}  // namespace pavix::testing

#pragma once

// The HD picture block from a test's side: creates the block, the request
// section and the readers' events as pavix.exe does, and publishes
// single-colour I420 pictures with the number and arrival time a test
// chooses, signalling the live slots as pavix.exe does.

#include <windows.h>

#include <cstdint>

#include "shared/hd_camera_request.h"

namespace pavix::testing {

class HdBlockWriter {
public:
    HdBlockWriter();  // creates everything; Open() tells whether that worked
    ~HdBlockWriter();
    HdBlockWriter(const HdBlockWriter&) = delete;
    HdBlockWriter& operator=(const HdBlockWriter&) = delete;

    bool Open() const { return view_ != nullptr && request_ != nullptr; }

    // A width x height picture of one colour. arrival 0: now.
    void Publish(int width, int height, std::uint8_t y, std::uint8_t u, std::uint8_t v,
                 std::uint64_t number, std::int64_t arrival = 0, std::int32_t frameWord = 1);

    // What the running cameras ask for now.
    CameraRequest Request() const;

    // The arrival clock (QueryPerformanceCounter) now, and its rate.
    static std::int64_t Now();
    static std::int64_t Frequency();

    void Close();

private:
    HANDLE mapping_ = nullptr;
    void* view_ = nullptr;
    HANDLE requestMapping_ = nullptr;
    void* request_ = nullptr;
    HANDLE events_[kRequestSlots] = {};
};

}  // namespace pavix::testing

#pragma once

// The pictures a stream of the Media Foundation camera hands out, one at a
// time: the HD block's pictures, each once as it arrives (the last one
// again after 100 ms of nothing new, so that no application takes the
// camera for frozen); without the HD block (Pavix not running, or an older
// one) PavixShMem's picture every 1/30 s, black while nobody writes it.
//
// The same rules the DirectShow camera's pin keeps; one stream's worker
// thread at a time.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "filter/camera_picture_converter.h"
#include "filter/hd_picture_source.h"
#include "shared/shared_picture_reader.h"

namespace pavix {

class CCameraPictureFeed {
public:
    CCameraPictureFeed();
    ~CCameraPictureFeed();
    CCameraPictureFeed(const CCameraPictureFeed&) = delete;
    CCameraPictureFeed& operator=(const CCameraPictureFeed&) = delete;

    // The stream runs with `type` from now on (holding an HD request slot
    // for its size while it does).
    void Begin(const CameraType& type);
    // The stream stopped: the slot goes back.
    void End();
    // Nobody asks for pictures now, but the stream runs: the slot stays.
    void KeepAlive() { m_hd.Refresh(); }

    // Waits for the next picture (at most about 100 ms; `stop` signalled
    // ends a wait early, and then it returns false) and writes it into
    // `sample` (`size` bytes, at least CameraImageSize of the type).
    // *arrival is when the picture arrived, on QueryPerformanceCounter
    // (0 for a repeat or a PavixShMem picture: they go as they are made).
    // False also when no picture could be written (no memory).
    bool Next(HANDLE stop, std::uint8_t* sample, std::size_t size, LONGLONG* arrival);

private:
    bool FromSharedBlock(std::uint8_t* sample, std::size_t size);

    CameraType m_type;
    CHdPictureSource m_hd;
    SharedPictureReader m_reader;
    CCameraPictureConverter m_converter;
    std::uint8_t* m_pixels;  // PavixShMem's picture, copied whole

    HANDLE m_frameMap = nullptr;
    void* m_frameView = nullptr;
    HANDLE m_sequenceMap = nullptr;
    void* m_sequenceView = nullptr;

    ULONGLONG m_lastDeliveryMs = 0;  // 0: nothing handed on since Begin
    ULONGLONG m_nextSharedDueUs = 0;  // PavixShMem's pictures go at 30/s
};

}  // namespace pavix

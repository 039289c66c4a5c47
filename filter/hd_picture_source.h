#pragma once

// The capture pin's way to the HD picture block. While the pin streams it
// holds a request slot with its connection's size (so that pavix.exe
// decodes large enough), waits on the slot's new-picture event and hands
// on each new picture once, converted to the connection type, together
// with the time since the picture arrived.
//
// Without the block (pavix.exe not running yet, or an older one that
// writes PavixShMem only) or without a free slot, Ready() is false and the
// pin copies PavixShMem as it always did; Begin looks for the block again,
// at most once a second, so a camera opened before pavix.exe starts moves
// to the HD pictures once they are there.
//
// Streaming thread only.

#include <windows.h>
#include <strmif.h>

#include <cstddef>
#include <cstdint>

#include "filter/camera_picture_converter.h"

class CHdPictureSource {
public:
    CHdPictureSource();
    ~CHdPictureSource();
    CHdPictureSource(const CHdPictureSource&) = delete;
    CHdPictureSource& operator=(const CHdPictureSource&) = delete;

    // Streams `type` from now on: opens what is not open yet (the block,
    // the request section; no more than one attempt a second) and holds a
    // request slot for the type's size. True when HD pictures can be had.
    bool Begin(const pavix::CameraType& type);
    // The stream stopped: the slot goes back (the block stays open).
    void End();
    bool Ready() const { return m_slot >= 0; }
    // The slot's heartbeat (and a claim again if it was lost): Next does it
    // with every sample, a paused stream now and then.
    void Refresh();

    enum class Outcome {
        NewPicture,   // a picture not handed on before
        SamePicture,  // nothing new within the wait: the last picture again
        NoPicture,    // no whole picture to be had: the sample is untouched
    };

    // Waits at most `waitMs` for a picture other than the last one handed
    // on, then converts the newest picture into `sample` (`size` bytes) and
    // stores in *age the time since it arrived (100 ns units, 0 to 1 s). A
    // new picture that is there already goes at once. Only a picture that
    // is current against PavixShMem's frame word (read from `sharedView`
    // as it goes on; IsHdPictureCurrent) counts as new; the first picture
    // of a run must be one.
    Outcome Next(DWORD waitMs, const void* sharedView, std::uint8_t* sample, std::size_t size,
                 REFERENCE_TIME* age);
    // When the picture Next handed on last arrived, on the block's clock
    // (QueryPerformanceCounter); 0 before the first.
    std::int64_t LastArrival() const { return m_lastArrival; }

private:
    bool OpenObjects();
    void CloseObjects();
    // Converts the newest whole picture; false when none could be had.
    bool ConvertLatest(std::uint8_t* sample, std::size_t size, REFERENCE_TIME* age);
    // The newest picture's number when it is current, else 0.
    std::uint64_t CurrentNumber(const void* sharedView) const;

    HANDLE m_blockMap = nullptr;
    const void* m_block = nullptr;
    HANDLE m_requestMap = nullptr;
    void* m_request = nullptr;
    HANDLE m_ready = nullptr;  // the slot's event, or null: polled
    ULONGLONG m_lastOpenAttempt = 0;
    bool m_triedOpen = false;

    std::uint32_t m_ticket;
    int m_slot = -1;
    pavix::CameraType m_type;

    std::uint64_t m_lastNumber = 0;  // picture number of the last handed on, 0: none
    std::int64_t m_lastArrival = 0;  // its arrival
    bool m_handedOn = false;
    pavix::CCameraPictureConverter m_converter;
};

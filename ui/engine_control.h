#pragma once

#include <cstdint>

#include "link/phone_endpoint.h"

namespace pavix {

// A picture for the preview pane: width x height pixels of 4 bytes (blue,
// green, red, unused), rows of width x 4 bytes, the top row first.
struct PanePicture {
    const void* pixels = nullptr;
    int width = 0;
    int height = 0;
};

// What the user interface asks of the engine. The engine implements it and
// hands it to CUIHandler; nothing in ui/ knows the engine itself. Called on
// the main thread.
class EngineControl {
public:
    virtual ~EngineControl() = default;

    // Whether the phone link is up: the preview pane shows the idle picture
    // only while it is not.
    virtual bool IsConnected() const = 0;
    // Whether the link is up to that very endpoint (not to one asked for
    // before it).
    virtual bool IsConnectedTo(const PhoneEndpoint& endpoint) const = 0;

    // The newest phone picture for the preview pane, kept unchanged until
    // ReleasePanePicture; false when there is none to show.
    virtual bool AcquirePanePicture(PanePicture* picture) = 0;
    virtual void ReleasePanePicture() = 0;

    // A datagram waits on a notice listener (0: port 7788, 1: port 7790):
    // read it, and aim at the phone it announces.
    virtual void PrepareData(int selector) = 0;

    // The phone endpoint: changes nothing when it is the one already set
    // and its link is wanted; after Disconnect it connects to it again;
    // otherwise the link is dropped and made to the new one. Ports outside
    // 1-65535 are refused.
    virtual void SetPhoneEndpoint(const char* address, std::int32_t port, std::int32_t port2) = 0;
    // Drops the link; the supervisor waits until an endpoint is asked for.
    virtual void Disconnect() = 0;
    // Writes `endpoint` to the settings file; false when it could not be
    // written.
    virtual bool SaveSettings(const PhoneEndpoint& endpoint) = 0;

    // Has the debug bridge forward the phone's port, on a worker thread.
    // The main window gets WM_USB_FORWARDED when it is done: wParam says
    // whether the forward is in place, lParam whether a failure is to be
    // reported (some request since the last result asked for that).
    virtual void StartUsbForward(bool reportFailure) = 0;

    // The main window is being destroyed: stop the workers and close every
    // part of the program.
    virtual void OnMainWindowDestroyed() = 0;

    // Recording the camera to an AVI file: the start command asks the user
    // for the file and starts a recording (refused while one runs); the stop
    // command ends it. IsRecording decides which of the two the function
    // menu offers.
    virtual void StartCapture() = 0;
    virtual void StopCapture() = 0;
    virtual bool IsRecording() const = 0;
    // The recording graph has events (WM_RECORD_EVENTS), or the recording's
    // room is to be looked at (TIMER_RECORDING_ROOM): an event that ends the
    // recording, or a volume about to fill, stops it and tells the user
    // what became of the file.
    virtual void OnRecordingEvents() = 0;
};

}  // namespace pavix

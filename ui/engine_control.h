#pragma once

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

    // The newest phone picture for the preview pane, kept unchanged until
    // ReleasePanePicture; false when there is none to show.
    virtual bool AcquirePanePicture(PanePicture* picture) = 0;
    virtual void ReleasePanePicture() = 0;

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
};

}  // namespace pavix

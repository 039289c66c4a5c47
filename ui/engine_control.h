#pragma once

namespace pavix {

// What the user interface asks of the engine. The engine implements it and
// hands it to CUIHandler; nothing in ui/ knows the engine itself. Called on
// the main thread.
class EngineControl {
public:
    virtual ~EngineControl() = default;

    // Whether the phone link is up: the preview pane shows the idle picture
    // only while it is not.
    virtual bool IsConnected() const = 0;

    // The main window is being destroyed: stop the workers and close every
    // part of the program.
    virtual void OnMainWindowDestroyed() = 0;
};

}  // namespace pavix

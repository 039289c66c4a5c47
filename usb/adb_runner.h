#pragma once

#include <string>

#include "shared/interruptible_sleep.h"

namespace pavix {

// The directory of the running program, with its last backslash; empty when
// its path holds none. The debug bridge (adb.exe) lies there.
std::string ProgramDirectory();

// Runs `commandLine` as a hidden child and returns everything it wrote to
// its standard output and standard error, once its output has ended: when
// every writer closed the pipe, or when the child itself is gone and about
// a second passed without output (a descendant may hold the pipe open), or
// after about 10 s of silence from a child that stays alive (it is ended
// then). `pause` makes the waits: when it reports a stop, the child is ended
// at once and what it wrote so far is returned.
//
// The failure text "error:CreateProcess() failure" when the child cannot be
// started.
std::string RunAndCapture(const std::string& commandLine, const InterruptibleSleep& pause);

// Forwards local TCP port 1234 to the phone's port 1234 with the debug
// bridge; true when the tool's output shows no failure.
bool ForwardPhonePort(const InterruptibleSleep& pause);

// Starts the phone app; when the start says the app is missing, installs it
// from Pavix.apk and starts it once more. Always true.
bool StartPhoneApp(const InterruptibleSleep& pause);

}  // namespace pavix

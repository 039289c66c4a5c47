#pragma once

#include <string>
#include <string_view>

namespace pavix {

// What the debug-bridge runner says when the tool cannot be started. It
// holds the first forward failure marker, so a missing tool is a failed
// forward.
constexpr char kRunnerFailureText[] = "error:CreateProcess() failure";

// The directory part of the program's full path: everything up to and
// including the last backslash; empty when there is none.
std::string ProgramDirectoryOf(std::string_view programPath);

// Command lines for the debug bridge, adb.exe in `directory` (as
// ProgramDirectoryOf gives it). The tool's path is quoted, so a directory
// with spaces cannot make the system start another program.
std::string ForwardCommandLine(std::string_view directory);   // local 1234 to the phone's 1234
std::string StartAppCommandLine(std::string_view directory);  // start the phone app
std::string InstallAppCommandLine(std::string_view directory);  // install Pavix.apk

// The first of the forward's failure markers, in the order they are tried
// ("error:", "Error:", "not found", "fail", "No such file or directory"),
// that occurs in the tool's output; null when none does.
const char* ForwardFailureMarker(std::string_view output);

// Whether the forward is in place after the tool printed `output`: no
// failure marker in it (an empty output counts as success).
bool ForwardSucceeded(std::string_view output);

// Whether the output of the start command says that the app is not
// installed ("Error:" or "not exist" in it): install, then start again.
bool StartSaysAppMissing(std::string_view output);

}  // namespace pavix

#pragma once

#include <functional>

// Debug texts are for a developer with a debugger attached, never for the
// user: on Windows they go to OutputDebugStringA. Elsewhere they are dropped
// unless a sink is installed (tests and command-line tools install one).
namespace pavix {

void DebugText(const char* text);

// Formats into a zeroed buffer of `bufferSize` bytes (the text is cut to
// bufferSize - 1 characters) and writes it as a debug text.
void DebugTextFormat(unsigned bufferSize, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

using DebugTextSink = std::function<void(const char* text)>;

// Replaces where debug texts go (an empty sink restores the default) and
// returns the previous sink. Not for concurrent use with DebugText.
DebugTextSink SetDebugTextSink(DebugTextSink sink);

}  // namespace pavix

#include "shared/debug_text.h"

#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace pavix {
namespace {

DebugTextSink& Sink() {
    static DebugTextSink sink;
    return sink;
}

}  // namespace

void DebugText(const char* text) {
    if (const DebugTextSink& sink = Sink()) {
        sink(text);
        return;
    }
#if defined(_WIN32)
    OutputDebugStringA(text);
#endif
}

void DebugTextFormat(unsigned bufferSize, const char* format, ...) {
    if (bufferSize == 0) return;
    std::vector<char> buffer(bufferSize, '\0');
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer.data(), bufferSize, format, args);
    va_end(args);
    DebugText(buffer.data());
}

DebugTextSink SetDebugTextSink(DebugTextSink sink) {
    return std::exchange(Sink(), std::move(sink));
}

}  // namespace pavix

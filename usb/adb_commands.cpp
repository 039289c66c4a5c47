#include "usb/adb_commands.h"

namespace pavix {
namespace {

constexpr const char* kForwardFailureMarkers[] = {
    "error:", "Error:", "not found", "fail", "No such file or directory",
};
constexpr const char* kAppMissingMarkers[] = {"Error:", "not exist"};

std::string ToolCommand(std::string_view directory, std::string_view arguments) {
    std::string line = "\"";
    line += directory;
    line += "adb.exe\" ";
    line += arguments;
    return line;
}

}  // namespace

std::string ProgramDirectoryOf(std::string_view programPath) {
    const std::size_t lastBackslash = programPath.rfind('\\');
    if (lastBackslash == std::string_view::npos) return std::string();
    return std::string(programPath.substr(0, lastBackslash + 1));
}

std::string ForwardCommandLine(std::string_view directory) {
    return ToolCommand(directory, "forward tcp:1234 tcp:1234");
}

std::string StartAppCommandLine(std::string_view directory) {
    return ToolCommand(directory, "shell am start -n com.quarnel.ovicam/com.quarnel.ovicam.Splash");
}

std::string InstallAppCommandLine(std::string_view directory) {
    return ToolCommand(directory, "install -r Pavix.apk");
}

const char* ForwardFailureMarker(std::string_view output) {
    for (const char* marker : kForwardFailureMarkers) {
        if (output.find(marker) != std::string_view::npos) return marker;
    }
    return nullptr;
}

bool ForwardSucceeded(std::string_view output) { return ForwardFailureMarker(output) == nullptr; }

bool StartSaysAppMissing(std::string_view output) {
    for (const char* marker : kAppMissingMarkers) {
        if (output.find(marker) != std::string_view::npos) return true;
    }
    return false;
}

}  // namespace pavix

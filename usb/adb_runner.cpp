#include "usb/adb_runner.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "usb/adb_commands.h"

namespace pavix {
namespace {

constexpr DWORD kReadChunk = 4095;
constexpr unsigned kIdlePollMs = 50;
constexpr int kPollsPerLivenessTest = 20;        // about 1 s
constexpr int kLivenessTestsBeforeEnding = 10;  // about 10 s of silence

// Collects the child's output from `pipe` until it has ended; see
// RunAndCapture.
std::string CollectOutput(HANDLE pipe, HANDLE child, const InterruptibleSleep& pause) {
    std::string output;
    std::vector<char> chunk(kReadChunk);
    int polls = 0;
    int silentTests = 0;
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
        if (!pause(0)) {  // a stop: the child goes with us, chatty or not
            TerminateProcess(child, 0);
            break;
        }
        if (available > 0) {
            polls = 0;
            silentTests = 0;
            DWORD read = 0;
            if (!ReadFile(pipe, chunk.data(), available < kReadChunk ? available : kReadChunk,
                          &read, nullptr)) {
                break;
            }
            // Text: a chunk counts up to its first zero byte.
            output.append(chunk.data(), strnlen(chunk.data(), read));
            continue;
        }
        if (!pause(kIdlePollMs)) {
            TerminateProcess(child, 0);
            break;
        }
        if (++polls < kPollsPerLivenessTest) continue;
        polls = 0;
        if (WaitForSingleObject(child, 0) != WAIT_TIMEOUT) break;  // gone; a descendant holds the pipe
        if (++silentTests == kLivenessTestsBeforeEnding) {
            TerminateProcess(child, 0);
            break;
        }
    }
    return output;
}

}  // namespace

std::string ProgramDirectory() {
    char path[512] = {};
    GetModuleFileNameA(nullptr, path, sizeof path - 1);
    return ProgramDirectoryOf(path);
}

std::string RunAndCapture(const std::string& commandLine, const InterruptibleSleep& pause) {
    if (!pause(0)) return kRunnerFailureText;  // stopping: no new child
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return kRunnerFailureText;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;

    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');  // CreateProcessA may write into the command line
    PROCESS_INFORMATION child{};
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
                                        DETACHED_PROCESS, nullptr, nullptr, &startup, &child);
    CloseHandle(writeEnd);  // the child holds its own copy
    if (!started) {
        CloseHandle(readEnd);
        return kRunnerFailureText;
    }
    CloseHandle(child.hThread);
    std::string output = CollectOutput(readEnd, child.hProcess, pause);
    CloseHandle(child.hProcess);
    CloseHandle(readEnd);
    // Cut short by a stop, the output says nothing: the run failed.
    if (!pause(0)) return kRunnerFailureText;
    return output;
}

bool ForwardPhonePort(const InterruptibleSleep& pause) {
    return ForwardSucceeded(RunAndCapture(ForwardCommandLine(ProgramDirectory()), pause));
}

bool StartPhoneApp(const InterruptibleSleep& pause) {
    const std::string directory = ProgramDirectory();
    const std::string start = StartAppCommandLine(directory);
    if (StartSaysAppMissing(RunAndCapture(start, pause))) {
        RunAndCapture(InstallAppCommandLine(directory), pause);
        RunAndCapture(start, pause);
    }
    return true;
}

}  // namespace pavix

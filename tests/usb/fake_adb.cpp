// A stand-in for the Android debug bridge, built as adb.exe for tests. What
// it does is scripted through the environment, which it inherits from the
// test:
//   FAKE_ADB_LOG       file that gets one line per run: the command line
//   FAKE_ADB_FORWARD   behaviour for "forward ...", likewise
//   FAKE_ADB_START     for "shell am start ...", and FAKE_ADB_INSTALL
//   FAKE_ADB_ONCE      a file: the first "forward" run that finds it takes
//                      it away and behaves as the file says instead of
//                      FAKE_ADB_FORWARD (one run of several, chosen by the
//                      test at the moment it creates the file)
// Behaviours: unset or empty: print nothing and exit; "print:TEXT": print
// TEXT and exit; "silent": say nothing and stay alive; "chatty:N": print a
// line every 300 ms for N seconds, then exit; "descendant:TEXT": print TEXT,
// leave a silent child holding the output, and exit; "pause:MS": say
// nothing for MS milliseconds, then exit.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void Log() {
    const std::string path = Env("FAKE_ADB_LOG");
    if (path.empty()) return;
    if (FILE* log = std::fopen(path.c_str(), "a")) {
        std::fprintf(log, "%s\n", GetCommandLineA());
        std::fclose(log);
    }
}

// The behaviour in the FAKE_ADB_ONCE file, if this run is the one that
// takes the file.
bool TakeOnce(std::string* behaviour) {
    const std::string path = Env("FAKE_ADB_ONCE");
    if (path.empty()) return false;
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return false;
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    // Of two runs that both read it, only one can delete it.
    if (!DeleteFileA(path.c_str())) return false;
    *behaviour = read ? line : "";
    while (!behaviour->empty() && (behaviour->back() == '\n' || behaviour->back() == '\r')) {
        behaviour->pop_back();
    }
    return true;
}

void LeaveDescendant() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line = std::string("\"") + self + "\" linger";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &child)) {
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "linger") == 0) {
        Sleep(4000);  // long enough to outlive the runner's liveness check
        return 0;
    }
    Log();
    const char* verb = argc > 1 ? argv[1] : "";
    std::string once;
    const bool forward = std::strcmp(verb, "forward") == 0;
    const std::string behaviour = forward && TakeOnce(&once) ? once
                                  : forward ? Env("FAKE_ADB_FORWARD")
                                  : std::strcmp(verb, "shell") == 0 ? Env("FAKE_ADB_START")
                                  : std::strcmp(verb, "install") == 0 ? Env("FAKE_ADB_INSTALL")
                                                                     : std::string();
    const std::size_t colon = behaviour.find(':');
    const std::string kind = behaviour.substr(0, colon);
    const std::string text = colon == std::string::npos ? "" : behaviour.substr(colon + 1);

    if (kind == "print") {
        std::printf("%s\n", text.c_str());
    } else if (kind == "silent") {
        Sleep(60000);
    } else if (kind == "chatty") {
        for (int i = 0; i < std::atoi(text.c_str()) * 1000 / 300; ++i) {
            std::printf("line %d\n", i);
            std::fflush(stdout);
            Sleep(300);
        }
    } else if (kind == "pause") {
        Sleep(static_cast<DWORD>(std::atoi(text.c_str())));
    } else if (kind == "descendant") {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
        LeaveDescendant();
    }
    return 0;
}

// Holds a file in use for the install tests, as other programs on a PC
// would while Pavix is upgraded or uninstalled:
//
//   hold_file load FILE STOP   loads FILE as a module, as a video application
//                              loads the camera filter (Windows then refuses
//                              to delete or overwrite it, but renames it)
//   hold_file lock FILE STOP   opens FILE for reading and shares only
//                              reading, as a virus scanner might (it can be
//                              neither deleted nor renamed)
//
// Prints "holding" once it holds FILE, then holds it until the file STOP
// exists (at most ten minutes), lets go and ends with 0.

#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4 || (std::wcscmp(argv[1], L"load") != 0 && std::wcscmp(argv[1], L"lock") != 0)) {
        std::fprintf(stderr, "usage: hold_file load|lock FILE STOP\n");
        return 2;
    }
    const bool load = std::wcscmp(argv[1], L"load") == 0;
    HMODULE module = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (load) {
        module = LoadLibraryExW(argv[2], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } else {
        file = CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (module == nullptr && file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "hold_file: cannot %ls %ls (error %lu)\n", argv[1], argv[2],
                     GetLastError());
        return 1;
    }
    std::printf("holding\n");
    std::fflush(stdout);
    for (int i = 0; i < 10 * 60 * 20 && GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(50);
    }
    if (module != nullptr) FreeLibrary(module);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return 0;
}

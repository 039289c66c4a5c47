#include "shared/hd_object_names.h"

#include "shared/shared_frame_buffer.h"

namespace pavix {

std::string GlobalObjectName(const char* name) { return std::string(kGlobalNamePrefix) + name; }

std::string ObjectName(const char* name, bool global) {
    return global ? GlobalObjectName(name) : std::string(name);
}

HANDLE CreateSharedObjectSection(const char* name, std::size_t size, SharedObjectKind kind,
                                 bool tryGlobal, bool* global) {
    SharedObjectSecurity security(kind);
    *global = false;
    for (const bool inGlobal : {true, false}) {
        if (inGlobal && !tryGlobal) continue;
        // A process that may not create global objects (not elevated: no
        // SeCreateGlobalPrivilege) is refused the global name, and makes
        // the object in its own session.
        HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, security.Attributes(),
                                            PAGE_READWRITE, 0, static_cast<DWORD>(size),
                                            ObjectName(name, inGlobal).c_str());
        if (section == nullptr) continue;
        // Made earlier by someone else: from now on it has our security
        // (best effort; it works as it is).
        if (GetLastError() == ERROR_ALREADY_EXISTS) security.ApplyTo(section);
        *global = inGlobal;
        return section;
    }
    return nullptr;
}

HANDLE OpenSharedObjectSection(const char* name, DWORD access, bool* global) {
    *global = true;
    HANDLE section = OpenFileMappingA(access, FALSE, GlobalObjectName(name).c_str());
    if (section == nullptr) {
        *global = false;
        section = OpenFileMappingA(access, FALSE, name);
    }
    return section;
}

int CreateSharedObjectView(const char* name, std::size_t size, SharedObjectKind kind,
                           bool tryGlobal, HANDLE* mapping, void** view, bool* global) {
    HANDLE section = CreateSharedObjectSection(name, size, kind, tryGlobal, global);
    return MapSectionView(section, size, FILE_MAP_WRITE, mapping, view);
}

int OpenSharedObjectView(const char* name, std::size_t size, bool write, HANDLE* mapping,
                         void** view, bool* global) {
    HANDLE section =
        OpenSharedObjectSection(name, write ? FILE_MAP_READ | FILE_MAP_WRITE : FILE_MAP_READ, global);
    return MapSectionView(section, size, write ? FILE_MAP_WRITE : FILE_MAP_READ, mapping, view);
}

}  // namespace pavix

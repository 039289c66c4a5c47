#pragma once

// Creating and opening the HD camera's named objects (its picture block,
// the request section and the new-picture events) in the namespace every
// session sees, Global\, or in the caller's session when that is refused.
// pavix.exe creates them (global when it may: it runs elevated); the
// cameras open them, the global name first. Windows only.

#include <windows.h>

#include <cstddef>
#include <string>

#include "shared/hd_picture_block.h"
#include "shared/shared_object_security.h"

namespace pavix {

// "Global\" + name.
std::string GlobalObjectName(const char* name);
// `name` as it is, or with the global prefix.
std::string ObjectName(const char* name, bool global);

// Creates the section `name` of `size` bytes, or opens the existing one,
// with the security of `kind` (put on an existing one too). Tries the global
// name first when `tryGlobal`; *global tells which it got. Null on failure.
HANDLE CreateSharedObjectSection(const char* name, std::size_t size, SharedObjectKind kind,
                                 bool tryGlobal, bool* global);

// Opens the existing section `name` with `access`, the global name first;
// never creates it. *global tells which it found. Null when there is none.
HANDLE OpenSharedObjectSection(const char* name, DWORD access, bool* global);

// Either of the above, then a view of exactly `size` bytes (a smaller
// section of that name is refused): for writing when created, for reading
// and writing or for reading only when opened, as `write` says. 1 with both
// places filled, or 0 with both null and nothing left open.
int CreateSharedObjectView(const char* name, std::size_t size, SharedObjectKind kind,
                           bool tryGlobal, HANDLE* mapping, void** view, bool* global);
int OpenSharedObjectView(const char* name, std::size_t size, bool write, HANDLE* mapping,
                         void** view, bool* global);

}  // namespace pavix

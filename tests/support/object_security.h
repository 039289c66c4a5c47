#pragma once

// Reading a shared object's security back, for the tests of the objects
// pavix.exe and the cameras share: its access list as text, its integrity
// label, and what a given token would be granted by the system's own
// access check. Windows only.

#include <windows.h>

#include <string>

namespace pavix::testing {

// A live object's descriptor with owner and group (AccessCheck needs them).
struct LiveDescriptor {
    explicit LiveDescriptor(HANDLE object);
    ~LiveDescriptor();
    LiveDescriptor(const LiveDescriptor&) = delete;
    LiveDescriptor& operator=(const LiveDescriptor&) = delete;
    // The access list and label in the descriptor language, for messages.
    std::string Text() const;

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = 0;
};

// The access list's entries as "who:mask" in order, e.g. "AU:20005 ".
std::string Entries(PSECURITY_DESCRIPTOR descriptor);

// The integrity label's level and policy as "level/policy", or "" without.
std::string Label(PSECURITY_DESCRIPTOR descriptor);

// The rights of sections and of events, for AccessCheck.
extern const GENERIC_MAPPING kSectionMapping;
extern const GENERIC_MAPPING kEventMapping;

// What `token` is granted of `wanted` on an object with `descriptor`, by the
// system's own access check (0 when refused).
DWORD Granted(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD wanted,
              const GENERIC_MAPPING& mapping = kSectionMapping);

// This process's token for AccessCheck, whole (an elevated administrator,
// as pavix.exe runs) or with Administrators deny-only (the filtered token
// of an administrator's applications that are not elevated).
HANDLE CheckToken(bool administrator);

}  // namespace pavix::testing

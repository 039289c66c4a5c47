#pragma once

// The security of every named object pavix.exe and the camera filter share
// (the shared frame buffer and its sequence section; the HD camera's picture
// block, request section and new-picture events, each as its kind says). pavix.exe always runs
// elevated, and an elevated process's default security lets only
// Administrators and SYSTEM in: a video application at Medium integrity (its
// Administrators group deny-only) could then not open the block at all. So
// both programs create these objects with one explicit descriptor:
//   - Authenticated Users may map them for reading (and query them and read
//     their descriptor);
//   - Administrators and SYSTEM have full access: only an elevated
//     pavix.exe can put pictures into the camera;
//   - the owner (OWNER RIGHTS) may read only, so that a non-elevated
//     process that made the object cannot rewrite its access list;
//   - a Low mandatory label with no-write-up, so that Low integrity
//     processes (browser capture processes) may read too.
// The HD camera's objects differ where their use does (SharedObjectKind).
// Windows only.

#include <windows.h>

namespace pavix {

// What the descriptor grants a reader: STANDARD_RIGHTS_READ | SECTION_QUERY
// | SECTION_MAP_READ.
inline constexpr DWORD kSharedReadAccess = 0x00020005;
// What it grants Administrators and SYSTEM: SECTION_ALL_ACCESS.
inline constexpr DWORD kSharedFullAccess = 0x000F001F;

// What SECTION_MAP_READ | SECTION_MAP_WRITE and the reading rights grant a
// camera on the request section: it writes its own slot there.
inline constexpr DWORD kSharedRequestAccess = 0x00020007;
// What a camera may do with a new-picture event: wait for it (SYNCHRONIZE),
// nothing else; Administrators and SYSTEM: EVENT_ALL_ACCESS.
inline constexpr DWORD kSharedWaitAccess = 0x00100000;
inline constexpr DWORD kSharedEventFullAccess = 0x001F0003;

// Which object a descriptor is for. Every kind has Administrators and SYSTEM
// with full access, the owner no more than the readers, and the Low label.
enum class SharedObjectKind {
    // PavixShMem and PavixShMemSequence: Authenticated Users read.
    FrameBuffer,
    // PavixHdPicture: as FrameBuffer, and Local Service (the session-0
    // camera service) reads too.
    PictureBlock,
    // PavixHdRequest: Authenticated Users and Local Service map it for
    // reading and writing: each camera claims and refreshes its slot.
    RequestSection,
    // PavixHdReady<i>: Authenticated Users and Local Service may wait on
    // them and not set them: only pavix.exe says a picture is there.
    ReadyEvent,
};

// The descriptor, built once per object of this class.
class SharedObjectSecurity {
public:
    explicit SharedObjectSecurity(SharedObjectKind kind = SharedObjectKind::FrameBuffer);
    ~SharedObjectSecurity();
    SharedObjectSecurity(const SharedObjectSecurity&) = delete;
    SharedObjectSecurity& operator=(const SharedObjectSecurity&) = delete;

    // For creating an object; null when the descriptor could not be built
    // (the object then gets the creator's default security, as before).
    SECURITY_ATTRIBUTES* Attributes();
    PSECURITY_DESCRIPTOR Descriptor() const { return descriptor_; }

    // Puts the descriptor's access list and label on an object that exists
    // already (made by an older filter with its process's default
    // security). Needs WRITE_DAC and WRITE_OWNER on `object`; false when
    // that or the descriptor is missing.
    bool ApplyTo(HANDLE object) const;

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_ = {};
};

}  // namespace pavix

#include "shared/shared_object_security.h"

#include <aclapi.h>
#include <sddl.h>

namespace pavix {
namespace {

// Read (0x20005) for Authenticated Users, all (0xf001f) for Administrators
// and SYSTEM; read only for the owner too (OWNER RIGHTS): a filter in a
// video application that made the object is its owner, and an owner may
// otherwise always rewrite the access list and so grant itself write. The
// access list protected from inheritance; a Low label that refuses writes
// from below it. Explicit masks rather than GR/GA, so that what is stored
// is what is written here on every version of Windows.
constexpr wchar_t kFrameBufferDescriptor[] =
    L"D:P(A;;0x20005;;;AU)(A;;0xf001f;;;BA)(A;;0xf001f;;;SY)(A;;0x20005;;;OW)"
    L"S:(ML;;NW;;;LW)";
// The HD objects: Local Service (LS) as any signed-in user. The request
// section adds SECTION_MAP_WRITE (0x2) for the readers; the events give
// them SYNCHRONIZE (0x100000) only, and EVENT_ALL_ACCESS (0x1f0003) to
// Administrators and SYSTEM.
constexpr wchar_t kPictureBlockDescriptor[] =
    L"D:P(A;;0x20005;;;AU)(A;;0x20005;;;LS)(A;;0xf001f;;;BA)(A;;0xf001f;;;SY)(A;;0x20005;;;OW)"
    L"S:(ML;;NW;;;LW)";
constexpr wchar_t kRequestSectionDescriptor[] =
    L"D:P(A;;0x20007;;;AU)(A;;0x20007;;;LS)(A;;0xf001f;;;BA)(A;;0xf001f;;;SY)(A;;0x20007;;;OW)"
    L"S:(ML;;NW;;;LW)";
constexpr wchar_t kReadyEventDescriptor[] =
    L"D:P(A;;0x100000;;;AU)(A;;0x100000;;;LS)(A;;0x1f0003;;;BA)(A;;0x1f0003;;;SY)"
    L"(A;;0x100000;;;OW)S:(ML;;NW;;;LW)";

const wchar_t* DescriptorText(SharedObjectKind kind) {
    switch (kind) {
    case SharedObjectKind::PictureBlock:
        return kPictureBlockDescriptor;
    case SharedObjectKind::RequestSection:
        return kRequestSectionDescriptor;
    case SharedObjectKind::ReadyEvent:
        return kReadyEventDescriptor;
    case SharedObjectKind::FrameBuffer:
        break;
    }
    return kFrameBufferDescriptor;
}

}  // namespace

SharedObjectSecurity::SharedObjectSecurity(SharedObjectKind kind) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(DescriptorText(kind), SDDL_REVISION_1,
                                                              &descriptor_, nullptr)) {
        descriptor_ = nullptr;
    }
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
}

SharedObjectSecurity::~SharedObjectSecurity() {
    if (descriptor_ != nullptr) LocalFree(descriptor_);
}

SECURITY_ATTRIBUTES* SharedObjectSecurity::Attributes() {
    return descriptor_ != nullptr ? &attributes_ : nullptr;
}

bool SharedObjectSecurity::ApplyTo(HANDLE object) const {
    if (descriptor_ == nullptr || object == nullptr) return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    PACL sacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor_, &present, &dacl, &defaulted) || !present) {
        return false;
    }
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
    if (GetSecurityDescriptorSacl(descriptor_, &present, &sacl, &defaulted) && present) {
        what |= LABEL_SECURITY_INFORMATION;
    } else {
        sacl = nullptr;
    }
    return SetSecurityInfo(object, SE_KERNEL_OBJECT, what, nullptr, nullptr, dacl, sacl) ==
           ERROR_SUCCESS;
}

}  // namespace pavix

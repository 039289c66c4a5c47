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
constexpr wchar_t kDescriptor[] =
    L"D:P(A;;0x20005;;;AU)(A;;0xf001f;;;BA)(A;;0xf001f;;;SY)(A;;0x20005;;;OW)"
    L"S:(ML;;NW;;;LW)";

}  // namespace

SharedObjectSecurity::SharedObjectSecurity() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kDescriptor, SDDL_REVISION_1,
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

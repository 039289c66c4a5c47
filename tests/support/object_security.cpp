#include "tests/support/object_security.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

namespace pavix::testing {

LiveDescriptor::LiveDescriptor(HANDLE object) {
    error = GetSecurityInfo(object, SE_KERNEL_OBJECT,
                            OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, &descriptor);
}

LiveDescriptor::~LiveDescriptor() { LocalFree(descriptor); }

std::string LiveDescriptor::Text() const {
    LPSTR text = nullptr;
    if (descriptor == nullptr ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
            &text, nullptr)) {
        return "(none)";
    }
    std::string result = text;
    LocalFree(text);
    return result;
}

namespace {

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(buffer);
    return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

}  // namespace

std::string Entries(PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (descriptor == nullptr || !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
        !present || dacl == nullptr) {
        return "(no access list)";
    }
    std::string entries;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) return "(bad entry)";
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            entries += "type" + std::to_string(header->AceType) + " ";
            continue;
        }
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        PSID sid = &ace->SidStart;
        const char* who = IsWellKnown(sid, WinAuthenticatedUserSid)      ? "AU"
                          : IsWellKnown(sid, WinBuiltinAdministratorsSid) ? "BA"
                          : IsWellKnown(sid, WinLocalSystemSid)           ? "SY"
                          : IsWellKnown(sid, WinCreatorOwnerRightsSid)    ? "OW"
                          : IsWellKnown(sid, WinLocalServiceSid)          ? "LS"
                                                                          : "other";
        char mask[16];
        wsprintfA(mask, "%lx", ace->Mask);
        entries += std::string(who) + ":" + mask + " ";
    }
    return entries;
}

std::string Label(PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL sacl = nullptr;
    if (descriptor == nullptr || !GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted) ||
        !present || sacl == nullptr) {
        return "";
    }
    for (DWORD i = 0; i < sacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (GetAce(sacl, i, reinterpret_cast<void**>(&header)) &&
            header->AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE) {
            auto* ace = reinterpret_cast<SYSTEM_MANDATORY_LABEL_ACE*>(header);
            PSID sid = &ace->SidStart;
            const DWORD level = *GetSidSubAuthority(sid, 0);
            return std::to_string(level) + "/" + std::to_string(ace->Mask);
        }
    }
    return "";
}

const GENERIC_MAPPING kSectionMapping = {STANDARD_RIGHTS_READ | SECTION_QUERY | SECTION_MAP_READ,
                                         STANDARD_RIGHTS_WRITE | SECTION_MAP_WRITE,
                                         STANDARD_RIGHTS_EXECUTE | SECTION_MAP_EXECUTE,
                                         SECTION_ALL_ACCESS};
// EVENT_QUERY_STATE (0x1): mingw's headers leave it out.
const GENERIC_MAPPING kEventMapping = {STANDARD_RIGHTS_READ | 0x0001,
                                       STANDARD_RIGHTS_WRITE | EVENT_MODIFY_STATE,
                                       STANDARD_RIGHTS_EXECUTE | SYNCHRONIZE, EVENT_ALL_ACCESS};

DWORD Granted(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD wanted,
              const GENERIC_MAPPING& mapping) {
    GENERIC_MAPPING generic = mapping;
    PRIVILEGE_SET privileges;
    DWORD privilegesSize = sizeof(privileges);
    DWORD granted = 0;
    BOOL allowed = FALSE;
    if (!AccessCheck(descriptor, token, wanted, &generic, &privileges, &privilegesSize, &granted,
                     &allowed)) {
        ADD_FAILURE() << "AccessCheck failed: " << GetLastError();
        return 0;
    }
    return allowed ? granted : 0;
}

HANDLE CheckToken(bool administrator) {
    HANDLE process = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process)) return nullptr;
    HANDLE token = process;
    if (!administrator) {
        BYTE admins[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(admins);
        CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size);
        SID_AND_ATTRIBUTES disabled = {admins, 0};
        if (!CreateRestrictedToken(process, 0, 1, &disabled, 0, nullptr, 0, nullptr, &token)) {
            token = nullptr;
        }
    }
    HANDLE impersonation = nullptr;
    if (token != nullptr) DuplicateToken(token, SecurityImpersonation, &impersonation);
    if (token != nullptr && token != process) CloseHandle(token);
    CloseHandle(process);
    return impersonation;
}

}  // namespace pavix::testing

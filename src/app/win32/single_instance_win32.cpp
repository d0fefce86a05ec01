#include "app/win32/single_instance_win32.h"

#include <aclapi.h>

#include "base/win32/handles_win32.h"

namespace {

void GrantToGroup(EXPLICIT_ACCESSW& access, DWORD dwAccess, TRUSTEE_TYPE trusteeType, PSID pSid)
{
    access.grfAccessPermissions = dwAccess;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = trusteeType;
    access.Trustee.ptstrName = static_cast<LPWSTR>(pSid);
}

}  // namespace

SECURITY_ATTRIBUTES BuildMutexSecurityAttributes(DWORD dwAccess)
{
    SECURITY_ATTRIBUTES failed{};

    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    PSID pEveryone = nullptr;
    if (!AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &pEveryone))
        return failed;
    CUniqueSid everyone(pEveryone);

    EXPLICIT_ACCESSW access[2]{};
    GrantToGroup(access[0], dwAccess, TRUSTEE_IS_WELL_KNOWN_GROUP, everyone.get());

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID pAdministrators = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, &pAdministrators))
        return failed;
    CUniqueSid administrators(pAdministrators);

    GrantToGroup(access[1], dwAccess, TRUSTEE_IS_GROUP, administrators.get());

    PACL pNewAcl = nullptr;
    if (SetEntriesInAclW(2, access, nullptr, &pNewAcl) != ERROR_SUCCESS)
        return failed;
    CUniqueLocal acl(pNewAcl);

    CUniqueLocal descriptor(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (!descriptor)
        return failed;
    if (!InitializeSecurityDescriptor(descriptor.get(), SECURITY_DESCRIPTOR_REVISION))
        return failed;
    if (!SetSecurityDescriptorDacl(descriptor.get(), TRUE, static_cast<PACL>(acl.get()), FALSE))
        return failed;

    // The descriptor points at the ACL, which holds copies of the SIDs; all
    // of it must outlive the mutex, which lives as long as the process.
    everyone.release();
    administrators.release();
    acl.release();
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor.release();
    attributes.bInheritHandle = FALSE;
    return attributes;
}

HANDLE AcquireSingleInstanceLock(const wchar_t* pszName, int nCreate)
{
    HANDLE hExisting = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, pszName);
    SECURITY_ATTRIBUTES attributes = BuildMutexSecurityAttributes(MUTEX_ALL_ACCESS);
    if (hExisting != nullptr) {
        CloseHandle(hExisting);
        return nullptr;
    }
    if (nCreate != 1)
        return SINGLE_INSTANCE_NOT_CREATED;
    SetLastError(ERROR_SUCCESS);
    HANDLE hMutex = CreateMutexW(attributes.nLength != 0 ? &attributes : nullptr, FALSE, pszName);
    // Two copies started at the same instant can both miss the open above;
    // the later creator gets the first one's mutex and must step back.
    if (hMutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(hMutex);
        return nullptr;
    }
    return hMutex;
}

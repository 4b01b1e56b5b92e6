// The claim: the Administrators namespace, made by this copy or opened where an elevated copy
// made it, and the mutex in it. What cannot be had counts as "another copy may be at work": in
// a namespace that only administrators reach, no standard user can cause that.
#include "shell/single_instance.h"

#include <sddl.h>

#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const wchar_t kNamespace[] = L"cardsetup";
static const wchar_t kMutexInNamespace[] = L"cardsetup\\installer";
static const wchar_t kGlobalMutex[] = L"Global\\cardsetup-installer";
// The namespace and the mutexes: SYSTEM and Administrators only.
static const wchar_t kAdministratorsOnly[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

NamespaceFunctions g_namespaceFunctions = {
    CreateBoundaryDescriptorW, AddSIDToBoundaryDescriptor, CreatePrivateNamespaceW,
    OpenPrivateNamespaceW,     ClosePrivateNamespace,      DeleteBoundaryDescriptor,
    CreateMutexW,
};

// The namespace of the Administrators boundary, or NULL; *supported says whether Windows makes
// boundaries at all.
static HANDLE OpenAdministratorsNamespace(LPSECURITY_ATTRIBUTES attributes, bool* supported)
{
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    HANDLE boundary = g_namespaceFunctions.createBoundary(kNamespace, 0);
    HANDLE space = NULL;

    *supported = boundary != NULL;
    if (boundary == NULL)
        return NULL;
    if (CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, administrators, &size) &&
        g_namespaceFunctions.addSid(&boundary, administrators)) {
        space = g_namespaceFunctions.createNamespace(attributes, boundary, kNamespace);
        if (space == NULL && GetLastError() == ERROR_ALREADY_EXISTS)
            space = g_namespaceFunctions.openNamespace(boundary, kNamespace);
    }
    g_namespaceFunctions.deleteBoundary(boundary);
    return space;
}

InstanceClaim ClaimSingleInstance(InstanceLock* lock)
{
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), NULL, FALSE};
    InstanceClaim claim = InstanceUnavailable;
    bool supported;

    lock->space = lock->mutex = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kAdministratorsOnly, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, NULL))
        return InstanceUnavailable;
    lock->space = OpenAdministratorsNamespace(&attributes, &supported);
    if (lock->space != NULL || !supported)
        lock->mutex = g_namespaceFunctions.createMutex(
            &attributes, TRUE, lock->space != NULL ? kMutexInNamespace : kGlobalMutex);
    if (lock->mutex != NULL)
        claim = GetLastError() == ERROR_ALREADY_EXISTS ? InstanceRunning : InstanceClaimed;
    LocalFree(attributes.lpSecurityDescriptor);
    return claim;
}

void ReleaseSingleInstance(InstanceLock* lock)
{
    if (lock->mutex != NULL) {
        ReleaseMutex(lock->mutex);
        CloseHandle(lock->mutex);
    }
    if (lock->space != NULL)
        g_namespaceFunctions.closeNamespace(lock->space, 0);
    lock->space = lock->mutex = NULL;
}

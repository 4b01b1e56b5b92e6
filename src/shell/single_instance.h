// One installer at a time, in every session: two runs would race for the one-time backups. The
// mutex lives in a private namespace whose boundary is the Administrators group, so only an
// elevated copy can create the name: a standard user can neither take it first (and block every
// deployment) nor make a second copy run beside the first.
#pragma once

#include <windows.h>

// The namespace functions, looked up by a test that puts its own double in their place (Wine 8
// lacks them: CreateBoundaryDescriptorW fails, AddSIDToBoundaryDescriptor is not there at all).
struct NamespaceFunctions {
    HANDLE(WINAPI* createBoundary)(LPCWSTR name, ULONG flags);
    BOOL(WINAPI* addSid)(HANDLE* boundary, PSID sid);
    HANDLE(WINAPI* createNamespace)(LPSECURITY_ATTRIBUTES attributes, LPVOID boundary,
                                    LPCWSTR prefix);
    HANDLE(WINAPI* openNamespace)(LPVOID boundary, LPCWSTR prefix);
    BOOLEAN(WINAPI* closeNamespace)(HANDLE space, ULONG flags);
    VOID(WINAPI* deleteBoundary)(HANDLE boundary);
    HANDLE(WINAPI* createMutex)(LPSECURITY_ATTRIBUTES attributes, BOOL owned, LPCWSTR name);
};
extern NamespaceFunctions g_namespaceFunctions;

enum InstanceClaim {
    InstanceClaimed,      // this copy runs; the others wait for it
    InstanceRunning,      // another copy is at work
    InstanceUnavailable,  // the name could not be had: running could not be ruled out
};

struct InstanceLock {
    HANDLE space;  // the private namespace, or NULL where there is none
    HANDLE mutex;
};

// Claims the one installer's place. Where Windows has no private namespace (Wine), a mutex
// named in the global namespace, which only administrators may open, stands in.
InstanceClaim ClaimSingleInstance(InstanceLock* lock);
void ReleaseSingleInstance(InstanceLock* lock);

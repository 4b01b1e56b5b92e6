// Administrator rights are read from the token: elevated, or a member of Administrators as
// Windows counts it (CheckTokenMembership: the group enabled, as with UAC off, not deny-only as in
// a filtered token), or SYSTEM. An elevated account outside Administrators still fails the claim.
#include "shell/elevation.h"

#include "deploy/process_token.h"
#include "shell/quiet_run.h"
#include "shell/run_facts.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kNoRightsLog[] = "Brak uprawnień administratora: nic nie zmieniono";
static const char kNoRightsText[] =
    "Instalator wymaga uprawnień administratora. Uruchom go ponownie jako administrator.";
static const char kRunningLog[] = "Instalator już działa: nic nie zmieniono";
static const char kRunningText[] = "Instalator już działa (być może w innej sesji użytkownika).";
static const char kUnavailableLog[] =
    "Nie można sprawdzić, czy instalator już działa: nic nie zmieniono";
static const char kUnavailableText[] =
    "Nie można sprawdzić, czy instalator już działa, więc nic nie zmieniono.";

bool (*g_hasAdministratorRights)() = HasAdministratorRights;

static bool TokenElevated()
{
    bool elevated;

    return ReadTokenElevation(&elevated) && elevated;
}

static bool AdministratorsMember()
{
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    BOOL member = FALSE;

    return CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, administrators, &size) &&
           CheckTokenMembership(NULL, administrators, &member) && member;
}

bool HasAdministratorRights()
{
    return TokenElevated() || AdministratorsMember() || RunningAsSystem();
}

InstanceClaim ClaimTheRun(InstanceLock* lock, bool* rights)
{
    lock->space = lock->mutex = NULL;
    *rights = g_hasAdministratorRights();
    return *rights ? ClaimSingleInstance(lock) : InstanceUnavailable;
}

static StartRefusal Refusal(int quietExitCode, bool quiet, const char* logLine,
                            const char* message, UINT icon)
{
    StartRefusal refusal = {quiet ? quietExitCode : 0, logLine, quiet ? NULL : message, icon};
    return refusal;
}

bool RefuseStart(bool rights, InstanceClaim claim, bool quiet, bool runningWindowShown,
                 StartRefusal* refusal)
{
    if (!rights)
        *refusal = Refusal(kExitFailed, quiet, kNoRightsLog, kNoRightsText, MB_ICONERROR);
    else if (claim == InstanceRunning)
        *refusal = Refusal(kExitAlreadyRunning, quiet, kRunningLog,
                           runningWindowShown ? NULL : kRunningText, MB_ICONINFORMATION);
    else if (claim != InstanceClaimed)
        *refusal = Refusal(kExitFailed, quiet, kUnavailableLog, kUnavailableText, MB_ICONERROR);
    return !rights || claim != InstanceClaimed;
}

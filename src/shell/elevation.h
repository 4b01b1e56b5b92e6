// Whether this copy may run at all, and how a start that may not ends. The runtimes' folders,
// HKLM and the one-at-a-time rule's namespace need administrator rights, which UAC turned off or
// __COMPAT_LAYER=RunAsInvoker withhold whatever the manifest asks.
#pragma once

#include "shell/single_instance.h"

// Whether the process has administrator rights: an elevated token, the Administrators group
// enabled in it (UAC off), or SYSTEM. A pointer, so that tests answer in its place: every Wine
// process runs elevated.
extern bool (*g_hasAdministratorRights)();
bool HasAdministratorRights();

// The rights first, then, only with them, the one installer's place (a namespace that only
// administrators can make). *rights says whether the rights were there; without them the claim
// is InstanceUnavailable and lock holds nothing.
InstanceClaim ClaimTheRun(InstanceLock* lock, bool* rights);

// How a start ends that does not run: its exit code, its log line, and the message box an
// interactive start shows (NULL for none) with its icon.
struct StartRefusal {
    int exitCode;
    const char* logLine;
    const char* message;
    UINT icon;
};

// Whether a start with these rights and this claim is refused, and how. A quiet one ends 1618
// only where another copy really holds the place, 1603 otherwise; an interactive one ends 0, as
// every interactive run does, and says why in a box, unless another copy's window was brought
// to the front (runningWindowShown).
bool RefuseStart(bool rights, InstanceClaim claim, bool quiet, bool runningWindowShown,
                 StartRefusal* refusal);

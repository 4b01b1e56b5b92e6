// Copying one file over whatever stands at its destination. When the copy fails and both files
// can be examined, the user decides in an Abort/Retry/Ignore prompt that shows both files.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "deploy/status.h"

// Capacity of the buffer the prompt's text is composed in.
const size_t kConflictTextCapacity = 512;

// What the prompt shows of one file: its name as passed, full size and UTC last-write time.
struct ConflictFileFacts {
    const char* name;
    uint64_t size;
    SYSTEMTIME written;
};

// Composes the prompt's text into text (capacity characters). The numbers and the fixed text are
// always shown whole; when the two names would not fit, their beginnings give way to "...".
void ComposeConflictText(char* text, size_t capacity, const ConflictFileFacts* source,
                         const ConflictFileFacts* destination);

// The attributes a destination is given when the user answers Retry: CopyFile refuses to replace
// a read-only, hidden or system file, so those go; every other attribute stays.
DWORD AttributesForRetry(DWORD attributes);

// Why a file could not be replaced or removed, as a run with no one to ask needs to know it.
enum FileRefusal {
    RefusalInUse,      // another program holds it: it may be let go, or replaced at the restart
    RefusalProtected,  // its marks or its permissions forbid the change: it stays as it is
    RefusalOther,      // it can be opened for the change now: the refusal came from elsewhere
};
// The refusal from the file's attributes and the error of opening it for a change
// (g_openForChange).
FileRefusal RefusalOf(DWORD attributes, DWORD openError);

// Decides a copy conflict in place of the prompt, where a run without anyone at the screen puts
// one: IDABORT, IDRETRY, IDIGNORE, or IDTRYAGAIN to try the copy once more and change nothing.
// pass counts this copy's failed attempts, from 1.
// kReplaceAtRestart: leave the file in use now and have Windows replace it at the next restart.
const int kReplaceAtRestart = IDCONTINUE;
typedef int (*ConflictDecider)(const char* source, const char* destination, int pass,
                               FileRefusal refusal);
extern ConflictDecider g_decideConflict;  // NULL: the prompt asks the user

// What to do about destination, which could not be replaced by source (or removed): the same
// prompt as a failed copy, or a quiet run's decider. IDRETRY takes off the destination's
// attributes that refuse the change. Returns IDABORT, IDRETRY, IDIGNORE, IDTRYAGAIN or
// kReplaceAtRestart; 0 when the two files cannot both be examined (where a decider is set, a
// destination that another program holds so that it cannot be examined is still decided) or the
// prompt could not be shown.
int AskAboutFile(const char* source, const char* destination, int pass);

// Puts a copy of source at destination (ReplaceWithCopy: never half-written, never read-only;
// a destination with the same bytes stays as it is). On a conflict the user is asked;
// acceptIdentical accepts a destination with the same last-write time and size without asking.
// Returns CopyDone, CopyFailed or CopyAborted.
CopyResult CopyFileGuarded(const char* source, const char* destination, int acceptIdentical);

// The same for a file whose replacement must not wait for the restart, since what would stand
// there by then is unknown (a policy someone may still edit): one in use is left as it is.
CopyResult CopyFileGuardedNow(const char* source, const char* destination);

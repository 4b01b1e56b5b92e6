// What waits for the next restart. Windows keeps the renames and removals that MoveFileEx was
// asked to make at the restart in one registry value, carried out in order at boot; a later run
// reads it so that a file with a change waiting is not taken for one in place, a waiting copy is
// not taken for a leftover, and a run that undoes an earlier one takes its waiting changes back.
#pragma once

#include <windows.h>

// Where Windows keeps them: HKLM\<kSessionManagerKey>, value kPendingRenamesValue (REG_MULTI_SZ,
// pairs of "\??\source" and "!\??\target", an empty target for a removal).
extern const wchar_t kSessionManagerKey[];
extern const wchar_t kPendingRenamesValue[];

// Whether the file at path is the source of a change waiting for the restart.
bool IsPendingSource(const char* path);

// Whether a change waiting for the restart would replace or remove the file at path.
bool HasPendingChange(const char* path);

// Takes back every change waiting for the restart that would replace or remove the file at path,
// and removes the installer's own waiting copies that they would have moved there; other
// programs' entries stay as they are. True when one was taken back. The value is written
// through to the disk.
bool CancelPendingChanges(const char* path);

// Between these, the value is read once and kept, and read again only after this program has
// changed it (taken entries back, or scheduled one and called FlushPendingChanges).
void HoldPendingChanges();
void ReleasePendingChanges();

// Writes the session manager's key through to the disk, so that a change scheduled for the
// restart survives a power cut that follows the run's report.
void FlushPendingChanges();

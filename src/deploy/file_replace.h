// The one way the installer puts a file in place, so that a run cut off at any instant (killed,
// logged off, a power cut) never leaves a half-written file under a name the PC relies on: the
// bytes go to a temporary file beside the destination, are flushed, and one move puts them there.
#pragma once

#include <windows.h>

// The calls whose order decides what a power cut leaves behind, and the one that gives a new
// file the protection of the one it replaces. The tests put recorders here; otherwise they are
// FlushFileBuffers, MoveFileExA and SetFileSecurityA.
struct DurableFileCalls {
    BOOL(WINAPI* flush)(HANDLE file);
    BOOL(WINAPI* move)(LPCSTR existing, LPCSTR target, DWORD flags);
    BOOL(WINAPI* setSecurity)(LPCSTR file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR security);
};
extern DurableFileCalls g_durableFileCalls;

// The attributes with which Windows refuses to overwrite a file (CopyFile fails on them): such a
// file is refused here too, until Retry takes them off, and a quiet run leaves it as it is.
const DWORD kAttributesThatRefuseReplacement =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A temporary file of ours is "~ocf", eight lower-case hexadecimal digits and ".tmp", beside its
// destination: nothing else is ever taken for one. The name is short, as the Java homes are long.
bool IsTemporaryName(const char* name);

// The digits that the next temporary name will carry (eight hexadecimal ones in the name), for
// a test that plants something there first.
DWORD PeekTemporaryDigits();

// Removes the temporary files of ours that an interrupted run left in the directory of path;
// those that wait for the restart to be moved into place (pending renames) stay.
void RemoveLeftoverTemporaries(const char* path);

enum ContentComparison { ContentSame, ContentDifferent, ContentUnreadable };
// Whether the two files hold the same bytes, to the last one; ContentUnreadable when either
// cannot be opened or read, so nothing can be said.
ContentComparison CompareFileContent(const char* first, const char* second);
// Whether the two files can be read and hold the same bytes.
bool SameFileContent(const char* first, const char* second);

// Opens path for a change as a replacement needs it (writing and removal, sharing everything),
// closes it again and returns the error, or ERROR_SUCCESS. ERROR_ACCESS_DENIED: its permissions
// or its read-only mark forbid it; a sharing violation: another program holds it. Tests put
// doubles here for what only Windows shows.
extern DWORD (*g_openForChange)(const char* path);

// Puts a copy of source at destination, replacing what stands there; the copy keeps the
// destination's owner, permissions and label. A change that waited for the restart at
// destination is taken back first: this run decides anew. A destination that Windows keeps from
// being overwritten (read-only, hidden, system, or permissions that forbid writing) is refused
// with ERROR_ACCESS_DENIED before anything is written, as CopyFile refuses it. A destination that
// already holds source's bytes is left as it is. Returns ERROR_SUCCESS or the error; changed
// says whether the destination was written (may be NULL).
DWORD ReplaceWithCopy(const char* source, const char* destination, bool* changed);

// For a batch (copy_batch.h): writes source's bytes and the destination's security into a new
// file beside destination, not flushed and left open (its handle in *unflushed, for the caller to
// flush or close), its name in temporary; ERROR_ALREADY_EXISTS where destination holds those
// bytes already or refuses replacement by its marks. newFolder: the first copy into its folder,
// which removes the leftovers there.
DWORD WriteStagedCopy(const char* source, const char* destination, bool newFolder,
                      char* temporary, size_t capacity, HANDLE* unflushed);

// Puts size bytes at destination as the copies are put: written beside it, flushed, and moved
// over it written through. A Windows error code.
DWORD ReplaceWithBytes(const char* destination, const void* bytes, DWORD size);

// Puts a copy of source at destination only where nothing stands yet: ERROR_ALREADY_EXISTS
// otherwise. For backups, which appear only whole and are never replaced, and keep source's
// owner, permissions and label, so that putting one back gives the original's protection back.
DWORD PlaceNewCopy(const char* source, const char* destination);

// The lower-case drive letter of a path such as "C:\\...", or '\0' for another form.
char VolumeLetter(const char* path);
// Flushes a volume to the disk (which needs administrator rights): false where Windows refuses
// it (a network share; Wine has no volume flush).
bool FlushVolume(char letter);

// Flushes each volume that a file was moved into place on since the last call (which needs
// administrator rights): Windows promises a written-through move only for a copy and a delete,
// and a rename on one volume is on the disk only once the volume's journal is.
void FlushWrittenVolumes();

// Moves existing over target in one step, written through to the disk. A refusal that a virus
// scanner or an indexer causes for a moment is tried again briefly. Returns the error or
// ERROR_SUCCESS.
DWORD MoveIntoPlace(const char* existing, const char* target);

// For a file in use now: puts a flushed copy of source beside destination and has Windows move it
// over destination at the next restart, as Windows Installer does (a pending rename, which needs
// administrator rights); the key that holds the pending renames is written through to the disk.
// Returns the error or ERROR_SUCCESS.
DWORD ReplaceAtRestart(const char* source, const char* destination);

// Has Windows move existing over target at the next restart, or remove target when existing is
// NULL.
DWORD MoveAtRestart(const char* existing, const char* target);

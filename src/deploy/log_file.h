// Where the run's log is made and how. The installer runs elevated, often as SYSTEM, so a place
// that a standard user could prepare must not decide what it writes: the file is always created
// new, never through a link or a reparse point, and the default log lies in a folder that only
// administrators can write, under a name nobody can guess.
#pragma once

#include <stddef.h>
#include <windows.h>

typedef DWORD(WINAPI* TempPathFunction)(DWORD length, LPWSTR buffer);
typedef BOOLEAN(WINAPI* RandomFunction)(PVOID buffer, ULONG length);

// GetTempPath2W where Windows has it (Windows 11, Server 2022 and their later updates), else
// NULL. For SYSTEM it gives C:\Windows\SystemTemp, which only administrators can write.
extern TempPathFunction g_tempPath2;
// The random part of the default log's name: RtlGenRandom, unless a test has put its own here.
extern RandomFunction g_randomBytes;

// Whether what a handle reports is a plain file: no reparse point, no directory, one name only.
bool IsPlainFile(DWORD attributes, DWORD links);
// The same, asked of an open handle.
bool IsPlainFileHandle(HANDLE file);

// Whether an owner is one whose folder the installer may write its log into: Administrators,
// SYSTEM, or the installer's own account.
bool IsTrustedOwner(PSID owner);
// A folder that only SYSTEM and Administrators can write: made with that DACL, or taken when it
// is there already as a plain folder (no reparse point) of a trusted owner.
bool PrepareProtectedFolder(const wchar_t* path);

// The default log's folder (with its final backslash): GetTempPath2W's where Windows has it;
// else for SYSTEM a folder of its own below the Windows directory's Temp, which any user may
// write into, and for another account its own temporary directory.
bool DefaultLogFolder(bool system, wchar_t* folder, size_t capacity);

// Creates the default log, cardsetup-<random>.log, in the default folder; its path in path.
// INVALID_HANDLE_VALUE when none could be made.
HANDLE CreateDefaultLogFile(bool system, wchar_t* path, size_t capacity);
// Creates the log at the path asked for: a new file beside it, moved over the name, so that what
// the name held (an earlier run's log, a link, a reparse point) is replaced and never followed.
// INVALID_HANDLE_VALUE when it could not be made, and then nothing at path has changed.
HANDLE CreateNamedLogFile(const wchar_t* path);

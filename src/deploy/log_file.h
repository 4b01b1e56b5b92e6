// Where the run's log is made and how. The installer runs elevated, often as SYSTEM, so a place
// that a standard user could prepare must not decide what it writes: the file is always created
// new, never through a link or a reparse point, the log asked for only in a folder that no other
// account controls, and the default log in a folder only administrators can write.
#pragma once

#include <stddef.h>
#include <windows.h>

typedef DWORD(WINAPI* TempPathFunction)(DWORD length, LPWSTR buffer);
typedef BOOLEAN(WINAPI* RandomFunction)(PVOID buffer, ULONG length);
// Reads a folder's owner and DACL by its handle, as GetSecurityInfo does; the descriptor is
// freed with LocalFree. A Windows error code.
typedef DWORD (*FolderSecurityFunction)(HANDLE folder, PSECURITY_DESCRIPTOR* security);

// Why a log was not made where it was asked for. LogMade when it was.
enum LogRefusal {
    LogMade,
    LogPathUnusable,          // not a full path to a name in a folder on a drive or a share
    LogFolderNotOpened,       // a folder on the path could not be opened
    LogFolderIsLink,          // a folder on the path is a link, a junction or another reparse point
    LogFolderOwnerUntrusted,  // an elevated run: the folder's owner is another account
    LogFolderOpenToOthers,    // an elevated run: another account may write into the folder
    LogFolderSecurityUnread,  // an elevated run: the folder's owner and DACL could not be read
    LogFileNotMade,           // the file could not be made or moved over the name
};

// GetTempPath2W where Windows has it (Windows 11, Server 2022 and their later updates), else
// NULL. For SYSTEM it gives C:\Windows\SystemTemp, which only administrators can write.
extern TempPathFunction g_tempPath2;
// The random part of the default log's name: RtlGenRandom, unless a test has put its own here.
extern RandomFunction g_randomBytes;
// How a folder's security is read: GetSecurityInfo, unless a test has put its own here.
extern FolderSecurityFunction g_folderSecurity;

// Whether what a handle reports is a plain file: no reparse point, no directory, one name only.
bool IsPlainFile(DWORD attributes, DWORD links);
// The same, asked of an open handle.
bool IsPlainFileHandle(HANDLE file);

// Whether an owner is one whose folder the installer may write its log into: Administrators,
// SYSTEM, TrustedInstaller, or the installer's own account.
bool IsTrustedOwner(PSID owner);
// Whether a folder with this owner and DACL is one only trusted accounts control: a trusted
// owner, and no allow ACE that applies to the folder itself gives a right to write into it, to
// delete in it or to change its DACL or owner to anyone but SYSTEM, Administrators,
// TrustedInstaller, the installer's own account or the owner itself (CREATOR OWNER, OWNER
// RIGHTS). Deny ACEs are not weighed: they can only take rights away. No DACL lets everyone in.
LogRefusal JudgeFolderSecurity(PSECURITY_DESCRIPTOR security);
// A folder that only SYSTEM and Administrators can write: made with that DACL, or taken when it
// is there already as a plain folder (no reparse point) of a trusted owner that no other account
// may write into.
bool PrepareProtectedFolder(const wchar_t* path);

// The default log's folder (with its final backslash): GetTempPath2W's where Windows has it;
// else for SYSTEM a folder of its own below the Windows directory's Temp, which any user may
// write into, and for another account its own temporary directory. Where another account made
// SYSTEM's folder first, a new one named cardsetup-<random> is made beside it instead, and
// movedAside says so.
bool DefaultLogFolder(bool system, wchar_t* folder, size_t capacity, bool* movedAside = nullptr);

// Creates the default log, cardsetup-<random>.log, in the default folder; its path in path.
// INVALID_HANDLE_VALUE when none could be made.
HANDLE CreateDefaultLogFile(bool system, wchar_t* path, size_t capacity,
                            bool* movedAside = nullptr);
// Creates the log at the path asked for. The folders of the path are opened one by one, each
// inside the one before, and refused when one is a link or a reparse point; an elevated run also
// refuses a last folder that another account controls (JudgeFolderSecurity). Inside that folder,
// by its handle alone, temporaries an interrupted run left (cardsetup-<16 hex>.tmp) are removed,
// and a new file is made and moved over the name, so that what the name held (an earlier run's
// log, a link, a reparse point) is replaced and never followed. INVALID_HANDLE_VALUE when it
// could not be made, and then nothing at path has changed; why in refusal, with the Windows
// error, where there is one, in error.
HANDLE CreateNamedLogFile(const wchar_t* path, LogRefusal* refusal = nullptr,
                          DWORD* error = nullptr);
// The reason for a refusal, in Polish (code page 1250).
const char* LogRefusalText(LogRefusal refusal);

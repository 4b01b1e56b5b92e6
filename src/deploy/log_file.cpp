// A log file is made new and never through what a name holds: the default log by its name with
// CREATE_NEW and FILE_FLAG_OPEN_REPARSE_POINT, the log asked for inside the handle of its folder,
// with ntdll's calls, which take a folder's handle and a name in it where kernel32's take whole
// paths. A taken name fails and the next random one is tried. Each handle is checked after its
// open, since a check of the name races it.
#include "deploy/log_file.h"

#include <winternl.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <aclapi.h>

#include <stddef.h>
#include <string.h>
#include <wchar.h>

#include "deploy/process_token.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

// SYSTEM and Administrators only, owned by Administrators, not inheriting from the parent.
static const wchar_t kAdministratorsOnly[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
static const int kNameAttempts = 8;
// NT SERVICE\TrustedInstaller, which owns and writes the Windows directories, laid out as a SID:
// S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464.
static const struct {
    BYTE revision;
    BYTE count;
    BYTE authority[6];
    DWORD parts[6];
} kTrustedInstaller = {SID_REVISION, 6, {0, 0, 0, 0, 0, 5},
                       {80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u}};
// The rights over a folder that let an account put, replace or remove what it holds, or give
// itself those rights.
static const DWORD kFolderWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD |
                                        WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// A folder on the way to the log is held open for these, shared for reading and writing but not
// for deletion, so that it cannot be renamed or removed while it is in use.
static const DWORD kFolderAccess =
    FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
static const DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
static const ULONG kFileDirectoryInformation = 1;
static const ULONG kFileRenameInformation = 10;
// The temporary that the log asked for is made as, before it is moved over its name.
static const wchar_t kTemporaryPrefix[] = L"cardsetup-";
static const wchar_t kTemporarySuffix[] = L".tmp";
static const wchar_t kTemporaryPattern[] = L"cardsetup-*.tmp";
static const size_t kTemporaryLength = 30;  // cardsetup- + 16 hexadecimal digits + .tmp

typedef NTSTATUS(NTAPI* NtCreateFileFunction)(PHANDLE file, ACCESS_MASK access,
                                              POBJECT_ATTRIBUTES object, PIO_STATUS_BLOCK status,
                                              PLARGE_INTEGER size, ULONG attributes, ULONG share,
                                              ULONG disposition, ULONG options, PVOID extended,
                                              ULONG extendedLength);
typedef NTSTATUS(NTAPI* NtSetInformationFileFunction)(HANDLE file, PIO_STATUS_BLOCK status,
                                                      PVOID information, ULONG length,
                                                      ULONG informationClass);
typedef NTSTATUS(NTAPI* NtQueryDirectoryFileFunction)(HANDLE folder, HANDLE event, PVOID routine,
                                                      PVOID context, PIO_STATUS_BLOCK status,
                                                      PVOID entries, ULONG length,
                                                      ULONG informationClass, BOOLEAN single,
                                                      PUNICODE_STRING pattern, BOOLEAN restart);
typedef ULONG(NTAPI* StatusToErrorFunction)(NTSTATUS status);

struct NtFileCalls {
    NtCreateFileFunction createFile;
    NtSetInformationFileFunction setInformation;
    NtQueryDirectoryFileFunction queryDirectory;
    StatusToErrorFunction statusToError;
};

// FILE_DIRECTORY_INFORMATION, one entry of a folder as NtQueryDirectoryFile lists it.
struct FolderEntry {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER times[4];
    LARGE_INTEGER endOfFile;
    LARGE_INTEGER allocationSize;
    ULONG attributes;
    ULONG nameLength;  // in bytes
    WCHAR name[1];
};

static TempPathFunction LookUpTempPath2()
{
    return (TempPathFunction)(void*)GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                                   "GetTempPath2W");
}

static DWORD ReadFolderSecurity(HANDLE folder, PSECURITY_DESCRIPTOR* security)
{
    return GetSecurityInfo(folder, SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, NULL, NULL,
                           NULL, NULL, security);
}

TempPathFunction g_tempPath2 = LookUpTempPath2();
RandomFunction g_randomBytes = RtlGenRandom;
FolderSecurityFunction g_folderSecurity = ReadFolderSecurity;

// ntdll's file calls, looked up once rather than imported, as the program links no import
// library of ntdll; NULL when one is missing. All are there from Windows XP on, and in Wine.
static const NtFileCalls* NtCalls()
{
    static NtFileCalls calls;
    static bool looked = false;

    if (!looked) {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        calls.createFile = (NtCreateFileFunction)(void*)GetProcAddress(ntdll, "NtCreateFile");
        calls.setInformation =
            (NtSetInformationFileFunction)(void*)GetProcAddress(ntdll, "NtSetInformationFile");
        calls.queryDirectory =
            (NtQueryDirectoryFileFunction)(void*)GetProcAddress(ntdll, "NtQueryDirectoryFile");
        calls.statusToError =
            (StatusToErrorFunction)(void*)GetProcAddress(ntdll, "RtlNtStatusToDosError");
        looked = true;
    }
    return calls.createFile != NULL && calls.setInformation != NULL &&
                   calls.queryDirectory != NULL && calls.statusToError != NULL
               ? &calls
               : NULL;
}

bool IsPlainFile(DWORD attributes, DWORD links)
{
    return (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
           links == 1;
}

bool IsPlainFileHandle(HANDLE file)
{
    FILE_ATTRIBUTE_TAG_INFO tag;
    BY_HANDLE_FILE_INFORMATION information;

    return GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof(tag)) &&
           GetFileInformationByHandle(file, &information) &&
           IsPlainFile(tag.FileAttributes | information.dwFileAttributes,
                       information.nNumberOfLinks);
}

static bool IsOwnAccount(PSID owner)
{
    HANDLE token;
    BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size;
    bool own = false;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    if (GetTokenInformation(token, TokenUser, user, sizeof(user), &size))
        own = EqualSid(((TOKEN_USER*)user)->User.Sid, owner) != FALSE;
    CloseHandle(token);
    return own;
}

bool IsTrustedOwner(PSID owner)
{
    return IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(owner, WinLocalSystemSid) || EqualSid(owner, (PSID)&kTrustedInstaller) ||
           IsOwnAccount(owner);
}

// Whether an account may be let to write into the log's folder: a trusted owner, or the owner
// itself, which CREATOR OWNER and OWNER RIGHTS stand for.
static bool IsTrustedWriter(PSID sid)
{
    return IsTrustedOwner(sid) || IsWellKnownSid(sid, WinCreatorOwnerSid) ||
           IsWellKnownSid(sid, WinCreatorOwnerRightsSid);
}

// Whether an ACE lets an account that is not trusted write into the folder it is on. An ACE
// that is only inherited by what the folder holds does not; an allow ACE of a form whose SID
// lies elsewhere (compound, object) counts as letting anyone write.
static bool LetsOthersWrite(const ACE_HEADER* header)
{
    const ACCESS_ALLOWED_ACE* ace = (const ACCESS_ALLOWED_ACE*)header;

    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0)
        return false;
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        return (ace->Mask & kFolderWriteRights) != 0 && !IsTrustedWriter((PSID)&ace->SidStart);
    case ACCESS_ALLOWED_COMPOUND_ACE_TYPE:
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
        return true;
    default:
        return false;
    }
}

LogRefusal JudgeFolderSecurity(PSECURITY_DESCRIPTOR security)
{
    PSID owner = NULL;
    PACL dacl = NULL;
    BOOL defaulted;
    BOOL present = FALSE;

    if (!GetSecurityDescriptorOwner(security, &owner, &defaulted) || owner == NULL ||
        !IsTrustedOwner(owner))
        return LogFolderOwnerUntrusted;
    if (!GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted))
        return LogFolderSecurityUnread;
    if (!present || dacl == NULL)
        return LogFolderOpenToOthers;
    for (DWORD index = 0; index < dacl->AceCount; index++) {
        ACE_HEADER* header;
        if (!GetAce(dacl, index, (void**)&header))
            return LogFolderSecurityUnread;
        if (LetsOthersWrite(header))
            return LogFolderOpenToOthers;
    }
    return LogMade;
}

// An open folder's security, read through g_folderSecurity and judged.
static LogRefusal JudgeFolder(HANDLE folder, DWORD* error)
{
    PSECURITY_DESCRIPTOR security = NULL;
    LogRefusal refusal;

    *error = g_folderSecurity(folder, &security);
    if (*error != ERROR_SUCCESS)
        return LogFolderSecurityUnread;
    refusal = JudgeFolderSecurity(security);
    LocalFree(security);
    return refusal;
}

// Whether a handle is a folder itself, not a reparse point.
static bool IsPlainFolderHandle(HANDLE folder)
{
    FILE_ATTRIBUTE_TAG_INFO tag;

    return GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &tag, sizeof(tag)) &&
           (tag.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ==
               FILE_ATTRIBUTE_DIRECTORY;
}

// The folder as it is now: a directory, not a reparse point, that only trusted accounts control.
static bool IsTrustedFolder(const wchar_t* path)
{
    HANDLE folder;
    DWORD error;
    bool trusted;

    if ((GetFileAttributesW(path) & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    folder = CreateFileW(path, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                         NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    trusted = IsPlainFolderHandle(folder) && JudgeFolder(folder, &error) == LogMade;
    CloseHandle(folder);
    return trusted;
}

// Makes a folder for SYSTEM and Administrators only; existed says whether one was there already.
static bool MakeProtectedFolder(const wchar_t* path, bool* existed)
{
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), NULL, FALSE};
    bool made;

    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kAdministratorsOnly, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, NULL))
        return false;
    made = CreateDirectoryW(path, &attributes) != 0;
    *existed = !made && GetLastError() == ERROR_ALREADY_EXISTS;
    LocalFree(attributes.lpSecurityDescriptor);
    return made;
}

bool PrepareProtectedFolder(const wchar_t* path)
{
    bool existed;

    return (MakeProtectedFolder(path, &existed) || existed) && IsTrustedFolder(path);
}

// Puts before + 16 random hexadecimal digits + after in text.
static bool RandomName(wchar_t* text, size_t capacity, const wchar_t* before, const wchar_t* after)
{
    unsigned char random[8];

    return g_randomBytes(random, sizeof(random)) &&
           SUCCEEDED(StringCchPrintfW(text, capacity, L"%s%02x%02x%02x%02x%02x%02x%02x%02x%s",
                                      before, random[0], random[1], random[2], random[3],
                                      random[4], random[5], random[6], random[7], after));
}

// SYSTEM's folder where Windows has no GetTempPath2W: Temp\cardsetup in the Windows directory,
// which any user may write into. Where another account made that name first, or made it a link,
// a new folder cardsetup-<random> beside it, whose name no one can prepare for.
static bool SystemLogFolder(wchar_t* folder, size_t capacity, bool* movedAside)
{
    wchar_t windows[MAX_PATH + 1];
    wchar_t beside[MAX_PATH + 1];
    bool existed = true;

    if (GetSystemWindowsDirectoryW(windows, MAX_PATH + 1) == 0 ||
        FAILED(StringCchPrintfW(folder, capacity, L"%s\\Temp\\cardsetup", windows)))
        return false;
    if (PrepareProtectedFolder(folder))
        return true;
    *movedAside = true;
    if (FAILED(StringCchPrintfW(beside, MAX_PATH + 1, L"%s\\Temp\\cardsetup-", windows)))
        return false;
    for (int attempt = 0; attempt < kNameAttempts && existed; attempt++) {
        if (!RandomName(folder, capacity, beside, L""))
            return false;
        if (MakeProtectedFolder(folder, &existed))
            return IsTrustedFolder(folder);
    }
    return false;
}

bool DefaultLogFolder(bool system, wchar_t* folder, size_t capacity, bool* movedAside)
{
    bool moved = false;
    bool found;

    if (g_tempPath2 != NULL)
        found = g_tempPath2((DWORD)capacity, folder) != 0;
    else if (!system)
        found = GetTempPathW((DWORD)capacity, folder) != 0;
    else
        found = SystemLogFolder(folder, capacity, &moved) &&
                SUCCEEDED(StringCchCatW(folder, capacity, L"\\"));
    if (movedAside != nullptr)
        *movedAside = moved;
    return found;
}

// Whether CREATE_NEW failed because something holds the name: a file, a folder or a link.
static bool NameTaken(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
           error == ERROR_ACCESS_DENIED;
}

// Creates a new file named folder + prefix + random hexadecimal digits + suffix, trying other
// names while one is taken; its path in path.
static HANDLE CreateNewFile(const wchar_t* folder, const wchar_t* prefix, const wchar_t* suffix,
                            DWORD access, DWORD share, wchar_t* path, size_t capacity)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    wchar_t before[MAX_PATH + 1];

    if (FAILED(StringCchPrintfW(before, MAX_PATH + 1, L"%s%s", folder, prefix)))
        return INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kNameAttempts; attempt++) {
        if (!RandomName(path, capacity, before, suffix))
            return INVALID_HANDLE_VALUE;
        file = CreateFileW(path, access, share, NULL, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        if (file != INVALID_HANDLE_VALUE || !NameTaken(GetLastError()))
            break;
    }
    if (file != INVALID_HANDLE_VALUE && !IsPlainFileHandle(file)) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    return file;
}

HANDLE CreateDefaultLogFile(bool system, wchar_t* path, size_t capacity, bool* movedAside)
{
    wchar_t folder[MAX_PATH + 1];

    if (!DefaultLogFolder(system, folder, MAX_PATH + 1, movedAside))
        return INVALID_HANDLE_VALUE;
    return CreateNewFile(folder, L"cardsetup-", L".log", GENERIC_WRITE, FILE_SHARE_READ, path,
                         capacity);
}

// Whether the run has administrator rights; a run that cannot tell is taken as one.
static bool ProcessIsElevated()
{
    bool elevated;

    return !ReadTokenElevation(&elevated) || elevated;
}

// Opens or creates the entry name (length characters, one name, no path) inside folder, never
// following a reparse point at the name; a Windows error code.
static DWORD OpenInside(HANDLE folder, const wchar_t* name, size_t length, ACCESS_MASK access,
                        ULONG share, ULONG disposition, ULONG options, HANDLE* opened)
{
    const NtFileCalls* nt = NtCalls();
    UNICODE_STRING text;
    OBJECT_ATTRIBUTES object;
    IO_STATUS_BLOCK status;
    NTSTATUS result;

    *opened = INVALID_HANDLE_VALUE;
    if (nt == NULL)
        return ERROR_PROC_NOT_FOUND;
    if (length == 0 || length > MAX_PATH)
        return ERROR_INVALID_NAME;
    text.Buffer = (PWSTR)name;
    text.Length = text.MaximumLength = (USHORT)(length * sizeof(wchar_t));
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, NULL);
    result = nt->createFile(opened, access | SYNCHRONIZE, &object, &status, NULL,
                            FILE_ATTRIBUTE_NORMAL, share, disposition,
                            options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT,
                            NULL, 0);
    if (result >= 0)
        return ERROR_SUCCESS;
    *opened = INVALID_HANDLE_VALUE;
    return nt->statusToError(result);
}

// The attributes of the entry name (length characters) as folder lists it; INVALID_FILE_ATTRIBUTES
// when it is not listed. Wine 8 shows a Unix link to a folder as a reparse point only here: a
// handle opened through the link is the folder it leads to. The first listing of a handle fixes
// its pattern, so each folder handle is asked this once.
static DWORD ListedAttributes(HANDLE folder, const wchar_t* name, size_t length)
{
    const NtFileCalls* nt = NtCalls();
    ULONGLONG entry[(sizeof(FolderEntry) + MAX_PATH * sizeof(wchar_t)) / sizeof(ULONGLONG) + 1];
    UNICODE_STRING pattern;
    IO_STATUS_BLOCK status;

    if (nt == NULL || length == 0 || length > MAX_PATH)
        return INVALID_FILE_ATTRIBUTES;
    pattern.Buffer = (PWSTR)name;
    pattern.Length = pattern.MaximumLength = (USHORT)(length * sizeof(wchar_t));
    if (nt->queryDirectory(folder, NULL, NULL, NULL, &status, entry, sizeof(entry),
                           kFileDirectoryInformation, TRUE, &pattern, TRUE) < 0)
        return INVALID_FILE_ATTRIBUTES;
    return ((const FolderEntry*)entry)->attributes;
}

// Where the folders below the root of a full path begin: after "X:\" or "\\server\share\"; 0 for
// any other form (a device or \\?\ path).
static size_t RootLength(const wchar_t* full)
{
    const wchar_t* server;
    const wchar_t* share;

    if (((full[0] >= L'A' && full[0] <= L'Z') || (full[0] >= L'a' && full[0] <= L'z')) &&
        full[1] == L':' && full[2] == L'\\')
        return 3;
    if (full[0] != L'\\' || full[1] != L'\\' || full[2] == L'?' || full[2] == L'.' ||
        (server = wcschr(full + 2, L'\\')) == NULL || server == full + 2 ||
        (share = wcschr(server + 1, L'\\')) == NULL || share == server + 1)
        return 0;
    return (size_t)(share - full) + 1;
}

// Opens the next folder, name (length characters), inside the open one, which it closes; refuses
// a link or a reparse point, whether the handle or the listing shows it.
static LogRefusal OpenNextFolder(HANDLE* folder, const wchar_t* name, size_t length, DWORD* error)
{
    HANDLE next;
    DWORD listed = 0;

    *error = OpenInside(*folder, name, length, kFolderAccess, kFolderShare, FILE_OPEN,
                        FILE_DIRECTORY_FILE, &next);
    if (*error == ERROR_SUCCESS)
        listed = ListedAttributes(*folder, name, length);
    CloseHandle(*folder);
    *folder = next;
    if (*error != ERROR_SUCCESS)
        return LogFolderNotOpened;
    if (listed != INVALID_FILE_ATTRIBUTES && (listed & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
        IsPlainFolderHandle(next))
        return LogMade;
    CloseHandle(next);
    *folder = INVALID_HANDLE_VALUE;
    return LogFolderIsLink;
}

// Opens the folder of a full path, its first folderLength characters, one folder at a time from
// its root, each inside the one before, so that no link or reparse point on the way is followed.
static LogRefusal OpenFolderOf(const wchar_t* full, size_t folderLength, HANDLE* folder,
                               DWORD* error)
{
    wchar_t root[MAX_PATH + 1];
    size_t start = RootLength(full);
    LogRefusal refusal = LogMade;

    *folder = INVALID_HANDLE_VALUE;
    if (start == 0 || start > folderLength + 1 || FAILED(StringCchCopyNW(root, MAX_PATH + 1, full, start)))
        return LogPathUnusable;
    *folder = CreateFileW(root, kFolderAccess, kFolderShare, NULL, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (*folder == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return LogFolderNotOpened;
    }
    while (start < folderLength && refusal == LogMade) {
        size_t end = start;
        while (end < folderLength && full[end] != L'\\')
            end++;
        refusal = OpenNextFolder(folder, full + start, end - start, error);
        start = end + 1;
    }
    return refusal;
}

// Whether a name is one of the temporaries this file makes: cardsetup-<16 hex>.tmp.
static bool IsTemporaryName(const wchar_t* name, size_t length)
{
    const size_t digits = 16;

    if (length != kTemporaryLength || wcsncmp(name, kTemporaryPrefix, 10) != 0 ||
        wcsncmp(name + 10 + digits, kTemporarySuffix, 4) != 0)
        return false;
    for (size_t index = 10; index < 10 + digits; index++)
        if (!((name[index] >= L'0' && name[index] <= L'9') || (name[index] >= L'a' && name[index] <= L'f')))
            return false;
    return true;
}

// Deletes a file by its handle: the name it had when it was opened is never looked up again.
static DWORD DeleteByHandle(HANDLE file)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};

    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition))
               ? ERROR_SUCCESS
               : GetLastError();
}

// Whether an open file is the entry name (length characters) of folder by the name its handle
// reports. Wine 8 opens the file that a Unix link to a file leads to, shows no reparse point for
// it, and reports the name of the file it reached, which is then elsewhere.
static bool IsNamedInside(HANDLE file, HANDLE folder, const wchar_t* name, size_t length)
{
    union NameInformation {
        FILE_NAME_INFO information;
        BYTE bytes[sizeof(FILE_NAME_INFO) + 2 * MAX_PATH * sizeof(wchar_t)];
    } fileName, folderName;
    size_t fileLength;
    size_t folderLength;

    if (!GetFileInformationByHandleEx(file, FileNameInfo, &fileName, sizeof(fileName)) ||
        !GetFileInformationByHandleEx(folder, FileNameInfo, &folderName, sizeof(folderName)))
        return false;
    fileLength = fileName.information.FileNameLength / sizeof(wchar_t);
    folderLength = folderName.information.FileNameLength / sizeof(wchar_t);
    // A volume's root is named "\" and its entries "\name"; a folder's entries "folder\name".
    if (folderLength == 1)
        folderLength = 0;
    return fileLength == folderLength + 1 + length &&
           CompareStringOrdinal(fileName.information.FileName, (int)folderLength,
                                folderName.information.FileName, (int)folderLength, TRUE) ==
               CSTR_EQUAL &&
           fileName.information.FileName[folderLength] == L'\\' &&
           CompareStringOrdinal(fileName.information.FileName + folderLength + 1, (int)length,
                                name, (int)length, TRUE) == CSTR_EQUAL;
}

// Removes one temporary inside folder, when it is a plain file there: no folder, link or second
// name.
static void RemoveTemporary(HANDLE folder, const wchar_t* name, size_t length)
{
    HANDLE file;

    if (OpenInside(folder, name, length, DELETE | FILE_READ_ATTRIBUTES,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                   FILE_NON_DIRECTORY_FILE, &file) != ERROR_SUCCESS)
        return;
    if (IsPlainFileHandle(file) && IsNamedInside(file, folder, name, length))
        DeleteByHandle(file);
    CloseHandle(file);
}

// Removes the temporaries that runs cut off between making and moving their log left in its
// folder. A run at work holds its own without sharing deletion, so it stays.
static void RemoveLeftTemporaries(HANDLE folder)
{
    const NtFileCalls* nt = NtCalls();
    ULONGLONG entries[512];
    UNICODE_STRING pattern;
    IO_STATUS_BLOCK status;
    BOOLEAN restart = TRUE;

    if (nt == NULL)
        return;
    pattern.Buffer = (PWSTR)kTemporaryPattern;
    pattern.Length = pattern.MaximumLength = (USHORT)(wcslen(kTemporaryPattern) * sizeof(wchar_t));
    while (nt->queryDirectory(folder, NULL, NULL, NULL, &status, entries, sizeof(entries),
                              kFileDirectoryInformation, FALSE, &pattern, restart) >= 0) {
        const BYTE* at = (const BYTE*)entries;
        for (;;) {
            const FolderEntry* entry = (const FolderEntry*)at;
            size_t length = entry->nameLength / sizeof(wchar_t);
            if ((entry->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
                IsTemporaryName(entry->name, length))
                RemoveTemporary(folder, entry->name, length);
            if (entry->nextEntryOffset == 0)
                break;
            at += entry->nextEntryOffset;
        }
        restart = FALSE;
    }
}

// Creates a new temporary inside folder, trying other names while one is taken; its name in name.
// It is made with delete access, to be moved and, should that fail, deleted by its handle, and
// shared for reading and writing but not for deletion: no other run takes it for a leftover.
static DWORD CreateTemporaryInside(HANDLE folder, wchar_t* name, size_t capacity, HANDLE* file)
{
    DWORD error = ERROR_FILE_EXISTS;

    *file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kNameAttempts && NameTaken(error); attempt++) {
        if (!RandomName(name, capacity, kTemporaryPrefix, kTemporarySuffix))
            return ERROR_GEN_FAILURE;
        error = OpenInside(folder, name, wcslen(name), DELETE | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                           FILE_NON_DIRECTORY_FILE, file);
    }
    if (error == ERROR_SUCCESS && !IsPlainFileHandle(*file)) {
        DeleteByHandle(*file);
        CloseHandle(*file);
        *file = INVALID_HANDLE_VALUE;
        error = ERROR_FILE_EXISTS;
    }
    return error;
}

// Moves an open file over name inside folder, replacing whatever the name holds but a folder;
// a link at the name is replaced itself, never followed. NtSetInformationFile is called, not
// SetFileInformationByHandle: Wine 8's turns the name into a path from the current directory,
// which it then refuses beside a folder handle.
static DWORD MoveInside(HANDLE file, HANDLE folder, const wchar_t* name)
{
    const NtFileCalls* nt = NtCalls();
    union {
        FILE_RENAME_INFO information;
        BYTE bytes[sizeof(FILE_RENAME_INFO) + MAX_PATH * sizeof(wchar_t)];
    } rename;
    size_t length = wcslen(name);
    IO_STATUS_BLOCK status;
    NTSTATUS result;

    if (nt == NULL)
        return ERROR_PROC_NOT_FOUND;
    if (length == 0 || length > MAX_PATH)
        return ERROR_INVALID_NAME;
    memset(&rename, 0, sizeof(rename));
    rename.information.ReplaceIfExists = TRUE;
    rename.information.RootDirectory = folder;
    rename.information.FileNameLength = (DWORD)(length * sizeof(wchar_t));
    memcpy(rename.information.FileName, name, length * sizeof(wchar_t));
    result = nt->setInformation(file, &status, &rename,
                                (ULONG)(offsetof(FILE_RENAME_INFO, FileName) + length * sizeof(wchar_t)),
                                kFileRenameInformation);
    return result >= 0 ? ERROR_SUCCESS : nt->statusToError(result);
}

// Makes a new file inside folder and moves it over name. The handle that made it holds delete
// access, which the move needs, and readers that do not share deletion (Notepad, CMTrace) could
// not read the log during the run beside it. So the very file is opened again, by its handle, for
// writing alone; shared for deletion, as the first handle is still open then. A file that cannot
// be opened again is deleted: the name then holds nothing.
static HANDLE ReplaceByNewFile(HANDLE folder, const wchar_t* name, DWORD* error)
{
    wchar_t temporary[kTemporaryLength + 1];
    HANDLE made;
    HANDLE file = INVALID_HANDLE_VALUE;

    *error = CreateTemporaryInside(folder, temporary, kTemporaryLength + 1, &made);
    if (*error != ERROR_SUCCESS)
        return INVALID_HANDLE_VALUE;
    *error = MoveInside(made, folder, name);
    if (*error == ERROR_SUCCESS) {
        file = ReOpenFile(made, GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_DELETE, 0);
        if (file == INVALID_HANDLE_VALUE)
            *error = GetLastError();
    }
    if (file == INVALID_HANDLE_VALUE)
        DeleteByHandle(made);
    CloseHandle(made);
    return file;
}

HANDLE CreateNamedLogFile(const wchar_t* path, LogRefusal* refusal, DWORD* error)
{
    wchar_t full[MAX_PATH + 1];
    DWORD length = GetFullPathNameW(path, MAX_PATH + 1, full, NULL);
    const wchar_t* name = length > 0 && length <= MAX_PATH ? wcsrchr(full, L'\\') : NULL;
    HANDLE folder = INVALID_HANDLE_VALUE;
    HANDLE file = INVALID_HANDLE_VALUE;
    LogRefusal why = LogPathUnusable;
    DWORD code = ERROR_SUCCESS;

    if (name == NULL || name[1] == L'\0')
        goto done;
    why = OpenFolderOf(full, (size_t)(name - full), &folder, &code);
    if (why == LogMade && ProcessIsElevated())
        why = JudgeFolder(folder, &code);
    if (why != LogMade)
        goto done;
    RemoveLeftTemporaries(folder);
    file = ReplaceByNewFile(folder, name + 1, &code);
    if (file == INVALID_HANDLE_VALUE)
        why = LogFileNotMade;
done:
    if (folder != INVALID_HANDLE_VALUE)
        CloseHandle(folder);
    if (refusal != nullptr)
        *refusal = why;
    if (error != nullptr)
        *error = why == LogMade ? ERROR_SUCCESS : code;
    return file;
}

const char* LogRefusalText(LogRefusal refusal)
{
    switch (refusal) {
    case LogMade:
        return "utworzono";
    case LogPathUnusable:
        return "ścieżka nie wskazuje pliku w folderze na dysku ani w udziale";
    case LogFolderNotOpened:
        return "nie można otworzyć folderu na tej ścieżce";
    case LogFolderIsLink:
        return "folder na tej ścieżce jest łączem lub punktem ponownej analizy";
    case LogFolderOwnerUntrusted:
        return "właścicielem folderu nie jest administrator";
    case LogFolderOpenToOthers:
        return "do folderu mogą pisać konta inne niż administratorzy";
    case LogFolderSecurityUnread:
        return "nie można odczytać zabezpieczeń folderu";
    case LogFileNotMade:
        return "nie można utworzyć pliku";
    }
    return "?";
}
